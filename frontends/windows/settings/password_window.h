#pragma once

#include <QDialog>

class DeviceContext;
class SettingsWindow;
class QLineEdit;
class QPushButton;

// The password window of the settings window: asks for the access code that
// unlocks the long-cable options. "OK" sets the settings window's pswd to 1
// for the right code and to 0, after "Password wrong!", for any other text;
// "Cancel" and the close box leave pswd alone. The lock is local: nothing
// is sent to the device.
class PasswordWindow : public QDialog {
    Q_OBJECT
public:
    PasswordWindow(DeviceContext& context, SettingsWindow& setting);
    // Puts the window back to how it looks on every opening.
    void prepare();

    void onOkClicked();     // "OK"
    void onCancelClicked(); // "Cancel"

    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    DeviceContext& context_;
    SettingsWindow& setting_;
};
