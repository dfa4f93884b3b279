#include "frontends/windows/settings/settings_window.h"

#include "core/settings/settings_session.h"
#include "frontends/windows/settings/password_window.h"
#include "frontends/windows/titles.h"
#include "frontends/windows/widgets/device_context.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

// The list index the way the device commands count it: -1 unless the text
// shown is the chosen list entry. The lists are editable, and text typed over
// an entry no longer names it.
int listIndex(const QComboBox* box) {
    const int i = box->currentIndex();
    if (i < 0 || box->currentText() != box->itemText(i))
        return -1;
    return i;
}

// Unchecks every button of an exclusive group, which exclusivity alone would
// refuse.
template <std::size_t N> void clearChoice(const std::array<QRadioButton*, N>& buttons) {
    for (QRadioButton* b : buttons) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }
}

QComboBox* makeList(const QString& accessibleName, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setAccessibleName(accessibleName);
    box->setMinimumContentsLength(7);
    return box;
}

} // namespace

SettingsWindow::SettingsWindow(DeviceContext& context, settings::SettingsSession& session)
    : FeatureWindow(context), session_(session) {
    buildUi();
    connect(&session_, &settings::SettingsSession::statusChanged, statusPanel_, &QLabel::setText);
    // Selecting an option raises its click handler, as the operator's click
    // does; the session holds the guard meanwhile, so nothing goes back.
    connect(&session_, &settings::SettingsSession::longCableReported, this,
            [this](int i) { longCableChoices[i]->setChecked(true); });
    connect(&session_, &settings::SettingsSession::edidModeReported, this,
            [this](int i) { edidModeChoices[i]->setChecked(true); });
    // Each opening starts with nothing pending: a reply that comes in after
    // a new opening must not confirm what a closed window once sent.
    connect(this, &QDialog::finished, this, [this] {
        session_.forgetPending();
        if (password_ && password_->isVisible())
            password_->reject();
    });
}

void SettingsWindow::buildUi() {
    setWindowTitle(QStringLiteral("Setting"));
    setFont(QFont(QStringLiteral("Verdana"), 9));

    longCableGroup = new QGroupBox(QStringLiteral("HDMI Long Cable Mode"), this);
    auto* lcRow = new QHBoxLayout(longCableGroup);
    const QStringList lcCaptions{QStringLiteral("OFF"), QStringLiteral("ON")};
    for (int i = 0; i < 2; ++i) {
        longCableChoices[i] = new QRadioButton(lcCaptions[i], longCableGroup);
        lcRow->addWidget(longCableChoices[i]);
        connect(longCableChoices[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                onLongCableChosen(i);
        });
    }
    unlockButton = new QPushButton(QStringLiteral("Unlock"), this);
    unlockButton->setAutoDefault(false);

    copyGroup = new QGroupBox(QStringLiteral("Copy EDID Setting"), this);
    auto* copyRow = new QHBoxLayout(copyGroup);
    auto* toLabel = new QLabel(QStringLiteral("Copy EDID To:"), copyGroup);
    copyTargetList = makeList(QStringLiteral("Copy EDID to input"), copyGroup);
    toLabel->setBuddy(copyTargetList);
    auto* fromLabel = new QLabel(QStringLiteral("From:"), copyGroup);
    copySourceList = makeList(QStringLiteral("Copy EDID from output"), copyGroup);
    fromLabel->setBuddy(copySourceList);
    copyRow->addWidget(toLabel);
    copyRow->addWidget(copyTargetList);
    copyRow->addWidget(fromLabel);
    copyRow->addWidget(copySourceList);
    factoryResetButton = new QPushButton(QStringLiteral("Factory Reset"), this);
    factoryResetButton->setAutoDefault(false);

    statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);
    // No accessible name of its own: its text is its name, and a screen
    // reader hears each change of it.
    statusPanel_ = new QLabel(statusBar);
    statusBar->addWidget(statusPanel_, 1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(longCableGroup, 0, 0);
    grid->addWidget(unlockButton, 0, 1, Qt::AlignVCenter);
    grid->addWidget(copyGroup, 1, 0);
    grid->addWidget(factoryResetButton, 1, 1, Qt::AlignVCenter);
    grid->addWidget(statusBar, 2, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // Not in the layout: placed under the client area by placeEdidFrame.
    edidModeGroup = new QGroupBox(QStringLiteral("EDID Setting"), this);
    auto* edidGrid = new QGridLayout(edidModeGroup);
    const QStringList edidCaptions{
        QStringLiteral("Nomal Copy Mode"),          QStringLiteral("Limit Deepcolor Copy Mode"),
        QStringLiteral("Fixed 1080P Stero"),        QStringLiteral("Fixed 1080P 5.1 Audio CH"),
        QStringLiteral("Fixed 1080P 7.1 Audio CH"), QStringLiteral("Fixed 1080I Streo")};
    for (int i = 0; i < 6; ++i) {
        edidModeChoices[i] = new QRadioButton(edidCaptions[i], edidModeGroup);
        // Out of sight, so out of the keyboard's reach too: an arrow key on
        // an unseen option would change the device's EDID mode.
        edidModeChoices[i]->setFocusPolicy(Qt::NoFocus);
        edidGrid->addWidget(edidModeChoices[i], i / 2, i % 2);
        connect(edidModeChoices[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                onEdidModeChosen(i);
        });
    }
    edidModeGroup->resize(edidModeGroup->sizeHint());

    setTabOrder(longCableChoices[0], longCableChoices[1]);
    setTabOrder(longCableChoices[1], unlockButton);
    setTabOrder(unlockButton, copyTargetList);
    setTabOrder(copyTargetList, copySourceList);
    setTabOrder(copySourceList, factoryResetButton);

    connect(unlockButton, &QPushButton::clicked, this, &SettingsWindow::onUnlockClicked);
    connect(factoryResetButton, &QPushButton::clicked, this,
            &SettingsWindow::onFactoryResetClicked);
    connect(copyTargetList, &QComboBox::activated, this, [this] { onCopyTargetChosen(); });
    connect(copySourceList, &QComboBox::activated, this, [this] { onCopySourceChosen(); });
}

void SettingsWindow::resizeEvent(QResizeEvent* event) {
    FeatureWindow::resizeEvent(event);
    placeEdidFrame();
}

void SettingsWindow::placeEdidFrame() {
    edidModeGroup->move(longCableGroup->x(), height() + 8);
}

PasswordWindow& SettingsWindow::password() {
    if (!password_)
        password_ = new PasswordWindow(context_, *this);
    return *password_;
}

void SettingsWindow::prepare() {
    session_.setShowingReply(true);
    longCableUnlocked = false;
    clearChoice(longCableChoices);
    clearChoice(edidModeChoices);
    for (QRadioButton* b : longCableChoices)
        b->setEnabled(false);
    copyTargetList->clear();
    copySourceList->clear();
    // The copy goes from an output's display to an input (or all of them).
    for (int k = 1; k <= session_.model().inputs; ++k)
        copyTargetList->addItem(QStringLiteral("Input") + QString::number(k));
    for (int k = 1; k <= session_.model().outputs; ++k)
        copySourceList->addItem(QStringLiteral("Output") + QString::number(k));
    copyTargetList->addItem(QStringLiteral("ALL"));
    copyTargetList->setCurrentIndex(-1);
    copySourceList->setCurrentIndex(-1);
    statusPanel_->clear();
    placeEdidFrame();
    // A status query, not a setting: nothing becomes pending.
    session_.statusQuery();
    session_.setShowingReply(false);
}

void SettingsWindow::promptRestart() {
    context_.message(
        QStringLiteral("Only when you restart the device, and the change to be effective"),
        kDeviceTitle);
}

void SettingsWindow::quit() {
    context_.message(QStringLiteral("Device quit Setting mode!"), kDeviceTitle);
    // The device may say so twice, or while the window is already on its
    // way out; closing twice would report the closing twice.
    if (isVisible())
        reject();
}

QString SettingsWindow::statusText() const {
    return statusPanel_->text();
}

// ---------------------------------------------------------------------------
// Operations

void SettingsWindow::onLongCableChosen(int index) {
    if (session_.showingReply())
        return;
    session_.setLongCable(index);
    promptRestart();
}

void SettingsWindow::onEdidModeChosen(int index) {
    if (session_.showingReply())
        return;
    session_.setEdidMode(index);
    promptRestart();
}

void SettingsWindow::onCopyTargetChosen() {
    if (session_.showingReply())
        return;
    copySourceList->setCurrentIndex(-1);
    copySourceList->setEditText(QString());
}

void SettingsWindow::onCopySourceChosen() {
    if (session_.showingReply())
        return;
    session_.copyEdid(listIndex(copySourceList), listIndex(copyTargetList));
}

void SettingsWindow::onUnlockClicked() {
    PasswordWindow& p = password();
    p.prepare();
    connect(
        &p, &QDialog::finished, this,
        [this] {
            if (longCableUnlocked) {
                for (QRadioButton* b : longCableChoices)
                    b->setEnabled(true);
            }
        },
        Qt::SingleShotConnection);
    p.open();
}

void SettingsWindow::onFactoryResetClicked() {
    session_.factoryReset();
    promptRestart();
    if (isVisible())
        reject();
}
