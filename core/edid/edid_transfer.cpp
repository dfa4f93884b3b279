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
    answerTimer_ = platform.createTimer(this);
    answerTimer_->setInterval(kAnswerMs);
    connect(answerTimer_, &platform::Timer::timeout, this,
            [this] { stop(transfer::Error::TimedOut); });
    settleTimer_ = platform.createTimer(this);
    settleTimer_->setInterval(kSettleMs);
    settleTimer_->setSingleShot(true);
    connect(settleTimer_, &platform::Timer::timeout, this, &EdidTransfer::settled);
}

void EdidTransfer::prepare() {
    input_ = 0;
    downloading_ = false;
    answerTimer_->stop();
}

void EdidTransfer::end() {
    // The device leaves EDID mode once its window is gone, so a transfer
    // cannot go on; were it left marked running, the next opening's entry
    // echo would be taken for a failed read reply.
    if (running() || settling())
        stop(transfer::Error::Stopped);
    next_ = 0;
    downloading_ = false;
    reading_ = false;
    answerTimer_->stop();
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
    next_ = 0;
    downloading_ = true;
    phase_ = transfer::Phase::Download;
    sent_.fill(std::nullopt);
    wire_.lineReported(openCommand(input_, false));
    answerTimer_->start();
    emit started(phase_);
}

void EdidTransfer::startRead() {
    settleTimer_->stop();
    beginRead(transfer::Phase::Read);
    wire_.lineReported(openCommand(input_, true));
    answerTimer_->start();
    emit started(phase_);
}

void EdidTransfer::beginRead(transfer::Phase phase) {
    next_ = 0;
    downloading_ = false;
    reading_ = true;
    verifying_ = phase == transfer::Phase::Verify;
    shown_ = 0;
    phase_ = phase;
    read_.fill(std::nullopt);
    received_.fill(0);
}

bool EdidTransfer::sendTransferCommand(const QString& command) {
    if (wire_.line(command)) {
        // Every command of a transfer gets its own second to be answered,
        // so a device that stalls at any byte is noticed.
        answerTimer_->start();
        return true;
    }
    stop(transfer::Error::WriteFailed);
    return false;
}

bool EdidTransfer::awaitingAnswer() const {
    return answerTimer_->isActive();
}

void EdidTransfer::sendNextByte() {
    const int index = next_;
    const QString cell = index >= 0 && index < kImageSize ? cells_[index] : QString();
    if (!sendTransferCommand(writeByteCommand(index, cell)))
        return;
    emit progress(index, kImageSize);
    if (index >= 0 && index < kImageSize)
        sent_[index] = byteCellValue(cell);
    ++next_;
}

bool EdidTransfer::askNextByte() {
    const int index = next_;
    if (!sendTransferCommand(readByteCommand(index)))
        return false;
    emit progress(qBound(0, index, kImageSize), kImageSize);
    ++next_;
    return true;
}

void EdidTransfer::stop(transfer::Error error, const QString& line) {
    transfer::Outcome o;
    o.error = error;
    o.phase = phase_;
    o.index = next_ - 1;
    o.lastLine = line.trimmed();
    answerTimer_->stop();
    settleTimer_->stop();
    downloading_ = false;
    reading_ = false;
    verifying_ = false;
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
    if (downloading_) {
        downloadReply(r);
        return true;
    }
    if (reading_) {
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
        sendNextByte();
        return;
    }
    if (line.startsWith(QLatin1String("ok"))) {
        if (next_ < kImageSize) {
            sendNextByte();
            return;
        }
        // Byte 255 is in: read the whole image back to verify it.
        beginRead(transfer::Phase::Verify);
        if (!sendTransferCommand(openCommand(input_, true)))
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
        askNextByte();
        return;
    }
    if (keyword(line, "ok ")) {
        const QString byte = chars(line, 4, 2);
        const int index = next_ - 1;
        if (index >= 0 && index < kImageSize) {
            read_[index] = strictHexByte(byte);
            received_[index] = byteCellValue(byte);
        }
        if (next_ < kImageSize) {
            const int shown = shown_++;
            // Ask for the next byte before showing this one: the view lays
            // the text out at once, and the line need not wait for that.
            askNextByte();
            emit byteRead(shown, byte, false);
            return;
        }
        answerTimer_->stop();
        const bool verifying = verifying_;
        // The read is over before it is judged: a line that comes in
        // meanwhile (or while a box reports on it) must find no transfer
        // running, not pass for a 257th byte.
        verifying_ = false;
        reading_ = false;
        next_ = 0;
        emit byteRead(shown_, byte, true);
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
    retry(line);
}

void EdidTransfer::retry(const QString& line) {
    if (next_ > 0)
        --next_;
    if (retryAt_ != next_) {
        retryAt_ = next_;
        retries_ = 0;
        askNextByte();
        return;
    }
    // A failed write has ended the transfer already: it is not ended twice.
    if (!askNextByte())
        return;
    if (++retries_ >= 4)
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
            if (sent_[i] && read_[i] && *sent_[i] == *read_[i])
                continue;
            o.error = transfer::Error::VerifyMismatch;
            o.index = i;
            if (sent_[i])
                o.written = *sent_[i];
            if (read_[i])
                o.readBack = *read_[i];
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
