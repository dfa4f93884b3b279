#include "core/platform/interrupts.h"
#include "core/platform/qt_platform.h"
#include "frontends/server/account_command.h"
#include "frontends/server/options.h"
#include "frontends/server/platform/password_prompt.h"
#include "frontends/server/server_app.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcessEnvironment>
#include <QTextStream>
#include <cstdio>

namespace {

void print(FILE* f, const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), f);
    std::fflush(f);
}

} // namespace

int main(int argc, char* argv[]) {
    // Qt's own event dispatcher rather than GLib's: the server wakes for
    // every byte the switcher sends, and each GLib wake-up costs several
    // more system calls on the way from the switcher to the line clients.
    // Nothing here needs GLib's loop: avahi, libmosquitto and systemd are
    // all driven through socket notifiers and timers.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hdmi-matrix-server"));

    QHash<QString, QString> env;
    const QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"STATE_DIRECTORY", "XDG_STATE_HOME", "HOME", mqtt::kPasswordVariable})
        env.insert(QLatin1String(name), pe.value(QLatin1String(name)));
    QString error;
    const std::optional<server::Options> options =
        server::parseOptions(app.arguments().mid(1), env, &error);
    if (!options) {
        print(stderr, QStringLiteral("hdmi-matrix-server: %1").arg(error));
        print(stderr, QStringLiteral("Try --help."));
        return 2;
    }
    if (options->help) {
        std::fputs(server::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!options->command.isEmpty()) {
        server::StandardInputPasswords passwords;
        QTextStream out(stdout);
        QTextStream err(stderr);
        const int status =
            server::runAccountCommand(options->command, options->role, options->stateDir, passwords,
                                      out, err, options->rooms);
        if (status == 2)
            err << "Try --help." << Qt::endl;
        return status;
    }

    platform::QtPlatform platform;
    server::ServerApp server(platform, *options);
    // One line each, to standard error: the journal of a service.
    QObject::connect(&server, &server::ServerApp::log, &app,
                     [](const QString& line) { print(stderr, line); });
    // SIGHUP reloads, as services do; SIGINT, SIGTERM and SIGQUIT leave any device
    // mode a client left open, then end.
    platform::InterruptWatch interrupts(platform::InterruptWatch::HangUp::Reloads);
    QObject::connect(&interrupts, &platform::InterruptWatch::reloadRequested, &server,
                     &server::ServerApp::reload);
    int stopSignal = 0;
    QObject::connect(&interrupts, &platform::InterruptWatch::interrupted, &app, [&](int n) {
        if (stopSignal != 0)
            return;
        stopSignal = n;
        print(stderr, QStringLiteral("stopping"));
        server.stop();
    });
    QObject::connect(&server, &server::ServerApp::stopped, &app, [] { QCoreApplication::exit(0); });
    if (!server.start(&error)) {
        print(stderr, QStringLiteral("hdmi-matrix-server: %1").arg(error));
        return 1;
    }
    return app.exec();
}
