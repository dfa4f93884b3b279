#include "core/edid/edid_transfer.h"

#include "core/platform/platform.h"
#include "core/protocol/reply_line.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"

namespace edid {

using protocol::chars;
using protocol::isLoneLf;
using protocol::keyword;

EdidTransfer::EdidTransfer(seriallink::Wire& wire, platform::Platform& platform) : wire_(wire) {
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
    start_Load = 0;
    Timer1->stop();
}

void EdidTransfer::end() {
    // The device leaves EDID mode once its window is gone, so a transfer
    // cannot go on; were it left marked running, the next opening's entry
    // echo would be taken for a failed read reply.
    if (running() || settling())
        stop(transfer::Error::Stopped);
    slave = 0;
    start_Load = 0;
    start_Read = 0;
    Timer1->stop();
    settleTimer_->stop();
}

EdidTransfer::Cells EdidTransfer::cellsOf(const Image& image) {
    Cells cells;
    for (int i = 0; i < kImageSize; ++i)
        cells[i] = QStringLiteral("%1").arg(image[i], 2, 16, QLatin1Char('0')).toUpper();
    return cells;
}

// ---------------------------------------------------------------------------
// Transfers

void EdidTransfer::startDownload(const Image& image) {
    startDownload(cellsOf(image));
}

void EdidTransfer::startDownload(const Cells& cells) {
    settleTimer_->stop();
    cells_ = cells;
    slave = 0;
    start_Load = 1;
    phase_ = transfer::Phase::Download;
    sentBytes.fill(std::nullopt);
    wire_.lineReported(openCommand(Port, false));
    Timer1->start();
    emit started(phase_);
}

void EdidTransfer::startRead() {
    settleTimer_->stop();
    slave = 0;
    Verify = 0;
    start_Read = 1;
    edid_Len = 0;
    phase_ = transfer::Phase::Read;
    forgetReadBytes();
    received_.fill(0);
    wire_.lineReported(openCommand(Port, true));
    Timer1->start();
    emit started(phase_);
}

bool EdidTransfer::sendTransferCommand(const QString& command) {
    if (wire_.line(command)) {
        // Every command of a transfer gets its own second to be answered,
        // so a device that stalls at any byte is noticed.
        Timer1->start();
        return true;
    }
    stop(transfer::Error::WriteFailed);
    return false;
}

void EdidTransfer::stopAnswerTimer() {
    Timer1->stop();
}

void EdidTransfer::Download() {
    const int index = slave;
    const QString cell = index >= 0 && index < kImageSize ? cells_[index] : QString();
    if (!sendTransferCommand(writeByteCommand(index, cell)))
        return;
    emit progress(index, kImageSize);
    if (index == 127)
        WriteChkSum1 = cell;
    if (index == 255)
        WriteChkSum2 = cell;
    if (index >= 0 && index < kImageSize)
        sentBytes[index] = byteCellValue(cell);
    ++slave;
}

void EdidTransfer::ReadEDID() {
    const int index = slave;
    if (!sendTransferCommand(readByteCommand(index)))
        return;
    emit progress(qBound(0, index, kImageSize), kImageSize);
    ++slave;
}

void EdidTransfer::Timer1_Timer() {
    stop(transfer::Error::TimedOut);
}

void EdidTransfer::stop(transfer::Error error, const QString& line) {
    transfer::Outcome o;
    o.error = error;
    o.phase = phase_;
    o.index = slave - 1;
    o.lastLine = line.trimmed();
    Timer1->stop();
    settleTimer_->stop();
    start_Load = 0;
    start_Read = 0;
    Verify = 0;
    // The failed-write box comes first, as the line's own failure: the
    // transfer's end is reported after it.
    if (error == transfer::Error::WriteFailed)
        wire_.reportWriteFailed();
    emit finished(o);
}

// ---------------------------------------------------------------------------
// Replies

bool EdidTransfer::reply(const protocol::Reply& r) {
    const QString& line = r.line;
    const bool exitWord = r.isEcho(protocol::Mode::Edid, false);
    if (exitWord) {
        if (running())
            stop(transfer::Error::ModeLeft, line);
        return false;
    }
    if (start_Load == 1) {
        downloadReply(r);
        return true;
    }
    if (start_Read == 1) {
        readReply(r);
        return true;
    }
    // An answer after the last one of a read: some answer came twice and
    // every byte after it was taken for the next one.
    if (settling() && !line.isEmpty() && !isLoneLf(line) && !r.isEcho(protocol::Mode::Edid, true)) {
        stop(transfer::Error::OutOfStep, line);
        return true;
    }
    return false;
}

void EdidTransfer::downloadReply(const protocol::Reply& r) {
    const QString& line = r.line;
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
        start_Load = 0;
        slave = 0;
        start_Read = 1;
        edid_Len = 0;
        phase_ = transfer::Phase::Verify;
        forgetReadBytes();
        received_.fill(0);
        if (!sendTransferCommand(openCommand(Port, true)))
            return;
        emit started(phase_);
        return;
    }
    if (isLoneLf(line))
        return;
    stop(transfer::Error::DeviceError, line);
}

void EdidTransfer::readReply(const protocol::Reply& r) {
    const QString& line = r.line;
    if (keyword(line, "rdy")) {
        ReadEDID();
        return;
    }
    if (keyword(line, "ok ")) {
        const QString byte = chars(line, 4, 2);
        const int index = slave - 1;
        if (index >= 0 && index < kImageSize) {
            readBytes[index] = strictHexByte(byte);
            received_[index] = byteCellValue(byte);
        }
        if (slave < kImageSize) {
            if (Verify == 1 && slave == 128)
                ReadChkSum1 = byte;
            const int shown = edid_Len++;
            // Ask for the next byte before showing this one: the view lays
            // the text out at once, and the line need not wait for that.
            ReadEDID();
            emit byteRead(shown, byte, false);
            return;
        }
        stopAnswerTimer();
        const bool verifying = Verify == 1;
        if (verifying)
            ReadChkSum2 = byte;
        // The read is over before it is judged: a line that comes in
        // meanwhile (or while a box reports on it) must find no transfer
        // running, not pass for a 257th byte.
        Verify = 0;
        start_Read = 0;
        slave = 0;
        emit byteRead(edid_Len, byte, true);
        // The verification compares every byte with what was sent, so a
        // shifted read fails it by itself; a plain read has nothing to be
        // compared with but the quiet after its last answer.
        if (verifying)
            emit finished(judged(true));
        else
            settleTimer_->start();
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
    if (temp_errs >= 4)
        stop(transfer::Error::DeviceError, line);
}

bool EdidTransfer::settling() const {
    return settleTimer_->isActive();
}

void EdidTransfer::settled() {
    emit finished(judged(false));
}

// ---------------------------------------------------------------------------
// Judging a read

transfer::Outcome EdidTransfer::judged(bool verifying) const {
    transfer::Outcome o;
    o.phase = verifying ? transfer::Phase::Verify : transfer::Phase::Read;
    // A byte that came back different is a failed download, whatever the
    // image's own tests say; those tests judge the image only once the
    // device is known to hold what was sent.
    if (verifying) {
        for (int i = 0; i < kImageSize; ++i) {
            if (sentBytes[i] && readBytes[i] && *sentBytes[i] == *readBytes[i])
                continue;
            o.error = transfer::Error::VerifyMismatch;
            o.index = i;
            if (sentBytes[i])
                o.written = *sentBytes[i];
            if (readBytes[i])
                o.readBack = *readBytes[i];
            return o;
        }
    }
    o.error = imageError(received_);
    return o;
}

transfer::Error EdidTransfer::imageError(const Image& image) {
    return !headerOk(image)     ? transfer::Error::NotEdid
           : !checksumOk(image) ? transfer::Error::BadChecksum
                                : transfer::Error::None;
}

} // namespace edid
