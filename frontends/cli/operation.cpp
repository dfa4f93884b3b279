#include "frontends/cli/operation.h"

#include "core/device/switcher.h"
#include "core/platform/platform.h"
#include "frontends/cli/output.h"

#include <csignal>
#include <utility>

namespace cli {

namespace {

QString signalName(int signalNumber) {
    switch (signalNumber) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
#ifdef SIGHUP
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    case SIGQUIT:
        return QStringLiteral("SIGQUIT");
#endif
    default:
        return QStringLiteral("signal %1").arg(signalNumber);
    }
}

} // namespace

Operation::Operation(const Context& context) : c_(context) {}

void Operation::fail(const QString& message, int status) {
    if (over_)
        return;
    c_.console.error(verbName(c_.command.verb) + QStringLiteral(": ") + message);
    finish(status);
}

void Operation::interrupt(int signalNumber) {
    fail(QStringLiteral("stopped by %1").arg(signalName(signalNumber)),
         interruptedStatus(signalNumber));
}

void Operation::finish(int status) {
    if (over_)
        return;
    over_ = true;
    status_ = status;
    waitingForReader_ = false;
    if (outputWait_)
        outputWait_->stop();
    c_.console.endProgress();
    if (wrapUp())
        release();
}

void Operation::release() {
    if (released_)
        return;
    released_ = true;
    emit finished(status_);
}

platform::Timer* Operation::oneShot(int ms) {
    platform::Timer* t = c_.platform.createTimer(this);
    t->setInterval(ms);
    t->setSingleShot(true);
    return t;
}

bool Operation::openOutput(files::OutputFile& file) {
    QString reason;
    switch (file.open(&reason)) {
    case files::OutputFile::Opened::Ready:
        if (waitingForReader_) {
            waitingForReader_ = false;
            outputWait_->stop();
            emit startable();
        }
        return true;
    case files::OutputFile::Opened::NoReader:
        if (waitingForReader_)
            return true;
        // Tried again on a timer, not in a blocking open: the run stays
        // interruptible and gives up by itself.
        if (!outputWait_) {
            outputWait_ = oneShot(kPipeRetryMs);
            outputWait_->setSingleShot(false);
            connect(outputWait_, &platform::Timer::timeout, this, [this, &file] {
                if (++pipeTries_ * kPipeRetryMs < kPipeWaitMs)
                    return void(openOutput(file));
                waitingForReader_ = false;
                outputWait_->stop();
                fail(QStringLiteral("cannot write %1: no program reads the named pipe (waited "
                                    "%2 s)")
                         .arg(file.name())
                         .arg(kPipeWaitMs / 1000.0));
            });
        }
        waitingForReader_ = true;
        pipeTries_ = 0;
        outputWait_->start();
        return true;
    case files::OutputFile::Opened::Failed:
        break;
    }
    fail(QStringLiteral("cannot write %1: %2").arg(file.name(), reason));
    return false;
}

QString Operation::timeoutText() const {
    return QStringLiteral("%1 s").arg(c_.command.timeoutMs / 1000.0);
}

// ---------------------------------------------------------------------------

ModeOperation::ModeOperation(const Context& context, Mode mode) : Operation(context), mode_(mode) {
    // The stricter rule of the two: the work starts on the entry word's
    // echo, and the exit word's echo is waited for.
    session_ = new device::ModeSession(c_.device, mode_, {true, kExitEchoMs, 0});
    session_->setParent(this);
}

QString ModeOperation::modeName() const {
    switch (mode_) {
    case Mode::Setup:
        return QStringLiteral("setting");
    case Mode::Edid:
        return QStringLiteral("EDID");
    case Mode::Ir:
        break;
    }
    return QStringLiteral("IR");
}

void ModeOperation::start() {
    connect(session_, &device::ModeSession::notConfirmed, this, [this] {
        // Our server's line port lends the line to one client while it is
        // in a device mode; the others' words wait unanswered meanwhile.
        const bool served = c_.device.link().isNetwork();
        fail(QStringLiteral("no \"%1\" echo from %2 within 2 s: the device did not enter %3 "
                            "mode%4")
                 .arg(device::DeviceModes::entryWord(mode_), c_.port, modeName(),
                      served ? QStringLiteral(" (another client of the server may hold the "
                                              "line)")
                             : QString()));
    });
    connect(session_, &device::ModeSession::started, this, [this] {
        if (!over())
            confirmed();
    });
    connect(session_, &device::ModeSession::leftByDevice, this, [this] {
        if (over())
            return;
        // The device has left; the window sends the exit word all the
        // same when its window closes, and so does this.
        const QString where = progressText();
        fail(QStringLiteral("the device left %1 mode by itself%2")
                 .arg(modeName(), where.isEmpty() ? QString() : QStringLiteral(" ") + where));
    });
    connect(session_, &device::ModeSession::closed, this, [this] {
        if (waitingExit_)
            left(session_->exitConfirmed());
    });
    // Connected after the reply router, so the core has seen the line.
    connect(&c_.device.link(), &seriallink::Connection::lineReceived, this,
            [this](const QString& line) {
                const QString text = line.trimmed();
                if (!session_->isLeaving() && !waitingExit_ && !text.isEmpty())
                    lastLine_ = text;
                if (afterLine_)
                    std::exchange(afterLine_, nullptr)();
            });
    if (!session_->enter())
        return; // the port is closed: the failure is reported as such
    entered_ = true;
}

void ModeOperation::failAfterLine(std::function<void()> then) {
    afterLine_ = std::move(then);
    // No line is being handled (a time-out): at the next turn of the loop.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (afterLine_)
                std::exchange(afterLine_, nullptr)();
        },
        Qt::QueuedConnection);
}

void ModeOperation::interrupt(int signalNumber) {
    if (!entered_ || over()) {
        Operation::interrupt(signalNumber);
        return;
    }
    const QString where = progressText();
    stopMessage_ = QStringLiteral("%1: stopped by %2%3; \"%4\" sent to leave %5 mode")
                       .arg(verbName(c_.command.verb), signalName(signalNumber),
                            where.isEmpty() ? QString() : QStringLiteral(" ") + where,
                            device::DeviceModes::exitWord(mode_), modeName());
    finish(interruptedStatus(signalNumber));
}

void ModeOperation::left(bool confirmed) {
    waitingExit_ = false;
    const QString exit = device::DeviceModes::exitWord(mode_);
    if (!stopMessage_.isEmpty())
        c_.console.error(stopMessage_ + (confirmed ? QStringLiteral(", which the device confirmed")
                                                   : QStringLiteral(", unconfirmed: no echo "
                                                                    "within %1 s")
                                                         .arg(kExitEchoMs / 1000.0)));
    else if (!confirmed)
        c_.console.warning(QStringLiteral("%1: no \"%2\" echo from %3 within %4 s: the device "
                                          "may still be in %5 mode")
                               .arg(verbName(c_.command.verb), exit, c_.port)
                               .arg(kExitEchoMs / 1000.0)
                               .arg(modeName()));
    release();
}

bool ModeOperation::wrapUp() {
    stopWork();
    c_.device.modes().stopWatchdog();
    if (!entered_)
        return true;
    entered_ = false;
    session_->leave();
    waitingExit_ = session_->isLeaving();
    // A device that never confirmed the entry is not waited for again.
    if (!waitingExit_ && !stopMessage_.isEmpty())
        c_.console.error(stopMessage_ + QStringLiteral(" (not waited for: %1)")
                                            .arg(session_->isConfirmed()
                                                     ? QStringLiteral("the port closed")
                                                     : QStringLiteral("the device never "
                                                                      "confirmed entering it")));
    return !waitingExit_;
}

// ---------------------------------------------------------------------------

std::unique_ptr<Operation> makeOperation(const Context& context) {
    switch (context.command.verb) {
    case Verb::EdidRead:
    case Verb::EdidWrite:
    case Verb::IrRead:
    case Verb::IrWrite:
        return makeTransferOperation(context);
    case Verb::Backup:
    case Verb::Restore:
        return makeBackupOperation(context);
    default:
        return makeRoutingOperation(context);
    }
}

} // namespace cli
