#pragma once

#include "main_window/feature_window.h"

class IRMatrix : public FeatureWindow {
    Q_OBJECT
public:
    explicit IRMatrix(Form1& form1);
    void Form_Load() override;
    // IR output port aa (0..7) is connected to IR input port bb.
    void Ledstatus(const QString& aa, const QString& bb);
};
