#include "core/edid/edid_transfer.h"

#include "core/platform/platform.h"
#include "core/protocol/reply_line.h"
#include "core/seriallink/connection.h"

namespace edid {

using protocol::chars;
using protocol::isLoneLf;
using protocol::keyword;

EdidTransfer::EdidTransfer(seriallink::Connection& link, platform::Platform& platform)
    : link_(link) {
    Timer1 = platform.createTimer(this);
    Timer1->setInterval(kAnswerMs);
    connect(Timer1, &platform::Timer::timeout, this, &EdidTransfer::Timer1_Timer);
    settleTimer_ = platform.createTimer(this);
    settleTimer_->setInterval(kSettleMs);
    settleTimer_->setSingleShot(true);
    connect(settleTimer_, &platform::Timer::timeout, this, &EdidTransfer::settled);
}

void EdidTransfer::prepare() {
    Port = 0;
    edid_Len = 1;
    cell_Pos = 1;
    start_Load = 0;
    Timer1->stop();
    clearText();
    setProgress(0);
    setStatus(QString());
}

void EdidTransfer::end() {
    slave = 0;
    // The device leaves EDID mode once the window is gone, so a transfer
    // cannot go on; were it left marked running, the next opening's "edm"
    // echo would be taken for a failed read reply.
    start_Load = 0;
    start_Read = 0;
    Timer1->stop();
    settleTimer_->stop();
}

// ---------------------------------------------------------------------------
// The view text

void EdidTransfer::setText(const QString& text) {
    text_ = viewForm(text);
    emit textReplaced(text);
}

void EdidTransfer::viewEdited(const QString& text) {
    text_ = viewForm(text);
}

void EdidTransfer::clearText() {
    text_.clear();
    emit textCleared();
}

void EdidTransfer::appendText(const QString& text) {
    text_ += viewForm(text);
    emit textAppended(text);
}

void EdidTransfer::setStatus(const QString& text) {
    status_ = text;
    emit statusChanged(text);
}

void EdidTransfer::setProgress(int value) {
    progress_ = value;
    emit progressChanged(value);
}

// ---------------------------------------------------------------------------
// Files

void EdidTransfer::beginOpen() {
    textBeforeOpen_ = text_;
    statusBeforeOpen_ = status_;
    clearText();
    setStatus(QStringLiteral("Open EDID "));
}

void EdidTransfer::showLoaded(const Image& image) {
    if (!headerOk(image)) {
        emit notice(QStringLiteral("EDID format error!"), Notice::File);
        setStatus(QStringLiteral("EDID error!"));
    } else if (!checksumOk(image)) {
        emit notice(QStringLiteral("EDID CheckSum error!"), Notice::File);
        setStatus(QStringLiteral("CheckSum error!"));
    }
    setText(writtenForm(image));
    edid_Len = kImageSize;
}

void EdidTransfer::refuseOpened(const QString& why) {
    // Back first, so that the box stands over the image it leaves alone.
    setText(textBeforeOpen_);
    setStatus(statusBeforeOpen_);
    emit notice(why, Notice::File);
}

Image EdidTransfer::viewImage() {
    int pos = cell_Pos = 1;
    const Image image = parseView(text_, pos);
    cell_Pos = std::int16_t(pos);
    return image;
}

// ---------------------------------------------------------------------------
// Transfers

void EdidTransfer::startDownload() {
    settleTimer_->stop();
    slave = 0;
    cell_Pos = 1;
    start_Load = 1;
    sentBytes.fill(std::nullopt);
    link_.sendLineReported(openCommand(Port, false));
    Timer1->start();
    setStatus(QStringLiteral("EDID Download... "));
}

void EdidTransfer::startRead() {
    settleTimer_->stop();
    slave = 0;
    Verify = 0;
    start_Read = 1;
    edid_Len = 0;
    forgetReadBytes();
    link_.sendLineReported(openCommand(Port, true));
    Timer1->start();
    clearText();
    setStatus(QStringLiteral("EDID Readding... "));
}

bool EdidTransfer::sendTransferCommand(const QString& command) {
    if (link_.sendLine(command)) {
        // Every command of a transfer gets its own second to be answered,
        // so a device that stalls at any byte is noticed.
        Timer1->start();
        return true;
    }
    Timer1->stop();
    if (start_Load == 1) {
        start_Load = 0;
        setStatus(QStringLiteral("DownLoad Err!"));
    } else {
        start_Read = 0;
        Verify = 0;
        setStatus(QStringLiteral("Read EDID Err!"));
    }
    link_.reportWriteFailed();
    emit finished(false);
    return false;
}

void EdidTransfer::stopAnswerTimer() {
    Timer1->stop();
}

void EdidTransfer::Download() {
    int pos = cell_Pos;
    const QString cell = nextByteCell(text_, pos);
    cell_Pos = std::int16_t(pos);
    const int index = slave;
    if (!sendTransferCommand(writeByteCommand(index, cell)))
        return;
    setProgress(index);
    if (index == 127)
        WriteChkSum1 = cell;
    if (index == 255)
        WriteChkSum2 = cell;
    if (index >= 0 && index < kImageSize)
        sentBytes[index] = byteCellValue(cell);
    ++slave;
    ++cell_Pos;
}

void EdidTransfer::ReadEDID() {
    const int index = slave;
    if (!sendTransferCommand(readByteCommand(index)))
        return;
    setProgress(qBound(0, index, 256));
    ++slave;
}

void EdidTransfer::Timer1_Timer() {
    Timer1->stop();
    // The transfer ends before the box is shown: a late answer that comes in
    // while it is open must not carry the transfer on.
    start_Load = 0;
    start_Read = 0;
    setStatus(QStringLiteral("Time Out!"));
    emit notice(QStringLiteral("Time Out!"), Notice::App);
    emit finished(false);
}

// ---------------------------------------------------------------------------
// Replies

bool EdidTransfer::reply(const protocol::Reply& r) {
    const QString& line = r.line;
    const bool exitWord = r.isEcho(protocol::Mode::Edid, false);
    if (start_Load == 1 && !exitWord) {
        downloadReply(line);
        return true;
    }
    if (start_Read == 1 && !exitWord) {
        readReply(line);
        return true;
    }
    // An answer after the last one of a read: some answer came twice and
    // every byte after it was taken for the next one.
    if (settling() && !line.isEmpty() && !isLoneLf(line) && !r.isEcho(protocol::Mode::Edid, true) &&
        !exitWord) {
        settleTimer_->stop();
        setStatus(QStringLiteral("Read EDID Err!"));
        emit finished(false);
        return true;
    }
    return false;
}

void EdidTransfer::downloadReply(const QString& line) {
    if (keyword(line, "rdy")) {
        Download();
        return;
    }
    if (line.startsWith(QLatin1String("ok"))) {
        if (slave < kImageSize) {
            Download();
            return;
        }
        // Byte 255 is in: read the whole image back to verify it.
        Verify = 1;
        setStatus(QStringLiteral("DownLoad Over!"));
        start_Load = 0;
        slave = 0;
        start_Read = 1;
        edid_Len = 0;
        forgetReadBytes();
        if (!sendTransferCommand(openCommand(Port, true)))
            return;
        clearText();
        setStatus(QStringLiteral("EDID Verify... "));
        return;
    }
    if (isLoneLf(line))
        return;
    setStatus(QStringLiteral("DownLoad Err!"));
    start_Load = 0;
    stopAnswerTimer();
    emit finished(false);
}

void EdidTransfer::readReply(const QString& line) {
    if (keyword(line, "rdy")) {
        ReadEDID();
        return;
    }
    if (keyword(line, "ok ")) {
        const QString byte = chars(line, 4, 2);
        const int index = slave - 1;
        if (index >= 0 && index < kImageSize)
            readBytes[index] = strictHexByte(byte);
        if (slave < kImageSize) {
            if (Verify == 1 && slave == 128)
                ReadChkSum1 = byte;
            const int shown = edid_Len++;
            // Ask for the next byte before showing this one: the view lays
            // the text out at once, and the line need not wait for that.
            ReadEDID();
            appendText(readFormCell(byte, shown));
            return;
        }
        stopAnswerTimer();
        const bool verifying = Verify == 1;
        appendText(byte + QStringLiteral("  "));
        if (verifying)
            ReadChkSum2 = byte;
        // The read is over before it is judged: a line that comes in
        // meanwhile (or while a box reports on it) must find no transfer
        // running, not pass for a 257th byte.
        Verify = 0;
        start_Read = 0;
        slave = 0;
        // The verification compares every byte with what was sent, so a
        // shifted read fails it by itself; a plain read has nothing to be
        // compared with but the quiet after its last answer.
        if (verifying)
            checkFinishedRead(true);
        else
            settle();
        return;
    }
    if (isLoneLf(line))
        return;
    // The byte did not come: ask for it again, and give up after five
    // failures in a row at one position.
    if (slave > 0)
        --slave;
    if (temp_slave != slave) {
        temp_slave = slave;
        ReadEDID();
        temp_errs = 0;
        return;
    }
    ReadEDID();
    ++temp_errs;
    if (temp_errs >= 4) {
        setStatus(QStringLiteral("Read EDID Err!"));
        start_Read = 0;
        stopAnswerTimer();
        Verify = 0;
        emit finished(false);
    }
}

bool EdidTransfer::settling() const {
    return settleTimer_->isActive();
}

void EdidTransfer::settle() {
    settleTimer_->start();
}

void EdidTransfer::settled() {
    setStatus(QStringLiteral("Read OK!"));
    checkFinishedRead(false);
}

// ---------------------------------------------------------------------------
// Judging a read

bool EdidTransfer::verificationMatches() const {
    for (int i = 0; i < kImageSize; ++i)
        if (!sentBytes[i] || !readBytes[i] || *sentBytes[i] != *readBytes[i])
            return false;
    return true;
}

void EdidTransfer::check() {
    report(Verify == 1, start_Read == 1);
}

void EdidTransfer::checkFinishedRead(bool verifying) {
    emit finished(report(verifying, true));
}

bool EdidTransfer::report(bool verifying, bool reading) {
    const Image image = viewImage();
    // A byte that came back different is a failed download, whatever the
    // image's own tests say; those tests judge the image only once the
    // device is known to hold what was sent.
    if (verifying && !verificationMatches()) {
        emit notice(QStringLiteral("Verify EDID ERR!"), Notice::App);
        setStatus(QStringLiteral("Verify EDID ERR!"));
        return false;
    }
    if (!headerOk(image)) {
        emit notice(QStringLiteral("EDID format error!"), Notice::Device);
        setStatus(QStringLiteral("EDID error!"));
        return false;
    }
    if (!checksumOk(image)) {
        emit notice(QStringLiteral("EDID CheckSum error!"), Notice::Device);
        setStatus(QStringLiteral("CheckSum error!"));
        return false;
    }
    if (verifying)
        setStatus(QStringLiteral("Download OK!"));
    else if (reading)
        setStatus(QStringLiteral("Read EDID OK!"));
    return true;
}

} // namespace edid
