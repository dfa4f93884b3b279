#include "settings/setting.h"

#include "main_window/form1.h"

Setting::Setting(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("Setting"));
}

void Setting::Form_Load() {}

void Setting::quit() {
    close();
}
