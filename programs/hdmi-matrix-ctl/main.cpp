// hdmi-matrix-ctl: every operation of the switcher from a shell, a script
// or a scheduler, on the device core without any window.

#include "frontends/cli/command.h"
#include "frontends/cli/decode.h"
#include "frontends/cli/edid_edit.h"
#include "frontends/cli/interrupts.h"
#include "frontends/cli/output.h"
#include "frontends/cli/runner.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (cli::isEdidEditCommand(app.arguments())) {
        cli::Console console(false);
        return cli::runEdidEdit(app.arguments(), console);
    }
    const cli::Parsed parsed = cli::parseArguments(app.arguments());
    cli::Console console(cli::Console::stderrIsTerminal());
    if (!parsed.help.isEmpty()) {
        console.data(parsed.help);
        return cli::kDone;
    }
    if (!parsed.command) {
        console.error(parsed.error);
        std::fputs(parsed.usage.toLocal8Bit().constData(), stderr);
        return cli::kUsage;
    }
    const cli::Command& command = *parsed.command;
    if (command.verb == cli::Verb::EdidDecode)
        return cli::decodeEdidFile(command, console);

    cli::Runner runner(command, console);
    cli::InterruptWatch interrupts;
    QObject::connect(&interrupts, &cli::InterruptWatch::interrupted, &runner,
                     &cli::Runner::interrupt);
    QObject::connect(&runner, &cli::Runner::finished, &app,
                     [](int status) { QCoreApplication::exit(status); });
    // Started from the event loop, so that a run that ends at once still
    // ends it.
    QMetaObject::invokeMethod(&runner, &cli::Runner::start, Qt::QueuedConnection);
    return app.exec();
}
