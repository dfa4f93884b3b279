// The HDMI matrix control program. It takes no arguments: the port it uses
// is remembered in COMPORT in the working directory.

#include "core/platform/qt_platform.h"
#include "frontends/windows/main_window/form1.h"
#include "frontends/windows/platform/qt_dialogs.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hdmi-matrix"));
    platform::QtPlatform platform;
    platform::QtDialogs dialogs;
    Form1 form(platform, dialogs);
    form.Form_Load();
    form.show();
    return app.exec();
}
