#pragma once

#include <QDialog>

class DeviceContext;
class SettingsWindow;
class QLineEdit;
class QPushButton;

// The password window of the settings window: asks for the access code that
// unlocks the long-cable options. "OK" sets the settings window's
// longCableUnlocked for the right code and clears it, after "Password
// wrong!", for any other text; "Cancel" and the close box leave it alone.
// The lock is local: nothing is sent to the device.
class PasswordWindow : public QDialog {
    Q_OBJECT
public:
    PasswordWindow(DeviceContext& context, SettingsWindow& settingsWindow);
    // Puts the window back to how it looks on every opening.
    void prepare();

    void onOkClicked();     // "OK"
    void onCancelClicked(); // "Cancel"

    QLineEdit* passwordBox = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    DeviceContext& context_;
    SettingsWindow& settingsWindow_;
};
