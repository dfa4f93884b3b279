#include "frontends/cli/runner.h"

#include "core/files/read_file.h"
#include "core/seriallink/comport.h"
#include "frontends/cli/output.h"

#include <QDir>
#include <QRegularExpression>

namespace cli {

PortChoice choosePort(const QString& given, platform::Platform& platform, const QString& workDir) {
    QString text = given;
    if (text.isEmpty()) {
        // The window falls back to COM1 on a COMPORT it cannot read; a
        // script would then drive whatever sits on COM1, so here it is an
        // error. Only a missing COMPORT means COM1.
        const QString path = QDir(workDir).filePath(QStringLiteral("COMPORT"));
        const files::ReadResult r = files::readFile(path, 64);
        static const QRegularExpression index(QStringLiteral("^[0-9]$"));
        const QString held = QString::fromLatin1(r.bytes.trimmed());
        if (r.problem == files::ReadResult::Problem::Missing)
            text = QStringLiteral("COM1");
        else if (!r.ok())
            return {{}, {}, QStringLiteral("cannot read %1: %2").arg(path, r.reason)};
        else if (!index.match(held).hasMatch())
            return {{},
                    {},
                    QStringLiteral("%1 holds \"%2\", not a port index from 0 to 9")
                        .arg(path, held.left(20))};
        else
            text = QStringLiteral("COM%1").arg(held.toInt() + 1);
    }
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(text);
    if (!m.hasMatch())
        return {text, text, {}};
    const int n = m.captured(1).toInt();
    const QString device = platform.deviceForPort(n);
    return {device,
            device.isEmpty() ? QStringLiteral("COM%1").arg(n)
                             : QStringLiteral("COM%1 (%2)").arg(n).arg(device),
            {}};
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
        if (!op_ || !started_)
            return;
        // A serial device server whose line another client holds accepts
        // the connection and closes it at once (ser2net, the simulator).
        if (busyWindow_ && busyWindow_->isActive())
            return op_->fail(QStringLiteral("port busy: the server %1 closed the connection at "
                                            "once after accepting it (another client has the "
                                            "switcher)")
                                 .arg(port_.name),
                             kPortFailed);
        op_->fail(device_.link().errorText());
    });
}

Runner::~Runner() = default;

void Runner::start() {
    port_ = choosePort(command_.port, platform_, QDir::currentPath());
    op_ = makeOperation({device_, platform_, command_, console_, port_.name});
    connect(op_.get(), &Operation::finished, this, &Runner::end);
    if (!port_.error.isEmpty()) {
        console_.error(QStringLiteral("%1: %2").arg(verbName(command_.verb), port_.error));
        return end(kUsage);
    }
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
    if (device_.link().isNetwork()) {
        busyWindow_ = platform_.createTimer(this);
        busyWindow_->setSingleShot(true);
        busyWindow_->setInterval(kBusyCloseMs);
        busyWindow_->start();
    }
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
