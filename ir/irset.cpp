#include "ir/irset.h"

#include "main_window/form1.h"

IrSet::IrSet(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("IR CODE SET"));
}

void IrSet::Form_Load() {}

void IrSet::quit() {
    close();
}
