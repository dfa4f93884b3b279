#include "frontends/cli/operation.h"

#include "core/device/switcher.h"
#include "core/platform/platform.h"
#include "frontends/cli/output.h"

#include <csignal>

namespace cli {

namespace {

QString signalName(int signalNumber) {
    switch (signalNumber) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
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
        fail(QStringLiteral("no \"%1\" echo from %2 within 2 s: the device did not enter %3 "
                            "mode")
                 .arg(device::DeviceModes::entryWord(mode_), c_.port, modeName()));
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
            release();
    });
    // Connected after the reply router, so the core has seen the line.
    connect(&c_.device.link(), &seriallink::Connection::lineReceived, this,
            [this](const QString& line) {
                const QString text = line.trimmed();
                if (!session_->isLeaving() && !waitingExit_ && !text.isEmpty())
                    lastLine_ = text;
            });
    if (!session_->enter())
        return; // the port is closed: the failure is reported as such
    entered_ = true;
}

void ModeOperation::interrupt(int signalNumber) {
    if (!entered_) {
        Operation::interrupt(signalNumber);
        return;
    }
    const QString where = progressText();
    fail(QStringLiteral("stopped by %1%2; \"%3\" sent to leave %4 mode")
             .arg(signalName(signalNumber),
                  where.isEmpty() ? QString() : QStringLiteral(" ") + where,
                  device::DeviceModes::exitWord(mode_), modeName()),
         interruptedStatus(signalNumber));
}

bool ModeOperation::wrapUp() {
    stopWork();
    c_.device.modes().Timer2->stop();
    if (!entered_)
        return true;
    entered_ = false;
    session_->leave();
    waitingExit_ = session_->isLeaving();
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
    default:
        return makeRoutingOperation(context);
    }
}

} // namespace cli
