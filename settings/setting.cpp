#include "settings/setting.h"

#include "main_window/form1.h"
#include "settings/password.h"
#include "settings/setting_numbers.h"

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

Setting::Setting(Form1& form1) : FeatureWindow(form1) {
    buildUi();
    // Each opening starts with nothing pending: a reply that comes in after
    // a new opening must not confirm what a closed window once sent.
    connect(this, &QDialog::finished, this, [this] {
        forgetPending();
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
    statusPanel_ = new QLabel(SetStaBar);
    statusPanel_->setAccessibleName(QStringLiteral("Status"));
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
        password_ = new PASSWORD(form1_, *this);
    return *password_;
}

void Setting::Form_Load() {
    Clicked = 0;
    pswd = 0;
    clearChoice(LCHDMIOpt);
    clearChoice(EDID_opt);
    for (QRadioButton* b : LCHDMIOpt)
        b->setEnabled(false);
    CopyToCmb->clear();
    CopyFromCmb->clear();
    for (int k = 1; k <= 8; ++k) {
        CopyToCmb->addItem(QStringLiteral("Input") + QString::number(k));
        CopyFromCmb->addItem(QStringLiteral("Output") + QString::number(k));
    }
    CopyToCmb->addItem(QStringLiteral("ALL"));
    CopyToCmb->setCurrentIndex(-1);
    CopyFromCmb->setCurrentIndex(-1);
    setStatus(QString());
    placeEdidFrame();
    // A status query, not a setting: nothing becomes pending.
    form1_.link().sendRaw(seriallink::wireBytes(QStringLiteral("sts\r\n")));
    Clicked = -1;
}

// ---------------------------------------------------------------------------
// The confirmed command path

void Setting::SendCmd() {
    // The window opens only while the port is open, so there is no check.
    form1_.link().sendRaw(seriallink::wireBytes(cmdstr));
    SendCMDFlg = 1;
    setStatus(QStringLiteral("Set Command..."));
}

void Setting::CheckSendSuccess() {
    if (SendCMDFlg != 1)
        return;
    SendCMDFlg = 0;
    setStatus(QStringLiteral("Set Command Successfully!"));
}

void Setting::CheckALLCmd(double mask) {
    SendCMDFlg = 0;
    // Only a fully successful answer ends the all-ports state; after a
    // failure the next mask-carrying reply is read as a mask again.
    if (mask == 255)
        ALLFlg = 0;
    setStatus(settings::allPortsStatus(static_cast<int>(mask)));
}

int Setting::Getbit(long value, int n) {
    return settings::Getbit(value, n);
}

void Setting::RepowerPrompt() {
    form1_.message(
        QStringLiteral("Only when you restart the device, and the change to be effective"),
        kDeviceTitle);
}

void Setting::quit() {
    form1_.message(QStringLiteral("Device quit Setting mode!"), kDeviceTitle);
    // The device may say so twice, or while the window is already on its
    // way out; closing twice would report the closing twice.
    if (isVisible())
        reject();
}

void Setting::forgetPending() {
    SendCMDFlg = 0;
    ALLFlg = 0;
    cmdstr.clear();
}

void Setting::setStatus(const QString& text) {
    statusPanel_->setText(text);
}

QString Setting::statusText() const {
    return statusPanel_->text();
}

// ---------------------------------------------------------------------------
// Operations

void Setting::LCHDMIOpt_Click(int index) {
    if (Clicked != -1)
        return;
    // Bit 0 belongs to a setting this window does not offer; it is always on.
    LCmode = static_cast<std::uint8_t>(2 * index + 1);
    cmdstr = QStringLiteral("slc ") + settings::hex(LCmode) + QStringLiteral("\r\n");
    SendCmd();
    RepowerPrompt();
}

void Setting::EDID_opt_Click(int index) {
    if (Clicked != -1)
        return;
    cmdstr = QStringLiteral("smd ") + settings::hex(index) + QStringLiteral("\r\n");
    SendCmd();
    RepowerPrompt();
}

void Setting::CopyToCmb_Click() {
    if (Clicked != -1)
        return;
    CopyFromCmb->setCurrentIndex(-1);
    CopyFromCmb->setEditText(QString());
}

void Setting::CopyFromCmb_Click() {
    if (Clicked != -1)
        return;
    const int f = listIndex(CopyFromCmb);
    const int t = listIndex(CopyToCmb);
    if (t == 8) {
        cmdstr = QStringLiteral("sed ") + settings::hex(f) + QStringLiteral(" 10\r\n");
        ALLFlg = 1;
    } else {
        cmdstr = QStringLiteral("sed ") + settings::hex(f) + QStringLiteral(" ") +
                 settings::hex(t) + QStringLiteral("\r\n");
    }
    SendCmd();
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
    cmdstr = QStringLiteral("rst\r\n");
    SendCmd();
    RepowerPrompt();
    if (isVisible())
        reject();
}
