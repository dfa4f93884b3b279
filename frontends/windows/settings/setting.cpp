#include "frontends/windows/settings/setting.h"

#include "core/settings/settings_session.h"
#include "frontends/windows/settings/password.h"
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

Setting::Setting(DeviceContext& context, settings::SettingsSession& session)
    : FeatureWindow(context), session_(session) {
    buildUi();
    connect(&session_, &settings::SettingsSession::statusChanged, statusPanel_, &QLabel::setText);
    // Selecting an option raises its click handler, as the operator's click
    // does; the session holds the guard meanwhile, so nothing goes back.
    connect(&session_, &settings::SettingsSession::longCableReported, this,
            [this](int i) { LCHDMIOpt[i]->setChecked(true); });
    connect(&session_, &settings::SettingsSession::edidModeReported, this,
            [this](int i) { EDID_opt[i]->setChecked(true); });
    // Each opening starts with nothing pending: a reply that comes in after
    // a new opening must not confirm what a closed window once sent.
    connect(this, &QDialog::finished, this, [this] {
        session_.forgetPending();
        if (password_ && password_->isVisible())
            password_->reject();
    });
}

void Setting::buildUi() {
    setWindowTitle(QStringLiteral("Setting"));
    setFont(QFont(QStringLiteral("Verdana"), 9));

    LongCableFrame = new QGroupBox(QStringLiteral("HDMI Long Cable Mode"), this);
    auto* lcRow = new QHBoxLayout(LongCableFrame);
    const QStringList lcCaptions{QStringLiteral("OFF"), QStringLiteral("ON")};
    for (int i = 0; i < 2; ++i) {
        LCHDMIOpt[i] = new QRadioButton(lcCaptions[i], LongCableFrame);
        lcRow->addWidget(LCHDMIOpt[i]);
        connect(LCHDMIOpt[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                LCHDMIOpt_Click(i);
        });
    }
    Command3 = new QPushButton(QStringLiteral("Unlock"), this);
    Command3->setAutoDefault(false);

    CopyFrame = new QGroupBox(QStringLiteral("Copy EDID Setting"), this);
    auto* copyRow = new QHBoxLayout(CopyFrame);
    auto* toLabel = new QLabel(QStringLiteral("Copy EDID To:"), CopyFrame);
    CopyToCmb = makeList(QStringLiteral("Copy EDID to input"), CopyFrame);
    toLabel->setBuddy(CopyToCmb);
    auto* fromLabel = new QLabel(QStringLiteral("From:"), CopyFrame);
    CopyFromCmb = makeList(QStringLiteral("Copy EDID from output"), CopyFrame);
    fromLabel->setBuddy(CopyFromCmb);
    copyRow->addWidget(toLabel);
    copyRow->addWidget(CopyToCmb);
    copyRow->addWidget(fromLabel);
    copyRow->addWidget(CopyFromCmb);
    FRstBtn = new QPushButton(QStringLiteral("Factory Reset"), this);
    FRstBtn->setAutoDefault(false);

    SetStaBar = new QStatusBar(this);
    SetStaBar->setSizeGripEnabled(false);
    // No accessible name of its own: its text is its name, and a screen
    // reader hears each change of it.
    statusPanel_ = new QLabel(SetStaBar);
    SetStaBar->addWidget(statusPanel_, 1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(LongCableFrame, 0, 0);
    grid->addWidget(Command3, 0, 1, Qt::AlignVCenter);
    grid->addWidget(CopyFrame, 1, 0);
    grid->addWidget(FRstBtn, 1, 1, Qt::AlignVCenter);
    grid->addWidget(SetStaBar, 2, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // Not in the layout: placed under the client area by placeEdidFrame.
    EdidFrame = new QGroupBox(QStringLiteral("EDID Setting"), this);
    auto* edidGrid = new QGridLayout(EdidFrame);
    const QStringList edidCaptions{
        QStringLiteral("Nomal Copy Mode"),          QStringLiteral("Limit Deepcolor Copy Mode"),
        QStringLiteral("Fixed 1080P Stero"),        QStringLiteral("Fixed 1080P 5.1 Audio CH"),
        QStringLiteral("Fixed 1080P 7.1 Audio CH"), QStringLiteral("Fixed 1080I Streo")};
    for (int i = 0; i < 6; ++i) {
        EDID_opt[i] = new QRadioButton(edidCaptions[i], EdidFrame);
        // Out of sight, so out of the keyboard's reach too: an arrow key on
        // an unseen option would change the device's EDID mode.
        EDID_opt[i]->setFocusPolicy(Qt::NoFocus);
        edidGrid->addWidget(EDID_opt[i], i / 2, i % 2);
        connect(EDID_opt[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                EDID_opt_Click(i);
        });
    }
    EdidFrame->resize(EdidFrame->sizeHint());

    setTabOrder(LCHDMIOpt[0], LCHDMIOpt[1]);
    setTabOrder(LCHDMIOpt[1], Command3);
    setTabOrder(Command3, CopyToCmb);
    setTabOrder(CopyToCmb, CopyFromCmb);
    setTabOrder(CopyFromCmb, FRstBtn);

    connect(Command3, &QPushButton::clicked, this, &Setting::Command3_Click);
    connect(FRstBtn, &QPushButton::clicked, this, &Setting::FRstBtn_Click);
    connect(CopyToCmb, &QComboBox::activated, this, [this] { CopyToCmb_Click(); });
    connect(CopyFromCmb, &QComboBox::activated, this, [this] { CopyFromCmb_Click(); });
}

void Setting::resizeEvent(QResizeEvent* event) {
    FeatureWindow::resizeEvent(event);
    placeEdidFrame();
}

void Setting::placeEdidFrame() {
    EdidFrame->move(LongCableFrame->x(), height() + 8);
}

PASSWORD& Setting::password() {
    if (!password_)
        password_ = new PASSWORD(context_, *this);
    return *password_;
}

void Setting::Form_Load() {
    session_.setShowingReply(true);
    pswd = 0;
    clearChoice(LCHDMIOpt);
    clearChoice(EDID_opt);
    for (QRadioButton* b : LCHDMIOpt)
        b->setEnabled(false);
    CopyToCmb->clear();
    CopyFromCmb->clear();
    // The copy goes from an output's display to an input (or all of them).
    for (int k = 1; k <= session_.model().inputs; ++k)
        CopyToCmb->addItem(QStringLiteral("Input") + QString::number(k));
    for (int k = 1; k <= session_.model().outputs; ++k)
        CopyFromCmb->addItem(QStringLiteral("Output") + QString::number(k));
    CopyToCmb->addItem(QStringLiteral("ALL"));
    CopyToCmb->setCurrentIndex(-1);
    CopyFromCmb->setCurrentIndex(-1);
    statusPanel_->clear();
    placeEdidFrame();
    // A status query, not a setting: nothing becomes pending.
    session_.statusQuery();
    session_.setShowingReply(false);
}

void Setting::RepowerPrompt() {
    context_.message(
        QStringLiteral("Only when you restart the device, and the change to be effective"),
        kDeviceTitle);
}

void Setting::quit() {
    context_.message(QStringLiteral("Device quit Setting mode!"), kDeviceTitle);
    // The device may say so twice, or while the window is already on its
    // way out; closing twice would report the closing twice.
    if (isVisible())
        reject();
}

QString Setting::statusText() const {
    return statusPanel_->text();
}

// ---------------------------------------------------------------------------
// Operations

void Setting::LCHDMIOpt_Click(int index) {
    if (session_.showingReply())
        return;
    session_.setLongCable(index);
    RepowerPrompt();
}

void Setting::EDID_opt_Click(int index) {
    if (session_.showingReply())
        return;
    session_.setEdidMode(index);
    RepowerPrompt();
}

void Setting::CopyToCmb_Click() {
    if (session_.showingReply())
        return;
    CopyFromCmb->setCurrentIndex(-1);
    CopyFromCmb->setEditText(QString());
}

void Setting::CopyFromCmb_Click() {
    if (session_.showingReply())
        return;
    session_.copyEdid(listIndex(CopyFromCmb), listIndex(CopyToCmb));
}

void Setting::Command3_Click() {
    PASSWORD& p = password();
    p.Form_Load();
    connect(
        &p, &QDialog::finished, this,
        [this] {
            if (pswd == 1) {
                for (QRadioButton* b : LCHDMIOpt)
                    b->setEnabled(true);
            }
        },
        Qt::SingleShotConnection);
    p.open();
}

void Setting::FRstBtn_Click() {
    session_.factoryReset();
    RepowerPrompt();
    if (isVisible())
        reject();
}
