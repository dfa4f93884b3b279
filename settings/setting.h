#pragma once

#include "main_window/feature_window.h"

#include <QString>
#include <array>
#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QStatusBar;
class PASSWORD;

// The device settings window: the HDMI long-cable mode (behind the password
// lock), copying an output's EDID to one input or to all of them, and the
// factory reset. Every change goes out as one command that stays pending
// until the device's reply confirms it; the outcome shows in the status bar.
//
// The reply interpreter writes the window's public variables and calls
// CheckSendSuccess, CheckALLCmd and quit while the window is open.
class Setting : public FeatureWindow {
    Q_OBJECT
public:
    static inline const QString kAccessCode = QStringLiteral("402615");

    explicit Setting(Form1& form1);
    void Form_Load() override;

    // The confirmed command path.
    void SendCmd();
    void CheckSendSuccess();
    void CheckALLCmd(double mask);
    static int Getbit(long value, int n);
    void RepowerPrompt();
    // The device left setting mode by itself.
    void quit();

    // Handlers of the controls; public so a program change of a selection
    // can raise them just as the operator's click does.
    void LCHDMIOpt_Click(int index);
    void EDID_opt_Click(int index);
    void CopyToCmb_Click();
    void CopyFromCmb_Click();
    void Command3_Click(); // "Unlock"
    void FRstBtn_Click();  // "Factory Reset"

    QString statusText() const;
    PASSWORD& password();

    // -1: a change of an option or list comes from the operator and may send
    // a command; 0: the program is changing controls and nothing is sent.
    std::int16_t Clicked = -1;
    std::uint8_t LCmode = 0;
    QString cmdstr;
    std::uint8_t SendCMDFlg = 0;
    std::uint8_t ALLFlg = 0;
    int pswd = 0; // 1 while the long-cable options are unlocked

    std::array<QRadioButton*, 2> LCHDMIOpt{}; // "OFF", "ON"
    std::array<QRadioButton*, 6> EDID_opt{};
    QGroupBox* LongCableFrame = nullptr;
    QGroupBox* CopyFrame = nullptr;
    // Kept below the visible client area: the operator does not see it, but
    // it still shows the device's EDID mode from its replies.
    QGroupBox* EdidFrame = nullptr;
    QPushButton* Command3 = nullptr; // "Unlock"
    QComboBox* CopyToCmb = nullptr;
    QComboBox* CopyFromCmb = nullptr;
    QPushButton* FRstBtn = nullptr;
    QStatusBar* SetStaBar = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildUi();
    void setStatus(const QString& text);
    void placeEdidFrame();
    void forgetPending();

    QLabel* statusPanel_ = nullptr;
    PASSWORD* password_ = nullptr;
};
