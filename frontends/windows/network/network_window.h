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

    int AutoIPFlg = 1; // 1: automatic address, 0: the fixed address

    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QFrame* AddressFrame = nullptr;
    ipBox* ipBox1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};
