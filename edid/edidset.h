#pragma once

#include "main_window/feature_window.h"

class EDIDSet : public FeatureWindow {
    Q_OBJECT
public:
    explicit EDIDSet(Form1& form1);
    void Form_Load() override;
    // The device left its mode by itself.
    void quit();
};
