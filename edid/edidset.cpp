#include "edid/edidset.h"

#include "edid/edid_file.h"
#include "edid/hex_view.h"
#include "main_window/form1.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

QString columnHeadings() {
    QStringList h;
    for (int c = 0; c < 16; ++c)
        h << QStringLiteral("%1").arg(c, 2, 16, QChar(u'0')).toUpper();
    return h.join(QStringLiteral("  "));
}

QString rowHeadings() {
    QStringList h;
    for (int r = 0; r < 16; ++r)
        h << QStringLiteral("%1").arg(r * 16, 2, 16, QChar(u'0')).toUpper();
    return h.join(u'\n');
}

} // namespace

EDIDSet::EDIDSet(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("EDID Set"));
    buildUi();
    Timer1 = form1_.platform().createTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &platform::Timer::timeout, this, &EDIDSet::Timer1_Timer);
}

void EDIDSet::buildUi() {
    auto* outer = new QVBoxLayout(this);

    Frame1 = new QGroupBox(QStringLiteral("Port Select"), this);
    auto* ports = new QHBoxLayout(Frame1);
    for (int k = 0; k < 8; ++k) {
        Option1[k] = new QRadioButton(QString::number(k + 1), Frame1);
        ports->addWidget(Option1[k]);
        connect(Option1[k], &QRadioButton::clicked, this, [this, k] { Option1_Click(k); });
    }
    outer->addWidget(Frame1);

    auto* buttons = new QHBoxLayout;
    Command1 = new QPushButton(QStringLiteral("Open EDID"), this);
    DownloadBtn = new QPushButton(QStringLiteral("Download"), this);
    ReadEDIDBtn = new QPushButton(QStringLiteral("Read EDID"), this);
    Command5 = new QPushButton(QStringLiteral("Save as"), this);
    for (QPushButton* b : {Command1, DownloadBtn, ReadEDIDBtn, Command5}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(Command1, &QPushButton::clicked, this, &EDIDSet::Command1_Click);
    connect(DownloadBtn, &QPushButton::clicked, this, &EDIDSet::DownloadBtn_Click);
    connect(ReadEDIDBtn, &QPushButton::clicked, this, &EDIDSet::ReadEDIDBtn_Click);
    connect(Command5, &QPushButton::clicked, this, &EDIDSet::Command5_Click);
    outer->addLayout(buttons);

    auto* progress = new QHBoxLayout;
    Label1 = new QLabel(QStringLiteral("0%"), this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, 256);
    ProgressBar1->setTextVisible(false);
    Label2 = new QLabel(QStringLiteral("100%"), this);
    progress->addWidget(Label1);
    progress->addWidget(ProgressBar1, 1);
    progress->addWidget(Label2);
    outer->addLayout(progress);

    // The headings share the view's font and sit where the view draws its
    // text, so every cell stands under its column and beside its row.
    const QFont font = edid::hexViewFont();
    Text1 = new edid::HexView(this);
    Text1->setFont(font);
    const QFontMetrics fm(font);
    const int margin = Text1->frameWidth() + int(Text1->document()->documentMargin());
    Text1->setFixedSize(fm.horizontalAdvance(QString(66, u'0')) + 2 * margin,
                        fm.lineSpacing() * 16 + 2 * margin);

    Label3 = new QLabel(columnHeadings(), this);
    Label3->setFont(font);
    Label3->setContentsMargins(margin, 0, 0, 0);
    Label4 = new QLabel(rowHeadings(), this);
    Label4->setFont(font);
    Label4->setAlignment(Qt::AlignTop | Qt::AlignRight);
    Label4->setContentsMargins(0, margin, 0, 0);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);
    grid->addWidget(Label3, 0, 1);
    grid->addWidget(Label4, 1, 0);
    grid->addWidget(Text1, 1, 1);
    outer->addLayout(grid);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    statusPanel_ = new QLabel(StatusBar1);
    StatusBar1->addWidget(statusPanel_, 1);
    outer->addWidget(StatusBar1);
}

void EDIDSet::Form_Load() {
    Option1[0]->setChecked(true);
    Port = 0;
    edid_Len = 1;
    cell_Pos = 1;
    start_Load = 0;
    Timer1->stop();
    Text1->clear();
    ProgressBar1->setValue(0);
    setStatus(QString());
}

void EDIDSet::done(int result) {
    slave = 0;
    // The device leaves EDID mode once the window is gone, so a transfer
    // cannot go on; were it left marked running, the next opening's "edm"
    // echo would be taken for a failed read reply.
    start_Load = 0;
    start_Read = 0;
    Timer1->stop();
    FeatureWindow::done(result);
}

void EDIDSet::setStatus(const QString& text) {
    statusPanel_->setText(text);
    emit statusChanged(text);
}

QString EDIDSet::statusText() const {
    return statusPanel_->text();
}

void EDIDSet::Option1_Click(int index) {
    Port = std::uint8_t(index);
}

// ---------------------------------------------------------------------------
// Files

void EDIDSet::Command1_Click() {
    Text1->clear();
    setStatus(QStringLiteral("Open EDID "));
    const std::optional<QString> path = form1_.dialogs().openFileName(this, edid::kFileFilter);
    if (!path || path->isEmpty())
        return;
    const std::optional<edid::Image> image = edid::loadImageFile(*path);
    if (!image)
        return;
    if (!edid::headerOk(*image)) {
        form1_.message(QStringLiteral("EDID format error!"), kEdidFileTitle);
        setStatus(QStringLiteral("EDID error!"));
    } else if (!edid::checksumOk(*image)) {
        form1_.message(QStringLiteral("EDID CheckSum error!"), kEdidFileTitle);
        setStatus(QStringLiteral("CheckSum error!"));
    }
    Text1->setText(edid::writtenForm(*image));
    edid_Len = edid::kImageSize;
}

void EDIDSet::Command5_Click() {
    const std::optional<QString> path = form1_.dialogs().saveFileName(this, edid::kFileFilter);
    if (!path || path->isEmpty())
        return;
    int pos = cell_Pos = 1;
    const edid::Image image = edid::parseView(Text1->text(), pos);
    cell_Pos = std::int16_t(pos);
    QString reason;
    if (!edid::saveImageFile(*path, image, &reason)) {
        form1_.message(QStringLiteral("Cannot save %1: %2").arg(*path, reason), kAppTitle);
        return;
    }
    setStatus(QStringLiteral("Save done!"));
}

// ---------------------------------------------------------------------------
// Transfers

void EDIDSet::DownloadBtn_Click() {
    slave = 0;
    cell_Pos = 1;
    start_Load = 1;
    sentBytes.fill(std::nullopt);
    form1_.link().sendLineReported(edid::openCommand(Port, false));
    Timer1->start();
    setStatus(QStringLiteral("EDID Download... "));
}

void EDIDSet::ReadEDIDBtn_Click() {
    slave = 0;
    Verify = 0;
    start_Read = 1;
    edid_Len = 0;
    forgetReadBytes();
    form1_.link().sendLineReported(edid::openCommand(Port, true));
    Timer1->start();
    Text1->clear();
    setStatus(QStringLiteral("EDID Readding... "));
}

bool EDIDSet::sendTransferCommand(const QString& command) {
    if (form1_.link().sendLine(command)) {
        // Every command of a transfer gets its own second to be answered,
        // so a device that stalls at any byte is noticed.
        Timer1->start();
        return true;
    }
    Timer1->stop();
    if (start_Load == 1) {
        start_Load = 0;
        setStatus(QStringLiteral("DownLoad Err!"));
    } else {
        start_Read = 0;
        Verify = 0;
        setStatus(QStringLiteral("Read EDID Err!"));
    }
    form1_.link().reportWriteFailed();
    return false;
}

void EDIDSet::stopAnswerTimer() {
    Timer1->stop();
}

void EDIDSet::Download() {
    int pos = cell_Pos;
    const QString cell = edid::nextByteCell(Text1->text(), pos);
    cell_Pos = std::int16_t(pos);
    const int index = slave;
    if (!sendTransferCommand(edid::writeByteCommand(index, cell)))
        return;
    ProgressBar1->setValue(index);
    if (index == 127)
        WriteChkSum1 = cell;
    if (index == 255)
        WriteChkSum2 = cell;
    if (index >= 0 && index < edid::kImageSize)
        sentBytes[index] = edid::byteCellValue(cell);
    ++slave;
    ++cell_Pos;
}

void EDIDSet::ReadEDID() {
    const int index = slave;
    if (!sendTransferCommand(edid::readByteCommand(index)))
        return;
    ProgressBar1->setValue(qBound(0, index, 256));
    ++slave;
}

void EDIDSet::Timer1_Timer() {
    Timer1->stop();
    // The transfer ends before the box is shown: a late answer that comes in
    // while it is open must not carry the transfer on.
    start_Load = 0;
    start_Read = 0;
    setStatus(QStringLiteral("Time Out!"));
    form1_.message(QStringLiteral("Time Out!"), kAppTitle);
}

bool EDIDSet::verificationMatches() const {
    for (int i = 0; i < edid::kImageSize; ++i)
        if (!sentBytes[i] || !readBytes[i] || *sentBytes[i] != *readBytes[i])
            return false;
    return true;
}

void EDIDSet::check() {
    report(Verify == 1, start_Read == 1);
}

void EDIDSet::checkFinishedRead(bool verifying) {
    report(verifying, true);
}

void EDIDSet::report(bool verifying, bool reading) {
    int pos = cell_Pos = 1;
    const edid::Image image = edid::parseView(Text1->text(), pos);
    cell_Pos = std::int16_t(pos);
    // A byte that came back different is a failed download, whatever the
    // image's own tests say; those tests judge the image only once the
    // device is known to hold what was sent.
    if (verifying && !verificationMatches()) {
        form1_.message(QStringLiteral("Verify EDID ERR!"), kAppTitle);
        setStatus(QStringLiteral("Verify EDID ERR!"));
        return;
    }
    if (!edid::headerOk(image)) {
        form1_.message(QStringLiteral("EDID format error!"), kDeviceTitle);
        setStatus(QStringLiteral("EDID error!"));
        return;
    }
    if (!edid::checksumOk(image)) {
        form1_.message(QStringLiteral("EDID CheckSum error!"), kDeviceTitle);
        setStatus(QStringLiteral("CheckSum error!"));
        return;
    }
    if (verifying)
        setStatus(QStringLiteral("Download OK!"));
    else if (reading)
        setStatus(QStringLiteral("Read EDID OK!"));
}

void EDIDSet::quit() {
    form1_.message(QStringLiteral("Device quit EDID Set mode!"), kDeviceTitle);
    close();
}
