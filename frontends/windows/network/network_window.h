#pragma once

#include "frontends/windows/widgets/feature_window.h"

#include <QString>

class QFrame;
class QPushButton;
class QRadioButton;
class ipBox;

// The network address window: tells the device to obtain its address by
// itself or to use a fixed one (four hexadecimal
// numbers). It sends one line on "OK" and closes; no answer is awaited.
class NetworkWindow : public FeatureWindow {
    Q_OBJECT
public:
    explicit NetworkWindow(DeviceContext& context);
    void prepare() override;

    void onAutomaticChosen(); // "Automatically obtain IP address"
    void onStaticChosen();    // "Set static IP address"
    void onOkClicked();       // "OK"
    void onCancelClicked();   // "Cancel"

    bool automaticAddress = true; // false: the fixed address

    QRadioButton* automaticChoice = nullptr;
    QRadioButton* staticChoice = nullptr;
    QFrame* addressFrame = nullptr;
    ipBox* addressBox = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
};
