#pragma once

#include <QDialog>

class DeviceContext;
class Setting;
class QLineEdit;
class QPushButton;

// The password window of the settings window: asks for the access code that
// unlocks the long-cable options. "OK" sets the settings window's pswd to 1
// for the right code and to 0, after "Password wrong!", for any other text;
// "Cancel" and the close box leave pswd alone. The lock is local: nothing
// is sent to the device.
class PASSWORD : public QDialog {
    Q_OBJECT
public:
    PASSWORD(DeviceContext& context, Setting& setting);
    // Puts the window back to how it looks on every opening.
    void Form_Load();

    void Command1_Click(); // "OK"
    void Command2_Click(); // "Cancel"

    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    DeviceContext& context_;
    Setting& setting_;
};
