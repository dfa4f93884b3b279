#pragma once

#include "link/connection.h"
#include "main_window/lamp.h"
#include "main_window/receive_log.h"
#include "platform/platform.h"

#include <QMainWindow>
#include <array>
#include <cstdint>

class QComboBox;
class QPushButton;
class QToolButton;
class QPlainTextEdit;
class QAbstractButton;
class QAction;
class FeatureWindow;
class Setting;
class EDIDSet;
class IrSet;
class IRMatrix;
class SetIP;

inline const QString kDeviceTitle = QStringLiteral("TARVIK-5120-300");
// Title of the message boxes that name no title of their own.
inline const QString kAppTitle = QStringLiteral("TARVIK-5120-300");

// The main window: routing buttons and lamps, the terminal, presets, the
// serial connection and the doors to the feature windows. It lives for the
// whole run and owns the connection, the receive path and the device modes.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(platform::Platform& platform, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: fills the lists, reads COMPORT, opens the port and greets
    // the device with "bc ". Runs before the window is first shown.
    void Form_Load();

    platform::Platform& platform() { return platform_; }
    platform::Dialogs& dialogs() { return platform_.dialogs(); }
    seriallink::Connection& link() { return link_; }
    // A message box over whatever window is on top.
    void message(const QString& text, const QString& title);

    // The reply interpreter; every reply line comes through here.
    void FindCmdProcess(QString& line);
    // Relights the lamp row of output ledport (1..8) for input ss (1..8).
    void outled(int ledport, int ss);
    void outled(const QString& ledport, const QString& ss);
    // Receive log.
    void appendLog(const QString& text);
    void scrollLogToEnd();
    const QString& logText() const;

    // Device modes and the feature windows.
    void Command5_Click(); // "Setting"
    void Command9_Click(); // "EDID Set"
    void Command4_Click(); // "Set IP "
    void IrSetOpen();
    void IrMatrixOpen();
    Setting& setting();
    EDIDSet& edidSet();
    IrSet& irSet();
    IRMatrix& irMatrix();
    SetIP& setIp();
    bool hasIrMatrix() const { return irMatrix_ != nullptr; }

    // Connection.
    void Command7_Click(); // Connect / Disconnect
    void Combo1_Click();   // port chosen
    void Command1_Click(int index);
    void Command2_Click(); // Clear
    void Command3_Click(); // Send
    void Command6_Click(); // Status
    void SaveBTN_Click(int index);
    void StateBTN_Click(int index);
    void PortCmb_Click();
    void toggleSendMode();
    bool hexMode() const;

    // Public variables read and written by the reply interpreter.
    std::uint8_t SetupMode = 0;
    std::uint8_t EdidMode = 0;
    std::uint8_t IrMode = 0;
    int codeInt = 0;
    QString IRout;
    QString IRin;
    std::uint8_t PortNo = 1;

    // Receive timer, 10 ms: runs while a partial line waits for its
    // quiet-tick flush, and stops when nothing is pending.
    platform::Timer* Timer1 = nullptr;
    platform::Timer* Timer2 = nullptr; // mode watchdog, 2000 ms, one shot

    // Controls.
    QComboBox* Combo1 = nullptr;
    QPushButton* Command7 = nullptr;
    main_window::Lamp* Shape15 = nullptr; // green, "Connected"
    main_window::Lamp* Shape16 = nullptr; // red, "Disconnect"
    // lamps[k][i]: output k + 1 (Shape17 + k), input i + 1.
    std::array<std::array<main_window::Lamp*, 8>, 8> lamps{};
    // Routing buttons by index 11..90; other slots are empty.
    std::array<QAbstractButton*, 91> Command1{};
    main_window::ReceiveLog* Text1 = nullptr;
    QPlainTextEdit* Text2 = nullptr;
    QToolButton* Label9 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command9 = nullptr;
    std::array<QPushButton*, 3> SaveBTN{};
    std::array<QPushButton*, 3> StateBTN{};
    QComboBox* PortCmb = nullptr;
    QAction* irCodeAction = nullptr;
    QAction* irRoutingAction = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void buildMenu();
    void showConnected(bool open);
    void onLinkLost();
    void MSComm1_OnComm();
    void Timer1_Timer();
    void Timer2_Timer();
    // Mode window operation: guard, mode variable, entry word, watchdog, the
    // window; the exit word and the mode variable back to 0 once it closes.
    void openModeWindow(std::uint8_t& mode, const QString& entry, const QString& exit,
                        FeatureWindow& window);
    void showFeature(FeatureWindow& window);
    QString comportPath() const;
    void updatePortTooltips();

    platform::Platform& platform_;
    seriallink::Connection link_;
    Setting* setting_ = nullptr;
    EDIDSet* edidSet_ = nullptr;
    IrSet* irSet_ = nullptr;
    IRMatrix* irMatrix_ = nullptr;
    SetIP* setIp_ = nullptr;
    bool loading_ = false;
};
