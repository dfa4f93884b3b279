// The HDMI matrix control program. It takes one option, --model, the
// switcher's model; the port it uses is remembered in COMPORT in the
// working directory.

#include "core/platform/qt_platform.h"
#include "core/protocol/model.h"
#include "frontends/windows/main_window/main_window.h"
#include "frontends/windows/platform/qt_dialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hdmi-matrix"));
    QCommandLineParser parser;
    const QCommandLineOption modelOption(
        QStringLiteral("model"),
        QStringLiteral("The switcher's model: %1 (default %2).")
            .arg(protocol::Model::names().join(QStringLiteral(", ")),
                 protocol::Model::standard().name),
        QStringLiteral("model"), protocol::Model::standard().name);
    parser.addOption(modelOption);
    parser.addHelpOption();
    const protocol::Model* model = nullptr;
    QString error;
    if (!parser.parse(QApplication::arguments()))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments()[0]);
    else if (!(model = protocol::Model::find(parser.value(modelOption))))
        error = protocol::Model::unknownMessage(parser.value(modelOption));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!error.isEmpty()) {
        std::fputs(qPrintable(QStringLiteral("hdmi-matrix: %1\n").arg(error)), stderr);
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }
    platform::QtPlatform platform;
    platform::QtDialogs dialogs;
    MainWindow form(platform, dialogs, *model);
    form.startUp();
    form.show();
    return app.exec();
}
