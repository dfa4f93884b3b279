#include "frontends/cli/runner.h"

#include "core/seriallink/comport.h"
#include "frontends/cli/output.h"

#include <QDir>
#include <QRegularExpression>

namespace cli {

PortChoice choosePort(const QString& given, platform::Platform& platform, const QString& workDir) {
    QString text = given;
    if (text.isEmpty()) {
        const int index =
            seriallink::readComport(QDir(workDir).filePath(QStringLiteral("COMPORT"))).value_or(0);
        text = QStringLiteral("COM%1").arg(index + 1);
    }
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(text);
    if (!m.hasMatch())
        return {text, text};
    const int n = m.captured(1).toInt();
    const QString device = platform.deviceForPort(n);
    return {device, device.isEmpty() ? QStringLiteral("COM%1").arg(n)
                                     : QStringLiteral("COM%1 (%2)").arg(n).arg(device)};
}

Runner::Runner(const Command& command, Console& console)
    : command_(command), console_(console), device_(platform_) {
    seriallink::Connection& link = device_.link();
    connect(&link, &seriallink::Connection::opened, this, &Runner::opened);
    connect(&link, &seriallink::Connection::openFailed, this, &Runner::portFailed);
    connect(&link, &seriallink::Connection::failure, this, [this](seriallink::Failure f) {
        if (!op_ || !started_)
            return;
        const QString why = device_.link().errorText();
        if (f == seriallink::Failure::ServerFailed && !why.isEmpty())
            op_->fail(why);
        else
            op_->fail(QStringLiteral("cannot write to %1%2")
                          .arg(port_.name, why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    });
    connect(&link, &seriallink::Connection::lost, this, [this] {
        if (op_ && started_)
            op_->fail(device_.link().errorText());
    });
}

Runner::~Runner() = default;

void Runner::start() {
    port_ = choosePort(command_.port, platform_, QDir::currentPath());
    op_ = makeOperation({device_, platform_, command_, console_, port_.name});
    connect(op_.get(), &Operation::finished, this, &Runner::end);
    connect(op_.get(), &Operation::startable, this, &Runner::openPort);
    if (!op_->prepare() || op_->waitingToStart())
        return;
    openPort();
}

void Runner::openPort() {
    if (over_)
        return;
    if (port_.device.isEmpty())
        return portFailed(
            QStringLiteral("%1: no serial device stands behind this port number").arg(port_.name));
    switch (device_.link().openDevice(port_.device)) {
    case seriallink::OpenResult::Opened:
        opened();
        break;
    case seriallink::OpenResult::Failed:
        portFailed(device_.link().errorText());
        break;
    case seriallink::OpenResult::Pending:
        break; // a serial device server answers in its own time
    }
}

void Runner::opened() {
    if (over_ || started_)
        return;
    started_ = true;
    op_->start();
}

void Runner::portFailed(const QString& reason) {
    console_.error(QStringLiteral("%1: %2").arg(verbName(command_.verb), reason));
    end(kPortFailed);
}

void Runner::interrupt(int signalNumber) {
    // A run already over only waits for the exit word's echo: it keeps the
    // status it ended with.
    if (op_ && op_->over())
        return end(op_->status());
    if (op_ && started_) {
        op_->interrupt(signalNumber);
        return;
    }
    console_.error(
        QStringLiteral("%1: stopped by signal %2").arg(verbName(command_.verb)).arg(signalNumber));
    end(interruptedStatus(signalNumber));
}

void Runner::end(int status) {
    if (over_)
        return;
    over_ = true;
    // Whatever the operation wrote last (an exit word) has already left:
    // every write is flushed.
    device_.link().close();
    emit finished(status);
}

} // namespace cli
