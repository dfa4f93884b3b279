#include "frontends/cli/runner.h"

#include "core/platform/port_names.h"

#include "core/files/read_file.h"
#include "core/seriallink/comport.h"
#include "frontends/cli/output.h"

#include <QDir>
#include <QRegularExpression>

namespace cli {

namespace {

// A line as it came, terminators and other control bytes shown: "s12\r\n".
QString quotedLine(const QString& line) {
    QString t;
    for (const QChar ch : line) {
        if (ch == '\r')
            t += QLatin1String("\\r");
        else if (ch == '\n')
            t += QLatin1String("\\n");
        else if (ch.unicode() < 0x20 || ch.unicode() == 0x7f)
            t += QStringLiteral("\\x%1").arg(ch.unicode(), 2, 16, QLatin1Char('0'));
        else
            t += ch;
    }
    return '"' + t + '"';
}

} // namespace

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
    const int n = platform::comNumber(text);
    if (n <= 0)
        return {text, text, {}};
    const QString device = platform.deviceForPort(n);
    return {device,
            device.isEmpty() ? QStringLiteral("COM%1").arg(n)
                             : QStringLiteral("COM%1 (%2)").arg(n).arg(device),
            {}};
}

Runner::Runner(const Command& command, Console& console)
    : command_(command), console_(console), device_(platform_, command.model) {
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
        // the connection and closes it at once (ser2net, the simulator), and
        // so does our server for an address it does not let in: which of
        // the two cannot be told from here.
        if (busyWindow_ && busyWindow_->isActive())
            return op_->fail(QStringLiteral("the server %1 closed the connection at once after "
                                            "accepting it (busy with another client, or this "
                                            "address is not let in)")
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
    if (device_.link().isNetwork())
        busyWindow_ = oneShot(kBusyCloseMs, [] {});
    seriallink::Connection& link = device_.link();
    settleQuiet_ = oneShot(kSettleFirstMs, [this] { settled(); });
    settleMax_ = oneShot(kSettleMaxMs, [this] { settled(); });
    settling_ = {
        connect(&link, &seriallink::Connection::bytesQueued, this,
                [this] {
                    settleQuiet_->setInterval(kSettleQuietMs);
                    settleQuiet_->start();
                }),
        connect(&link, &seriallink::Connection::lineReceived, this,
                [this](const QString& line) { discarded_ << line; }),
        connect(&link, &seriallink::Connection::rawReceived, this,
                [this](const QString& text) { discarded_ << text; }),
    };
}

platform::Timer* Runner::oneShot(int ms, std::function<void()> then) {
    platform::Timer* t = platform_.createTimer(this);
    t->setSingleShot(true);
    t->setInterval(ms);
    connect(t, &platform::Timer::timeout, this, std::move(then));
    t->start();
    return t;
}

void Runner::settled() {
    if (over_ || settling_.isEmpty())
        return;
    for (const QMetaObject::Connection& c : std::as_const(settling_))
        disconnect(c);
    settling_.clear();
    settleQuiet_->stop();
    settleMax_->stop();
    // A line cut off by the open, or still arriving, must not become the
    // start of the first answer.
    seriallink::Connection& link = device_.link();
    link.lines().drain();
    if (link.lines().partialLength() != 0)
        discarded_ << link.lines().discardPartial();
    if (command_.verbose)
        for (const QString& line : std::as_const(discarded_))
            console_.note(
                QStringLiteral("discarded before the first command: %1").arg(quotedLine(line)));
    discarded_.clear();
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
    if (op_ && started_ && settling_.isEmpty()) {
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
