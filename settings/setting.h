#pragma once

#include "main_window/feature_window.h"

class Setting : public FeatureWindow {
    Q_OBJECT
public:
    explicit Setting(Form1& form1);
    void Form_Load() override;
    // The device left its mode by itself.
    void quit();
};
