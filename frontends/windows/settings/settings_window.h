#pragma once

#include "frontends/windows/widgets/feature_window.h"

#include <QString>
#include <array>
#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStatusBar;
class PasswordWindow;
namespace settings {
class SettingsSession;
}

// The device settings window: the HDMI long-cable mode (behind the password
// lock), copying an output's EDID to one input or to all of them, and the
// factory reset. Every change goes out as one command that stays pending
// until the device's reply confirms it; the outcome shows in the status bar.
//
// The commands and their confirmation live in the settings session; the
// window shows the device's values and the outcome, and forwards the
// operator's choices.
class SettingsWindow : public FeatureWindow {
    Q_OBJECT
public:
    static inline const QString kAccessCode = QStringLiteral("402615");

    SettingsWindow(DeviceContext& context, settings::SettingsSession& session);
    void prepare() override;

    settings::SettingsSession& session() { return session_; }
    void promptRestart();
    // The device left setting mode by itself.
    void quit();

    // Handlers of the controls; public so a program change of a selection
    // can raise them just as the operator's click does.
    void onLongCableChosen(int index);
    void onEdidModeChosen(int index);
    void onCopyTargetChosen();
    void onCopySourceChosen();
    void onUnlockClicked();       // "Unlock"
    void onFactoryResetClicked(); // "Factory Reset"

    QString statusText() const;
    PasswordWindow& password();

    bool longCableUnlocked = false; // while the access code was given

    std::array<QRadioButton*, 2> longCableChoices{}; // "OFF", "ON"
    std::array<QRadioButton*, 6> edidModeChoices{};
    QGroupBox* longCableGroup = nullptr;
    QGroupBox* copyGroup = nullptr;
    // Kept below the visible client area: the operator does not see it, but
    // it still shows the device's EDID mode from its replies.
    QGroupBox* edidModeGroup = nullptr;
    QPushButton* unlockButton = nullptr; // "Unlock"
    QComboBox* copyTargetList = nullptr;
    QComboBox* copySourceList = nullptr;
    QPushButton* factoryResetButton = nullptr;
    QStatusBar* statusBar = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildUi();
    void placeEdidFrame();

    settings::SettingsSession& session_;
    QLabel* statusPanel_ = nullptr;
    PasswordWindow* password_ = nullptr;
};
