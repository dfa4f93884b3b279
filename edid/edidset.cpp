#include "edid/edidset.h"

#include "main_window/form1.h"

EDIDSet::EDIDSet(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("EDID Set"));
}

void EDIDSet::Form_Load() {}

void EDIDSet::quit() {
    close();
}
