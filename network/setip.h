#pragma once

#include "main_window/feature_window.h"

class SetIP : public FeatureWindow {
    Q_OBJECT
public:
    explicit SetIP(Form1& form1);
    void Form_Load() override;
};
