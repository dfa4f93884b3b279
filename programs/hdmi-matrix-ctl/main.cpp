// hdmi-matrix-ctl: every operation of the switcher from a shell, a script
// or a scheduler, on the device core without any window.

#include "core/platform/interrupts.h"
#include "frontends/cli/command.h"
#include "frontends/cli/decode.h"
#include "frontends/cli/edid_edit.h"
#include "frontends/cli/output.h"
#include "frontends/cli/runner.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

// A run whose stdout could not be written (a full disk, a closed pipe)
// failed, whatever the device did: a script must not take a cut result for
// a good one.
int checked(cli::Console& console, int status) {
    if (console.stdoutError().isEmpty())
        return status;
    console.error(QStringLiteral("cannot write to standard output: ") + console.stdoutError());
    return status == cli::kDone ? int(cli::kFailed) : status;
}

} // namespace

int main(int argc, char** argv) {
#ifdef Q_OS_UNIX
    // A closed pipe on stdout is an error to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    const cli::Parsed parsed = cli::parseArguments(app.arguments());
    cli::Console console(cli::Console::stderrIsTerminal());
    if (!parsed.help.isEmpty()) {
        console.data(parsed.help);
        return checked(console, cli::kDone);
    }
    if (!parsed.command) {
        console.error(parsed.error);
        std::fputs(parsed.usage.toLocal8Bit().constData(), stderr);
        return cli::kUsage;
    }
    const cli::Command& command = *parsed.command;
    // These need no port.
    if (command.verb == cli::Verb::EdidDecode)
        return checked(console, cli::decodeEdidFile(command, console));
    if (command.verb == cli::Verb::EdidEdit || command.verb == cli::Verb::EdidTemplate)
        return checked(console, cli::runEdidEdit(command, console));

    cli::Runner runner(command, console);
    platform::InterruptWatch interrupts;
    QObject::connect(&interrupts, &platform::InterruptWatch::interrupted, &runner,
                     &cli::Runner::interrupt);
    QObject::connect(&runner, &cli::Runner::finished, &app,
                     [](int status) { QCoreApplication::exit(status); });
    // Started from the event loop, so that a run that ends at once still
    // ends it.
    QMetaObject::invokeMethod(&runner, &cli::Runner::start, Qt::QueuedConnection);
    return checked(console, app.exec());
}
