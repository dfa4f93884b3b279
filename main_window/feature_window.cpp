#include "main_window/feature_window.h"

#include "main_window/form1.h"

FeatureWindow::FeatureWindow(Form1& form1) : QDialog(&form1), form1_(form1) {
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}
