#include "frontends/windows/main_window/main_window.h"

#include "frontends/windows/main_window/backup_flow.h"

#include "core/protocol/model.h"

#include "core/device/mode_session.h"
#include "core/device/requests.h"
#include "core/device/routing.h"
#include "core/device/terminal.h"
#include "core/files/write_file.h"
#include "core/platform/port_names.h"
#include "core/protocol/commands.h"
#include "core/seriallink/comport.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/ir/ir_codes_window.h"
#include "frontends/windows/ir/ir_routing_window.h"
#include "frontends/windows/network/network_window.h"
#include "frontends/windows/platform/dialogs.h"
#include "frontends/windows/settings/settings_window.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

using widgets::Lamp;

using device::WriteRequest;

namespace {

// The layout is given in twips; 15 twips make one pixel at 96 dpi.
constexpr int tw(int twips) {
    return (twips + 7) / 15;
}
QRect twRect(int l, int t, int w, int h) {
    return QRect(tw(l), tw(t), tw(w), tw(h));
}

const QColor kLampGreen(0, 255, 0);
const QColor kLampRed(255, 0, 0);

} // namespace

MainWindow::MainWindow(platform::Platform& platform, platform::Dialogs& dialogs,
                       const protocol::Model& model, QWidget* parent)
    : QMainWindow(parent), DeviceContext(this, dialogs), platform_(platform),
      switcher_(platform, model) {
    setWindowTitle(QStringLiteral("TARVIK-5120-300 V1.0"));
    buildUi();
    buildMenu();

    seriallink::Connection& line = link();
    connect(&line, &seriallink::Connection::failure, this, &MainWindow::showFailure);
    connect(&line, &seriallink::Connection::lost, this, &MainWindow::onLinkLost);
    connect(&line, &seriallink::Connection::opened, this, &MainWindow::onOpened);
    connect(&line, &seriallink::Connection::openFailed, this, &MainWindow::onOpenFailed);
    connect(&line, &seriallink::Connection::rawReceived, this, &MainWindow::appendLog);
    device::Router& router = switcher_.router();
    connect(&router, &device::Router::routingReported, this, [this](int output, int input) {
        appendLog(QStringLiteral("\r\nHDMI Out%1 -> HDMI In%2").arg(output).arg(input));
        scrollLogToEnd();
    });
    connect(&router, &device::Router::unclaimed, this, [this](const QString& line) {
        appendLog(line);
        scrollLogToEnd();
    });
    connect(&switcher_.routing(), &device::RoutingState::outputChanged, this,
            &MainWindow::showOutput);
    connect(&modes(), &device::DeviceModes::notConfirmed, this,
            [this] { message(QStringLiteral("Device is not connect!"), kDeviceTitle); });
    connect(&modes(), &device::DeviceModes::leftByDevice, this, &MainWindow::onLeftByDevice);
}

MainWindow::~MainWindow() = default;

// ---------------------------------------------------------------------------
// Layout

void MainWindow::buildUi() {
    auto* central = new QWidget(this);
    central->setFixedSize(tw(14175), tw(8280));
    setCentralWidget(central);

    QFont arial(QStringLiteral("Arial"));
    arial.setStyleHint(QFont::SansSerif);

    // Message frame: window buttons and the terminal.
    auto* message = new QGroupBox(QStringLiteral("Message"), central);
    message->setGeometry(twRect(120, 120, 5415, 6975));
    auto button = [](const QString& caption, QWidget* parent, QRect r) {
        auto* b = new QPushButton(caption, parent);
        b->setGeometry(r);
        return b;
    };
    settingsButton = button(QStringLiteral("Setting"), message, twRect(120, 360, 950, 375));
    networkButton = button(QStringLiteral("Set IP "), message, twRect(1200, 360, 950, 375));
    edidButton = button(QStringLiteral("EDID Set"), message, twRect(2280, 360, 990, 375));
    auto* receiveLabel = new QLabel(QStringLiteral("Receive"), message);
    receiveLabel->move(tw(120), tw(840));

    const QString terminalStyle =
        QStringLiteral("QPlainTextEdit { background-color: rgb(0,0,128); color: rgb(255,255,0); }");
    receiveLog = new main_window::ReceiveLog(message);
    receiveLog->setGeometry(twRect(120, 1080, 5055, 3855));
    receiveLog->setStyleSheet(terminalStyle);
    receiveLog->setFont(arial);
    receiveLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    receiveLog->setTabChangesFocus(true);
    receiveLog->setAccessibleName(QStringLiteral("Receive"));
    receiveLabel->setBuddy(receiveLog);
    connect(receiveLog, &main_window::ReceiveLog::saveRequested, this, &MainWindow::saveLog);

    clearButton = button(QStringLiteral("Clear"), message, twRect(3000, 5040, 975, 375));
    statusButton = button(QStringLiteral("Status"), message, twRect(4080, 5040, 975, 375));

    sendModeButton = new QToolButton(message);
    showSendMode(device::kAscMode);
    sendModeButton->setAutoRaise(true);
    sendModeButton->setFocusPolicy(Qt::StrongFocus);
    sendModeButton->move(tw(120), tw(5640) - 4);
    sendModeButton->setToolTip(QStringLiteral("Click to switch between sending text and sending "
                                              "hexadecimal bytes"));

    sendBox = new QPlainTextEdit(message);
    sendBox->setGeometry(twRect(120, 6000, 3855, 735));
    sendBox->setStyleSheet(terminalStyle);
    sendBox->setFont(arial);
    sendBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sendBox->setTabChangesFocus(true);
    sendBox->setAccessibleName(QStringLiteral("Send"));
    sendBox->installEventFilter(this);
    sendButton = button(QStringLiteral("Send"), message, twRect(4080, 6360, 975, 375));

    // Connection lamps.
    auto* state = new QGroupBox(QStringLiteral("Connect State"), central);
    state->setGeometry(twRect(120, 7200, 1695, 975));
    connectedLamp = new Lamp(kLampGreen, QStringLiteral("Connected"), state);
    connectedLamp->setGeometry(twRect(120, 240, 255, 255));
    disconnectedLamp = new Lamp(kLampRed, QStringLiteral("Disconnect"), state);
    disconnectedLamp->setGeometry(twRect(120, 600, 255, 255));
    (new QLabel(QStringLiteral("Connected"), state))->move(tw(480), tw(240));
    (new QLabel(QStringLiteral("Disconnect"), state))->move(tw(480), tw(600));

    auto* comSelect = new QGroupBox(QStringLiteral("Com Select"), central);
    comSelect->setGeometry(twRect(1920, 7200, 1575, 975));
    portList = new QComboBox(comSelect);
    portList->setGeometry(tw(240), tw(360), tw(1095), portList->sizeHint().height());
    portList->setAccessibleName(QStringLiteral("Serial port"));

    connectButton = button(QStringLiteral("Connect"), central, twRect(3720, 7320, 1695, 855));

    // Presets, as many as the model keeps, each a recall and a save button;
    // then the all-outputs selector.
    const protocol::Model& model = switcher_.model();
    for (int i = 0; i < model.presets; ++i) {
        const int left = 6360 + 1752 * i;
        auto* recall =
            button(QStringLiteral("State%1").arg(i + 1), central, twRect(left, 7020, 795, 375));
        auto* save = button(QStringLiteral("Save%1").arg(i + 1), central,
                            twRect(left + 876, 7020, 795, 375));
        connect(recall, &QPushButton::clicked, this, [this, i] { onPresetRecallClicked(i); });
        connect(save, &QPushButton::clicked, this, [this, i] { onPresetSaveClicked(i); });
        presetRecallButtons.append(recall);
        presetSaveButtons.append(save);
    }
    auto* allLabel = new QLabel(QStringLiteral("All:"), central);
    allLabel->move(tw(11880), tw(7080));
    allOutputsList = new QComboBox(central);
    allOutputsList->setGeometry(tw(12180), tw(7020), tw(1035), allOutputsList->sizeHint().height());
    allOutputsList->setAccessibleName(QStringLiteral("All outputs to"));
    allLabel->setBuddy(allOutputsList);

    // Routing matrix, as the model has it: odd outputs on the left, even on
    // the right. The panel is drawn wide enough to hold eight buttons and
    // the digit.
    QFont digitFont(QStringLiteral("Verdana"), 22, QFont::Bold);
    digitFont.setStyleHint(QFont::SansSerif);
    for (int k = 1; k <= model.outputs; ++k) {
        const int X = 4080 * ((k - 1) % 2);
        const int Y = 1560 * ((k - 1) / 2);
        auto* panel = new QWidget(central);
        panel->setGeometry(twRect(5760 + X, 600 + Y, 3975, 1455));
        panel->setObjectName(QStringLiteral("outputPanel%1").arg(k));
        panel->setAttribute(Qt::WA_StyledBackground);
        panel->setStyleSheet(QStringLiteral("#outputPanel%1 { background-color: rgb(0,0,128); "
                                            "border-radius: 10px; }")
                                 .arg(k));
        auto* digit = new QLabel(QString::number(k), panel);
        digit->setFont(digitFont);
        digit->setStyleSheet(QStringLiteral("color: rgb(255,255,0);"));
        digit->move(tw(9120 - 5760), 0);
        digit->setAccessibleName(QStringLiteral("Output %1").arg(k));

        const int arrowHeight = (k == 2 || k == 4 || k == 6) ? 375 : 360;
        lamps.append(QList<Lamp*>());
        routeButtons.append(QList<QAbstractButton*>());
        // The inputs, then the previous and next arrows at the places of
        // positions 9 and 10.
        for (int j = 1; j <= model.inputs + 2; ++j) {
            const int arrow = j - model.inputs; // 1: previous, 2: next
            QAbstractButton* b = nullptr;
            if (arrow <= 0) {
                auto* pb = new QPushButton(QString::number(j), panel);
                pb->setGeometry(twRect(5880 + 480 * (j - 1) - 5760, 1560 - 600, 375, 375));
                pb->setStyleSheet(QStringLiteral("QPushButton { background-color: silver; "
                                                 "border: 1px solid gray; } "
                                                 "QPushButton:pressed { background-color: "
                                                 "gray; } QPushButton:focus { border: 2px "
                                                 "solid yellow; }"));
                pb->setFont(arial);
                pb->setAccessibleName(QStringLiteral("Route output %1 to input %2").arg(k).arg(j));
                b = pb;
                auto* lamp =
                    new Lamp(kLampGreen, QStringLiteral("Output %1 input %2").arg(k).arg(j), panel);
                lamp->setOutline(Qt::white);
                lamp->setGeometry(twRect(5880 + 480 * (j - 1) + 60 - 5760, 1200 - 600, 255, 255));
                lamps.last().append(lamp);
                connect(b, &QAbstractButton::clicked, this, [this, k, j] { routeClick(k, j); });
            } else {
                const bool next = arrow == 2;
                auto* tb = new QToolButton(panel);
                tb->setArrowType(next ? Qt::RightArrow : Qt::LeftArrow);
                tb->setGeometry(twRect((next ? 7920 : 6960) - 5760, 120, 615, arrowHeight));
                tb->setFocusPolicy(Qt::StrongFocus);
                tb->setAccessibleName(next ? QStringLiteral("Output %1 next input").arg(k)
                                           : QStringLiteral("Output %1 previous input").arg(k));
                b = tb;
                connect(b, &QAbstractButton::clicked, this,
                        [this, k, next] { stepClick(k, next); });
            }
            routeButtons.last().append(b);
        }
    }

    connect(settingsButton, &QPushButton::clicked, this, &MainWindow::onSettingsClicked);
    connect(networkButton, &QPushButton::clicked, this, &MainWindow::onNetworkClicked);
    connect(edidButton, &QPushButton::clicked, this, &MainWindow::onEdidClicked);
    connect(clearButton, &QPushButton::clicked, this, &MainWindow::onClearClicked);
    connect(sendButton, &QPushButton::clicked, this, &MainWindow::onSendClicked);
    connect(statusButton, &QPushButton::clicked, this, &MainWindow::onStatusClicked);
    connect(connectButton, &QPushButton::clicked, this, &MainWindow::onConnectClicked);
    connect(sendModeButton, &QToolButton::clicked, this, &MainWindow::toggleSendMode);
    connect(portList, &QComboBox::activated, this, [this] { onPortChosen(); });
    connect(allOutputsList, &QComboBox::activated, this, [this] { onAllOutputsChosen(); });
}

void MainWindow::buildMenu() {
    QMenu* device = menuBar()->addMenu(QStringLiteral("&Device"));
    device->addAction(QStringLiteral("&Setting..."), this, &MainWindow::onSettingsClicked);
    device->addAction(QStringLiteral("&EDID Set..."), this, &MainWindow::onEdidClicked);
    device->addAction(QStringLiteral("Set &IP..."), this, &MainWindow::onNetworkClicked);
    device->addSeparator();
    irCodeAction =
        device->addAction(QStringLiteral("IR &Code Set..."), this, &MainWindow::onIrCodesClicked);
    irCodeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    irRoutingAction = device->addAction(QStringLiteral("IR Port &Routing..."), this,
                                        &MainWindow::onIrRoutingClicked);
    irRoutingAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    device->addSeparator();
    saveLogAction =
        device->addAction(QStringLiteral("Save &log as..."), this, &MainWindow::saveLog);
    saveLogAction->setShortcut(QKeySequence::Save);
    device->addSeparator();
    auto* flow = new main_window::BackupFlow(this, switcher_, dialogs());
    flow->setParent(this);
    device->addAction(QStringLiteral("&Back up switcher\u2026"), flow,
                      &main_window::BackupFlow::backUp);
    device->addAction(QStringLiteral("Res&tore switcher\u2026"), flow,
                      &main_window::BackupFlow::restore);
    device->addSeparator();
    device->addAction(QStringLiteral("E&xit"), QKeySequence::Quit, this, &QWidget::close);
}

// ---------------------------------------------------------------------------
// Start-up and the connection

QString MainWindow::comportPath() const {
    return QDir::current().filePath(QStringLiteral("COMPORT"));
}

void MainWindow::startUp() {
    portList->clear();
    for (int i = 1; i <= 10; ++i)
        portList->addItem(QStringLiteral("COM%1").arg(i));
    updatePortTooltips();
    allOutputsList->clear();
    for (int i = 1; i <= switcher_.model().inputs; ++i)
        allOutputsList->addItem(QStringLiteral("Input%1").arg(i));
    allOutputsList->setCurrentIndex(-1);

    const std::optional<int> remembered = seriallink::readComport(comportPath());
    const int index = remembered.value_or(0);
    portList->setCurrentIndex(index);
    onPortChosen();

    connectedLamp->setLit(false);
    disconnectedLamp->setLit(false);
    link().rx().clear();

    openPort(true);
}

void MainWindow::openPort(bool greet) {
    switch (link().open(portNumber)) {
    case seriallink::OpenResult::Opened:
        showConnected(true);
        if (greet)
            write(WriteRequest::line(protocol::statusCommand(), WriteRequest::Check::None));
        break;
    case seriallink::OpenResult::Failed:
        link().reportOpenFailed();
        // A failed Connect leaves the window as it was; start-up shows the
        // closed state.
        if (greet)
            showConnected(false);
        break;
    case seriallink::OpenResult::Pending:
        // A serial device server answers in its own time.
        greetWhenOpen_ = greet;
        connectButton->setText(QStringLiteral("Connecting..."));
        connectedLamp->setLit(false);
        disconnectedLamp->setLit(false);
        break;
    }
}

void MainWindow::onOpened() {
    showConnected(true);
    if (greetWhenOpen_)
        write(WriteRequest::line(protocol::statusCommand(), WriteRequest::Check::None));
}

void MainWindow::onOpenFailed() {
    showConnected(false);
    link().reportOpenFailed();
}

void MainWindow::updatePortTooltips() {
    for (int i = 0; i < portList->count(); ++i)
        portList->setItemData(i, platform::portTooltip(platform_.deviceForPort(i + 1)),
                              Qt::ToolTipRole);
}

void MainWindow::showConnected(bool open) {
    connectButton->setText(open ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
    connectedLamp->setLit(open);
    disconnectedLamp->setLit(!open);
}

void MainWindow::onConnectClicked() {
    // While a server is still being reached the button gives it up.
    if (link().isOpen() || link().isOpening()) {
        link().close();
        showConnected(false);
        return;
    }
    updatePortTooltips();
    openPort(false);
}

void MainWindow::onPortChosen() {
    if (link().isOpen() || link().isOpening()) {
        link().close();
        showConnected(false);
    }
    const int index = qMax(0, portList->currentIndex());
    portNumber = static_cast<std::uint8_t>(index + 1);
    seriallink::writeComport(comportPath(), index);
}

void MainWindow::onLinkLost() {
    // The device went away under an open port; the port is already closed.
    showConnected(false);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    link().close();
    QMainWindow::closeEvent(event);
}

void MainWindow::showFailure(seriallink::Failure what) {
    switch (what) {
    case seriallink::Failure::PortNotOpen:
        message(seriallink::kPortNotOpenText, seriallink::kPortNotOpenTitle);
        break;
    case seriallink::Failure::WriteFailed:
        message(seriallink::kWriteFailedText, seriallink::kWriteFailedTitle);
        break;
    case seriallink::Failure::ServerFailed:
        message(link().errorText(), seriallink::kWriteFailedTitle);
        break;
    }
}

void MainWindow::message(const QString& text, const QString& title) {
    QWidget* parent = QApplication::activeModalWidget();
    dialogs().message(parent ? parent : this, text, title);
}

// ---------------------------------------------------------------------------
// Routing lamps and the receive log

void MainWindow::showOutput(int output) {
    const int lit = switcher_.routing().litLamp(output);
    // Dark first, then the one lit: the row never shows two.
    for (Lamp* lamp : lamps[output - 1])
        lamp->setLit(false);
    if (lit >= 0)
        lamps[output - 1][lit]->setLit(true);
}

void MainWindow::appendLog(const QString& text) {
    receiveLog->appendText(text);
}
void MainWindow::scrollLogToEnd() {
    receiveLog->scrollToEnd();
}
const QString& MainWindow::logText() const {
    return receiveLog->text();
}

void MainWindow::saveLog() {
    // A log is easily saved over another one by mistake: the dialog asks.
    const std::optional<QString> path = dialogs().saveFileName(this, kLogFileFilter, true);
    if (!path || path->isEmpty())
        return;
    // The log is what the device sent, and that is ASCII (the receive queue
    // keeps no byte above 127), so its UTF-8 form is those very bytes.
    QString reason;
    if (!files::saveFile(*path, receiveLog->text().toUtf8(), &reason,
                         files::OutputFile::NonRegular::Replace))
        message(QStringLiteral("Cannot save %1: %2").arg(*path, reason), kAppTitle);
}

// ---------------------------------------------------------------------------
// Routing, terminal, presets

void MainWindow::routeClick(int output, int input) {
    const protocol::Model& model = switcher_.model();
    if (model.isOutput(output) && model.isInput(input))
        sendRoute(model.route(output, input));
}

void MainWindow::stepClick(int output, bool next) {
    if (switcher_.model().isOutput(output))
        sendRoute(switcher_.model().stepInput(output, next));
}

void MainWindow::sendRoute(const QString& cmd) {
    write(new WriteRequest(seriallink::wireBytes(cmd), WriteRequest::Check::Reported));
    sendBox->setPlainText(QString(cmd).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    sendBox->selectAll();
    showSendMode(device::kAscMode);
}

void MainWindow::onClearClicked() {
    receiveLog->clearLog();
}

bool MainWindow::hexMode() const {
    return sendModeButton->text() == device::kHexMode;
}

void MainWindow::toggleSendMode() {
    showSendMode(hexMode() ? device::kAscMode : device::kHexMode);
}

void MainWindow::showSendMode(const QString& caption) {
    sendModeButton->setText(caption);
    // The caption is the mode, so the name carries it; a fixed name would
    // hide it from a screen reader.
    sendModeButton->setAccessibleName(QStringLiteral("Send mode: ") + caption);
}

void MainWindow::onSendClicked() {
    const QString text = sendBox->toPlainText();
    if (hexMode()) {
        const QByteArray bytes = device::hexTextToBytes(text);
        if (bytes.isEmpty()) {
            message(QStringLiteral("There is no command\uFF01 "), QStringLiteral("WARNING"));
            return;
        }
        write(new WriteRequest(bytes, WriteRequest::Check::Reported));
        return;
    }
    if (text.isEmpty())
        return;
    write(new WriteRequest(device::sendBoxBytes(text), WriteRequest::Check::Reported));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sendBox && event->type() == QEvent::KeyPress && hexMode()) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (key->key() == Qt::Key_Backspace)
            return false;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            return true;
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false; // shortcuts (copy, select all) still work
        if (!text.isEmpty() && !device::hexKeyAllowed(text.at(0)))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onStatusClicked() {
    write(WriteRequest::line(protocol::statusCommand(), WriteRequest::Check::Reported));
}

void MainWindow::onPresetSaveClicked(int index) {
    write(WriteRequest::line(device::presetSaveCommand(index), WriteRequest::Check::Guarded));
}

void MainWindow::onPresetRecallClicked(int index) {
    write(WriteRequest::line(device::presetRecallCommand(index), WriteRequest::Check::Guarded));
}

void MainWindow::onAllOutputsChosen() {
    const int i = allOutputsList->currentIndex();
    if (i < 0)
        return;
    write(WriteRequest::line(device::allOutputsCommand(i), WriteRequest::Check::Guarded));
}

// ---------------------------------------------------------------------------
// Device modes and feature windows

void MainWindow::showFeature(FeatureWindow& window) {
    window.prepare();
    window.open();
}

void MainWindow::openModeWindow(Mode m, FeatureWindow& window) {
    auto* session = new device::ModeSession(switcher_, m);
    session->setParent(this);
    connect(session, &device::ModeSession::closed, session, &QObject::deleteLater);
    // The window opens once the entry word is out: at once, unless an
    // exchange is still on the line.
    connect(
        session, &device::ModeSession::started, this,
        [this, session, &window] {
            connect(
                &window, &QDialog::finished, session, [session] { session->leave(); },
                Qt::SingleShotConnection);
            showFeature(window);
        },
        Qt::SingleShotConnection);
    if (!session->enter())
        delete session;
}

void MainWindow::onLeftByDevice(Mode m) {
    switch (m) {
    case Mode::Setup:
        settingsWindow().quit();
        break;
    case Mode::Edid:
        edidWindow().quit();
        break;
    case Mode::Ir:
        irCodesWindow().quit();
        break;
    }
}

void MainWindow::onSettingsClicked() {
    openModeWindow(Mode::Setup, settingsWindow());
}
void MainWindow::onEdidClicked() {
    openModeWindow(Mode::Edid, edidWindow());
}
void MainWindow::onIrCodesClicked() {
    openModeWindow(Mode::Ir, irCodesWindow());
}

void MainWindow::onIrRoutingClicked() {
    if (!link().guardOpen())
        return;
    write(WriteRequest::line(protocol::irStatusCommand(), WriteRequest::Check::None));
    showFeature(irRoutingWindow());
}

void MainWindow::onNetworkClicked() {
    showFeature(networkWindow());
}

SettingsWindow& MainWindow::settingsWindow() {
    if (!settingsWindow_)
        settingsWindow_ = new SettingsWindow(*this, switcher_.settings());
    return *settingsWindow_;
}

EdidWindow& MainWindow::edidWindow() {
    if (!edidWindow_)
        edidWindow_ = new EdidWindow(*this, switcher_.edid(), switcher_.model());
    return *edidWindow_;
}

IrCodesWindow& MainWindow::irCodesWindow() {
    if (!irCodesWindow_)
        irCodesWindow_ = new IrCodesWindow(*this, switcher_.irCodes(), switcher_.model());
    return *irCodesWindow_;
}

IrRoutingWindow& MainWindow::irRoutingWindow() {
    if (!irRoutingWindow_)
        irRoutingWindow_ = new IrRoutingWindow(*this, switcher_.irRouting());
    return *irRoutingWindow_;
}

NetworkWindow& MainWindow::networkWindow() {
    if (!networkWindow_)
        networkWindow_ = new NetworkWindow(*this);
    return *networkWindow_;
}
