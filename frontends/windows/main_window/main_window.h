#pragma once

#include "core/device/switcher.h"

#include "core/protocol/model.h"
#include "frontends/windows/main_window/receive_log.h"
#include "frontends/windows/titles.h"
#include "frontends/windows/widgets/device_context.h"
#include "frontends/windows/widgets/lamp.h"

#include <QMainWindow>
#include <cstdint>

class QComboBox;
class QPushButton;
class QToolButton;
class QPlainTextEdit;
class QAbstractButton;
class QAction;
class FeatureWindow;
class SettingsWindow;
class EdidWindow;
class IrCodesWindow;
class IrRoutingWindow;
class NetworkWindow;
namespace platform {
class Dialogs;
class Platform;
} // namespace platform

// The save dialog's filter for the receive log.
inline const QString kLogFileFilter = QStringLiteral("Log(*.txt)|*.txt");

// The main window: routing buttons and lamps, the terminal, presets, the
// connection and the doors to the feature windows. It lives for the whole
// run, owns the switcher's core and renders it, and is the one place that
// shows the connection's failures.
class MainWindow : public QMainWindow, public DeviceContext {
    Q_OBJECT
public:
    MainWindow(platform::Platform& platform, platform::Dialogs& dialogs,
               const protocol::Model& model = protocol::Model::standard(),
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: fills the lists, reads COMPORT, opens the port and greets
    // the device with the status request. Runs before the window is first shown.
    void startUp();

    // DeviceContext.
    seriallink::Connection& link() override { return switcher_.link(); }
    device::RequestQueue& requests() override { return switcher_.requests(); }
    void message(const QString& text, const QString& title) override;

    device::Switcher& device() { return switcher_; }
    device::DeviceModes& modes() { return switcher_.modes(); }
    platform::Platform& platform() { return platform_; }

    // Receive log.
    void appendLog(const QString& text);
    void scrollLogToEnd();
    const QString& logText() const;
    // "Save log as...": the log's exact text, terminators included.
    void saveLog();

    // Device modes and the feature windows.
    void onSettingsClicked(); // "Setting"
    void onEdidClicked();     // "EDID Set"
    void onNetworkClicked();  // "Set IP "
    void onIrCodesClicked();
    void onIrRoutingClicked();
    SettingsWindow& settingsWindow();
    EdidWindow& edidWindow();
    IrCodesWindow& irCodesWindow();
    IrRoutingWindow& irRoutingWindow();
    NetworkWindow& networkWindow();

    // Connection.
    void onConnectClicked(); // Connect / Disconnect
    void onPortChosen();     // port chosen
    // A routing button: output to input (from 1), or to the previous or
    // next input.
    void routeClick(int output, int input);
    void stepClick(int output, bool next);
    void onClearClicked();  // Clear
    void onSendClicked();   // Send
    void onStatusClicked(); // Status
    void onPresetSaveClicked(int index);
    void onPresetRecallClicked(int index);
    void onAllOutputsChosen();
    void toggleSendMode();
    bool hexMode() const;

    std::uint8_t portNumber = 1;

    // Controls.
    QComboBox* portList = nullptr;
    QPushButton* connectButton = nullptr;
    widgets::Lamp* connectedLamp = nullptr;    // green, "Connected"
    widgets::Lamp* disconnectedLamp = nullptr; // red, "Disconnect"
    // lamps[k][i]: output k + 1, input i + 1, as many as the model has.
    QList<QList<widgets::Lamp*>> lamps;
    // routeButtons[k]: output k + 1's input buttons, then its previous and
    // next arrows.
    QList<QList<QAbstractButton*>> routeButtons;
    main_window::ReceiveLog* receiveLog = nullptr;
    QPlainTextEdit* sendBox = nullptr;
    QToolButton* sendModeButton = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* sendButton = nullptr;
    QPushButton* networkButton = nullptr;
    QPushButton* settingsButton = nullptr;
    QPushButton* statusButton = nullptr;
    QPushButton* edidButton = nullptr;
    // presetSaveButtons[i], presetRecallButtons[i]: preset i + 1, as many
    // as the model keeps.
    QList<QPushButton*> presetSaveButtons;
    QList<QPushButton*> presetRecallButtons;
    QComboBox* allOutputsList = nullptr;
    QAction* irCodeAction = nullptr;
    QAction* irRoutingAction = nullptr;
    QAction* saveLogAction = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    using Mode = device::DeviceModes::Mode;

    void buildUi();
    void buildMenu();
    void showConnected(bool open);
    // Writes a route command raw, as the routing buttons always have, and
    // shows it in the send box.
    void sendRoute(const QString& cmd);
    void showSendMode(const QString& caption);
    // Opens portNumber; greet: at start-up, where the device is sent the status request.
    void openPort(bool greet);
    void onOpened();
    void onOpenFailed();
    void showOutput(int output);
    void showFailure(seriallink::Failure what);
    void onLinkLost();
    void onLeftByDevice(Mode m);
    // Mode window operation: the device enters the mode, the window opens;
    // once it closes, the device leaves the mode.
    void openModeWindow(Mode m, FeatureWindow& window);
    void showFeature(FeatureWindow& window);
    QString comportPath() const;
    void updatePortTooltips();

    platform::Platform& platform_;
    device::Switcher switcher_;
    SettingsWindow* settingsWindow_ = nullptr;
    EdidWindow* edidWindow_ = nullptr;
    IrCodesWindow* irCodesWindow_ = nullptr;
    IrRoutingWindow* irRoutingWindow_ = nullptr;
    NetworkWindow* networkWindow_ = nullptr;
    bool greetWhenOpen_ = false;
};
