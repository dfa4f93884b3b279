#include "network/setip.h"

#include "main_window/form1.h"

SetIP::SetIP(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("Set IP"));
}

void SetIP::Form_Load() {}
