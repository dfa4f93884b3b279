// The switcher simulator: answers the program's commands over a
// pseudo-terminal published as COMn in a folder, or as a serial device
// server on a TCP port of 127.0.0.1.

#include "sim/device.h"
#include "sim/pty_transport.h"
#include "sim/tcp_transport.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <unistd.h>

namespace {
int quitPipe[2] = {-1, -1};
void onSignal(int) {
    (void)!::write(quitPipe[1], "q", 1);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("hdmi-matrix-sim");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Simulates the HDMI matrix switcher on a pseudo-terminal. The link COMn it creates "
        "in the folder lets the program open it as port n. With --tcp it is a serial device "
        "server on 127.0.0.1 instead, reached as tcp://127.0.0.1:PORT.");
    parser.addHelpOption();
    parser.addOption({"dir", "Folder for the COMn link (default: current folder).", "folder", "."});
    parser.addOption({"port", "Port number n of the link COMn, 1..10 (default 1).", "n", "1"});
    parser.addOption({"tcp",
                      "Listen on 127.0.0.1:PORT instead of a pseudo-terminal, one client at a "
                      "time (0: a free port, printed). Replaces --dir and --port.",
                      "PORT"});
    parser.addOption(
        {"model",
         QStringLiteral("The switcher simulated: %1 (default %2).")
             .arg(sim::shapeNames().join(QStringLiteral(", ")), sim::standardShape().name),
         "model", sim::standardShape().name});
    parser.addOption({"paced", "Keep real 9600-baud timing in both directions."});
    parser.addOption({"quiet", "Do not print the lines received."});
    sim::addOptions(parser);
    parser.process(app);

    QTextStream err(stderr);
    const bool tcp = parser.isSet("tcp");
    if (tcp && (parser.isSet("dir") || parser.isSet("port"))) {
        err << "--tcp replaces --dir and --port\n";
        return 2;
    }
    bool ok = false;
    const int port = parser.value("port").toInt(&ok);
    if (!ok || port < 1 || port > 10) {
        err << "--port takes a number from 1 to 10\n";
        return 2;
    }
    const uint tcpPort = parser.value("tcp").toUInt(&ok);
    if (tcp && (!ok || tcpPort > 65535)) {
        err << "--tcp takes a port number from 0 to 65535\n";
        return 2;
    }
    const sim::Shape* shape = sim::findShape(parser.value("model"));
    if (!shape) {
        err << "unknown model \"" << parser.value("model")
            << "\" (known: " << sim::shapeNames().join(QStringLiteral(", ")) << ")\n";
        return 2;
    }
    sim::Device device(*shape);
    QString error;
    if (!sim::applyOptions(parser, device, &error)) {
        err << error << "\n";
        return 2;
    }
    QTextStream out(stdout);
    const bool quiet = parser.isSet("quiet");
    device.onLine = [&](const QByteArray& l) {
        if (!quiet) {
            out << "< " << QString::fromLatin1(l) << Qt::endl;
        }
    };
    sim::PtyTransport line;
    sim::TcpTransport server;
    const bool paced = parser.isSet("paced");
    if (tcp) {
        server.setPaced(paced);
        if (!server.start(static_cast<quint16>(tcpPort), &error)) {
            err << error << "\n";
            return 1;
        }
        server.onReceive = [&](const QByteArray& bytes) { server.send(device.receive(bytes)); };
        device.ir.sendLine = [&](const QByteArray& bytes) { server.send(bytes); };
        server.onEvent = [&](const QString& what) {
            if (!quiet)
                out << "* " << what << Qt::endl;
        };
        out << "Switcher simulator on tcp://" << server.address() << Qt::endl;
    } else {
        line.setPaced(paced);
        if (!line.start(parser.value("dir"), port, &error)) {
            err << error << "\n";
            return 1;
        }
        line.onReceive = [&](const QByteArray& bytes) { line.send(device.receive(bytes)); };
        device.ir.sendLine = [&](const QByteArray& bytes) { line.send(bytes); };
        out << "Switcher simulator on " << line.slavePath() << ", linked as " << line.linkPath()
            << Qt::endl;
    }

    // Ctrl+C and kill end the event loop cleanly so the link is removed.
    if (pipe(quitPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto* n = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(n, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
