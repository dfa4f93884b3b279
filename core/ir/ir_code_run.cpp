#include "core/ir/ir_code_run.h"

#include "core/platform/platform.h"
#include "core/protocol/reply_line.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"

namespace ir {

IrCodeRun::IrCodeRun(seriallink::Wire& wire, platform::Platform& platform)
    : wire_(wire), codes_(kEntries) {
    answerTimer_ = platform.createTimer(this);
    answerTimer_->setInterval(kAnswerMs);
    answerTimer_->setSingleShot(true);
    connect(answerTimer_, &platform::Timer::timeout, this, &IrCodeRun::onAnswerTimeout);
    settleTimer_ = platform.createTimer(this);
    settleTimer_->setInterval(kSettleMs);
    settleTimer_->setSingleShot(true);
    connect(settleTimer_, &platform::Timer::timeout, this, &IrCodeRun::settled);
}

void IrCodeRun::prepare() {
    stopRun();
    learnTarget_ = 1;
    for (int k = 0; k < kEntries; ++k) {
        setCode(k, QString());
        setMark(k, Mark::Normal);
    }
    custom_.clear();
    data_.clear();
}

void IrCodeRun::setCode(int k, const QString& text) {
    codes_[k] = text;
    emit codeChanged(k, text);
}

void IrCodeRun::codeEdited(int k, const QString& text) {
    codes_[k] = text;
}

void IrCodeRun::setMark(int k, Mark m) {
    marks_[k] = m;
    emit markChanged(k);
}

void IrCodeRun::setProgress(int value) {
    emit progress(value, kEntries);
}

void IrCodeRun::learnInto(int k) {
    setMark(k, Mark::Normal);
    // A learned data code never lands in the custom-code box.
    learnTarget_ = k == 0 ? 1 : k;
}

// ---------------------------------------------------------------------------
// Starting a run

void IrCodeRun::readCode() {
    // Emptying the table when nothing can be read would lose the operator's
    // work for nothing.
    if (!wire_.isOpen()) {
        wire_.reportWriteFailed();
        return;
    }
    for (int k = 0; k < kEntries; ++k) {
        setCode(k, QString());
        setMark(k, Mark::Normal);
    }
    writing_ = false;
    entry_ = 0;
    phase_ = transfer::Phase::Read;
    startRun(readCodeCommand(entry_), false);
}

IrCodeRun::Check IrCodeRun::writeCode() {
    Check found = Check::Passed;
    // Marks from an earlier check stay until the box is focused, so the
    // duplicate test goes by what the boxes show now.
    std::array<bool, kEntries> formatError{};
    std::array<int, kEntries> value{};
    for (int k = 0; k < kEntries; ++k) {
        value[k] = codeValue(codes_.at(k)).value_or(-1);
        if (value[k] < 0) {
            setMark(k, Mark::FormatError);
            found = Check::FormatError;
        }
        formatError[k] = marks_[k] == Mark::FormatError;
    }
    const auto dup = findDuplicates(codes_, formatError, value);
    for (int k = 1; k < kEntries; ++k) {
        if (dup[k]) {
            setMark(k, Mark::Duplicate);
            found = Check::Duplicate;
        }
    }
    if (found != Check::Passed)
        return found;
    writing_ = true;
    entry_ = 0;
    phase_ = transfer::Phase::Write;
    startRun(writeCodeCommand(entry_, codes_.at(0)), true);
    return found;
}

void IrCodeRun::startRun(const QString& command, bool write) {
    stopRun();
    if (!wire_.lineReported(command))
        return;
    running_ = true;
    waiting_ = true;
    waitingWrite_ = write;
    answerTimer_->start();
}

void IrCodeRun::sendRunCommand(const QString& command, bool write) {
    if (!running_)
        return;
    if (wire_.line(command)) {
        waiting_ = true;
        waitingWrite_ = write;
        answerTimer_->start();
        return;
    }
    // The run ends before the failure is reported: an answer that comes in
    // while the box is up must find no run to carry on.
    stopRun();
    wire_.reportWriteFailed();
    transfer::Outcome o;
    o.error = transfer::Error::WriteFailed;
    o.phase = phase_;
    o.index = entry_;
    emit finished(o);
}

void IrCodeRun::endRun(transfer::Error error, const QString& line) {
    stopRun();
    transfer::Outcome o;
    o.error = error;
    o.phase = phase_;
    o.index = entry_;
    o.lastLine = line.trimmed();
    emit finished(o);
}

void IrCodeRun::stopRun() {
    running_ = false;
    waiting_ = false;
    answerTimer_->stop();
    settleTimer_->stop();
}

bool IrCodeRun::awaitingAnswer() const {
    return answerTimer_->isActive();
}

void IrCodeRun::onAnswerTimeout() {
    if (!running_)
        return;
    endRun(transfer::Error::TimedOut);
}

void IrCodeRun::desynchronised(const QString& line) {
    endRun(transfer::Error::OutOfStep, line);
}

bool IrCodeRun::settling() const {
    return settleTimer_->isActive();
}

void IrCodeRun::settled() {
    endRun(transfer::Error::None);
}

// ---------------------------------------------------------------------------
// Replies

bool IrCodeRun::reply(const protocol::Reply& r) {
    if (r.kind != protocol::Reply::Kind::IrCodeAnswer)
        return false;
    switch (r.irCode) {
    case protocol::Reply::IrCode::Read:
        codeRead(r.line);
        break;
    case protocol::Reply::IrCode::Written:
        codeWritten(r.line);
        break;
    case protocol::Reply::IrCode::Learned:
        codeLearned(r.line);
    }
    return true;
}

// The device returned the entry the last read command addressed.
void IrCodeRun::codeRead(const QString& line) {
    if (settling()) {
        desynchronised(line);
        return;
    }
    // Only a run in progress is continued: a reply that comes after the run
    // ended or timed out must not start it again.
    if (!running_)
        return;
    if (!waiting_) {
        desynchronised(line);
        return;
    }
    waiting_ = false;
    const QString code = replyCode(line, 5);
    int& n = entry_;
    if (n < 0 || n > kLastEntry)
        return;
    if (n < kLastEntry) {
        const int entry = n;
        // Codes are byte values: "5" written comes back as "05".
        if (writing_ && !sameCode(codes_.at(entry), code)) {
            setProgress(entry);
            checkFailed(line, code);
            return;
        }
        // The next command goes out before the window shows this answer:
        // the progress bar repaints at once, and the line need not wait.
        ++n;
        sendRunCommand(readCodeCommand(n), false);
        setProgress(entry);
        if (!writing_)
            setCode(entry, code);
        return;
    }
    if (!writing_) {
        setCode(n, code);
        // The table is judged once nothing more comes. A write's check needs
        // no such wait: it compares every entry, so a shifted answer fails it.
        stopRun();
        settleTimer_->start();
    } else if (sameCode(codes_.at(n), code)) {
        endRun(transfer::Error::None);
        n = kLastEntry + 1;
        wire_.lineReported(protocol::irSaveCommand());
    } else {
        checkFailed(line, code);
    }
}

// The device stored the entry the last write command sent.
void IrCodeRun::codeWritten(const QString& line) {
    if (settling()) {
        desynchronised(line);
        return;
    }
    if (!running_)
        return;
    // Only a write waits for this answer; one that comes while the table is
    // being read back answers a command sent earlier.
    if (!waiting_ || !waitingWrite_) {
        desynchronised(line);
        return;
    }
    waiting_ = false;
    int& n = entry_;
    if (n < 0 || n > kLastEntry)
        return;
    if (n < kLastEntry) {
        const int entry = n;
        ++n;
        sendRunCommand(writeCodeCommand(n, codes_.at(n)), true);
        setProgress(entry);
        return;
    }
    // All 81 entries are written; reading them back checks them.
    n = 0;
    phase_ = transfer::Phase::Check;
    sendRunCommand(readCodeCommand(n), false);
}

// The device's IR receiver decoded a key of a remote.
void IrCodeRun::codeLearned(const QString& line) {
    custom_ = replyCode(line, 5);
    data_ = replyCode(line, 8);
    emit learned(custom_, data_);
    setCode(0, custom_);
    if (learnTarget_ < 1 || learnTarget_ > kLastEntry)
        learnTarget_ = 1;
    setCode(learnTarget_, data_);
    if (learnTarget_ < kLastEntry)
        ++learnTarget_;
    const int k = learnTarget_;
    // The window focuses the box; the entry is marked here either way,
    // since the focus event only comes while the window is active and the
    // box may already have had the focus.
    emit focusRequested(k);
    learnInto(k);
}

void IrCodeRun::checkFailed(const QString& line, const QString& code) {
    stopRun();
    transfer::Outcome o;
    o.error = transfer::Error::VerifyMismatch;
    o.phase = phase_;
    o.index = entry_;
    o.lastLine = line.trimmed();
    o.written = codeValue(codes_.at(entry_));
    o.readBack = codeValue(code);
    emit finished(o);
}

} // namespace ir
