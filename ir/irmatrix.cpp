#include "ir/irmatrix.h"

#include "main_window/form1.h"

IRMatrix::IRMatrix(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("IRMRX"));
}

void IRMatrix::Form_Load() {}

void IRMatrix::Ledstatus(const QString&, const QString&) {}
