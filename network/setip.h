#pragma once

#include "main_window/feature_window.h"

#include <QString>

class QFrame;
class QPushButton;
class QRadioButton;
class ipBox;

// The network address window: tells the device to obtain its address by
// itself ("dhc") or to use a fixed one ("sip " and four hexadecimal
// numbers). It sends one line on "OK" and closes; no answer is awaited.
class SetIP : public FeatureWindow {
    Q_OBJECT
public:
    explicit SetIP(Form1& form1);
    void Form_Load() override;

    void Option1_Click();  // "Automatically obtain IP address"
    void Option2_Click();  // "Set static IP address"
    void Command1_Click(); // "OK"
    void Command2_Click(); // "Cancel"

    // The command line for a dotted address text, CR LF included: each run
    // of digits becomes its value in hexadecimal, runs separated by blanks.
    static QString fixedAddressCommand(const QString& address);

    int AutoIPFlg = 1; // 1: automatic address, 0: the fixed address

    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QFrame* AddressFrame = nullptr;
    ipBox* ipBox1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};
