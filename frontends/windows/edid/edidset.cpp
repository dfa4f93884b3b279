#include "frontends/windows/edid/edidset.h"

#include "core/edid/decode/edid_compare.h"
#include "core/edid/decode/edid_text.h"
#include "core/edid/edid_transfer.h"
#include "core/files/edid_file.h"
#include "core/files/write_file.h"
#include "frontends/windows/edid/decoded_pane.h"
#include "frontends/windows/edid/edit_panel.h"
#include "frontends/windows/edid/hex_view.h"
#include "frontends/windows/edid/view_text.h"
#include "frontends/windows/platform/dialogs.h"
#include "frontends/windows/titles.h"
#include "frontends/windows/widgets/device_context.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// The window's saves replace whatever name the operator chose.
constexpr auto kReplaceAnything = files::OutputFile::NonRegular::Replace;

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

// What "Export decoded..." offers to write.
const QString kDecodedFileFilter = QStringLiteral("Decoded EDID(*.txt)|*.txt");

} // namespace

EDIDSet::EDIDSet(DeviceContext& context, edid::EdidTransfer& transfer)
    : FeatureWindow(context), transfer_(transfer), view_(new edid::ViewText(this)) {
    setWindowTitle(QStringLiteral("EDID Set"));
    buildUi();
    connect(&transfer_, &edid::EdidTransfer::started, this, &EDIDSet::transferStarted);
    connect(&transfer_, &edid::EdidTransfer::progress, ProgressBar1,
            [this](int done) { ProgressBar1->setValue(done); });
    connect(&transfer_, &edid::EdidTransfer::byteRead, this,
            [this](int shown, const QString& answer, bool last) {
                view_->append(last ? answer + QStringLiteral("  ")
                                   : edid::readFormCell(answer, shown));
            });
    connect(&transfer_, &edid::EdidTransfer::finished, this, &EDIDSet::transferEnded);
    connect(view_, &edid::ViewText::textCleared, this, [this] { showText(QString(), false); });
    connect(view_, &edid::ViewText::textAppended, this,
            [this](const QString& t) { showText(t, true); });
    connect(view_, &edid::ViewText::textReplaced, this,
            [this](const QString& t) { showText(t, false); });
    // The decoded pane follows every change of the image but a read's byte
    // by byte growth: that is decoded once the read is over, before the box
    // that reports on it, if any.
    connect(view_, &edid::ViewText::textCleared, this, [this] { showDecoded(false); });
    connect(view_, &edid::ViewText::textReplaced, this, [this] { showDecoded(false); });
    connect(view_, &edid::ViewText::textAppended, this, [this] { decodedStale_ = true; });
    // What the operator types is the image from then on.
    connect(Text1, &QPlainTextEdit::textChanged, this, [this] {
        if (!showing_)
            view_->viewEdited(Text1->text());
    });
    connect(Text1, &QPlainTextEdit::textChanged, this, [this] {
        if (!showing_)
            showDecoded(true);
    });
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
    ProgressBar1->setAccessibleName(QStringLiteral("Progress"));
    Label2 = new QLabel(QStringLiteral("100%"), this);
    progress->addWidget(Label1);
    progress->addWidget(ProgressBar1, 1);
    progress->addWidget(Label2);
    outer->addLayout(progress);

    // The headings share the view's font and sit where the view draws its
    // text, so every cell stands under its column and beside its row.
    const QFont font = edid::hexViewFont();
    Text1 = new edid::HexView(this);
    Text1->setAccessibleName(QStringLiteral("EDID image"));
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
    // The decoded pane stands beside the dump and is taller than it; the
    // rows below the dump take that height, so the headings stay put.
    grid->setRowStretch(2, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(grid);
    body->addLayout(buildDecodedPane(), 1);
    outer->addLayout(body, 1);

    EditPanel = new edid::EditPanel(*view_, this);
    connect(EditPanel, &edid::EditPanel::previewShown, this, &EDIDSet::markEdit);
    auto* menus = new QMenuBar(this);
    menus->addMenu(EditPanel->menu());
    outer->setMenuBar(menus);
    outer->addWidget(EditPanel);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    statusPanel_ = new QLabel(StatusBar1);
    StatusBar1->addWidget(statusPanel_, 1);
    outer->addWidget(StatusBar1);
}

QLayout* EDIDSet::buildDecodedPane() {
    auto* column = new QVBoxLayout;
    DecodedTabs = new QTabWidget(this);
    DecodedText = new edid::DecodedPane(DecodedTabs);
    DecodedText->setAccessibleName(QStringLiteral("Decoded EDID"));
    DecodedText->setPlaceholderText(QStringLiteral("Open a file or read the device to decode it."));
    CompareText = new edid::DecodedPane(DecodedTabs);
    CompareText->setAccessibleName(QStringLiteral("EDID comparison"));
    DecodedTabs->addTab(DecodedText, QStringLiteral("Decoded"));
    DecodedTabs->addTab(CompareText, QStringLiteral("Comparison"));
    DecodedTabs->setTabVisible(1, false);
    const QFontMetrics fm(DecodedText->font());
    DecodedTabs->setMinimumSize(fm.horizontalAdvance(QString(72, u'0')), fm.lineSpacing() * 24);
    column->addWidget(DecodedTabs, 1);

    auto* buttons = new QHBoxLayout;
    ExportBtn = new QPushButton(QStringLiteral("Export decoded..."), this);
    CompareBtn = new QPushButton(QStringLiteral("Compare with file..."), this);
    for (QPushButton* b : {ExportBtn, CompareBtn}) {
        b->setAutoDefault(false);
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    connect(ExportBtn, &QPushButton::clicked, this, &EDIDSet::ExportBtn_Click);
    connect(CompareBtn, &QPushButton::clicked, this, &EDIDSet::CompareBtn_Click);
    column->addLayout(buttons);
    return column;
}

void EDIDSet::Form_Load() {
    Option1[0]->setChecked(true);
    // Every opening starts without a comparison.
    compared_.reset();
    comparedPath_.clear();
    DecodedTabs->setTabVisible(1, false);
    DecodedTabs->setCurrentIndex(0);
    transfer_.prepare();
    view_->cell_Pos = 1;
    view_->clear();
    ProgressBar1->setValue(0);
    setStatus(QString());
}

bool EDIDSet::busy() const {
    return transfer_.running() || transfer_.settling();
}

void EDIDSet::done(int result) {
    transfer_.end();
    FeatureWindow::done(result);
}

void EDIDSet::showText(const QString& text, bool append) {
    showing_ = true;
    if (append)
        Text1->append(text);
    else
        Text1->setText(text);
    showing_ = false;
}

void EDIDSet::setStatus(const QString& text) {
    status_ = text;
    showStatus(text);
}

void EDIDSet::showStatus(const QString& text) {
    statusPanel_->setText(text);
    emit statusChanged(text);
}

QString EDIDSet::statusText() const {
    return status_;
}

void EDIDSet::Option1_Click(int index) {
    transfer_.choosePort(index);
}

// ---------------------------------------------------------------------------
// Files

void EDIDSet::Command1_Click() {
    // The view is emptied before the file is chosen; what it held comes
    // back with a box when the file holds no dump.
    const QString textBefore = view_->text();
    const QString statusBefore = status_;
    view_->clear();
    setStatus(QStringLiteral("Open EDID "));
    const std::optional<QString> path =
        context_.dialogs().openFileName(this, edid::kOpenFileFilter);
    if (!path || path->isEmpty())
        return;
    // A file that cannot be read acts as a cancel, as it always did; only a
    // text that holds no dump gets a box, and the image back.
    const files::EdidFile file = files::readEdidFile(*path);
    if (file.image) {
        showLoaded(*file.image);
    } else if (file.readable) {
        // Back first, so that the box stands over the image it leaves alone.
        view_->setText(textBefore);
        setStatus(statusBefore);
        context_.message(files::refusalText(*path, file), kEdidFileTitle);
    }
}

void EDIDSet::showLoaded(const edid::Image& image) {
    // A loaded image is shown whatever its tests say.
    switch (edid::EdidTransfer::imageError(image)) {
    case transfer::Error::NotEdid:
        context_.message(QStringLiteral("EDID format error!"), kEdidFileTitle);
        setStatus(QStringLiteral("EDID error!"));
        break;
    case transfer::Error::BadChecksum:
        context_.message(QStringLiteral("EDID CheckSum error!"), kEdidFileTitle);
        setStatus(QStringLiteral("CheckSum error!"));
        break;
    default:
        break;
    }
    view_->setText(edid::writtenForm(image));
}

void EDIDSet::Command5_Click() {
    const std::optional<QString> path = context_.dialogs().saveFileName(this, edid::kFileFilter);
    if (!path || path->isEmpty())
        return;
    const edid::Image image = view_->viewImage();
    QString reason;
    if (!files::saveEdidImage(*path, image, &reason, kReplaceAnything)) {
        context_.message(QStringLiteral("Cannot save %1: %2").arg(*path, reason), kAppTitle);
        return;
    }
    setStatus(QStringLiteral("Save done!"));
}

void EDIDSet::ExportBtn_Click() {
    const std::optional<edid::Image> image = view_->image();
    if (!image)
        return;
    const std::optional<QString> path = context_.dialogs().saveFileName(this, kDecodedFileFilter);
    if (!path || path->isEmpty())
        return;
    QString reason;
    const QByteArray text = edid::decodedText(edid::decodeEdid(*image)).toUtf8();
    if (!files::saveFile(*path, text, &reason, kReplaceAnything)) {
        context_.message(QStringLiteral("Cannot save %1: %2").arg(*path, reason), kAppTitle);
        return;
    }
    setStatus(QStringLiteral("Export done!"));
}

void EDIDSet::CompareBtn_Click() {
    if (!view_->image())
        return;
    const std::optional<QString> path =
        context_.dialogs().openFileName(this, edid::kOpenFileFilter);
    if (!path || path->isEmpty())
        return;
    const files::EdidFile file = files::readEdidFile(*path);
    if (!file.image) {
        context_.message(files::refusalText(*path, file), kEdidFileTitle);
        return;
    }
    compared_ = file.image;
    comparedPath_ = *path;
    DecodedTabs->setTabVisible(1, true);
    DecodedTabs->setCurrentIndex(1);
    showDecoded(false);
}

// ---------------------------------------------------------------------------
// The decoded pane

void EDIDSet::showDecoded(bool sameImage) {
    decodedStale_ = false;
    EditPanel->follow();
    markEdit();
    const std::optional<edid::Image> image = view_->image();
    ExportBtn->setEnabled(image.has_value());
    CompareBtn->setEnabled(image.has_value());
    DecodedText->showText(image ? edid::decodedText(edid::decodeEdid(*image)) : QString(),
                          sameImage);
    if (!compared_) {
        markDifferences({});
        return;
    }
    const auto bytes = [](const edid::Image& m) {
        return QByteArrayView(reinterpret_cast<const char*>(m.data()), m.size());
    };
    edid::EdidComparison c;
    if (image)
        c = edid::compareEdid(bytes(*image), bytes(*compared_));
    CompareText->showText(image ? QStringLiteral("This image (left) against %1 (right)\n\n%2")
                                      .arg(comparedPath_, edid::comparisonText(c))
                                : QString(),
                          sameImage);
    markDifferences(c.differingOffsets);
}

void EDIDSet::markDifferences(const QList<int>& offsets) {
    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat format;
    format.setBackground(QColor(0xff, 0xc8, 0x00, 0x90));
    for (const auto& [from, to] : cellsOf(offsets)) {
        QTextCursor cursor(Text1->document());
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        marks.append({cursor, format});
    }
    Text1->setExtraSelections(marks);
}

void EDIDSet::markEdit() {
    Text1->setFramedCells(cellsOf(EditPanel->changedOffsets()));
}

QList<std::pair<int, int>> EDIDSet::cellsOf(const QList<int>& offsets) const {
    QList<std::pair<int, int>> cells;
    const QString text = Text1->text();
    // Where each character of the view text is in the editor, which keeps
    // a CR LF as one line break.
    QList<int> at(text.size() + 1);
    for (qsizetype i = 0, doc = 0; i <= text.size(); ++i) {
        at[i] = int(doc);
        if (!(i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n'))
            ++doc;
    }
    int pos = 1;
    qsizetype next = 0;
    for (int i = 0; i < edid::kImageSize && next < offsets.size(); ++i, ++pos) {
        const QString cell = edid::nextByteCell(text, pos);
        if (offsets[next] != i)
            continue;
        ++next;
        const qsizetype from = 2 * qsizetype(pos - 1);
        if (cell.isEmpty() || from >= text.size())
            break; // the view ends before the byte: nothing to mark
        cells.append({at[from], at[qMin(from + cell.size(), text.size())]});
    }
    return cells;
}

// ---------------------------------------------------------------------------
// Transfers

void EDIDSet::DownloadBtn_Click() {
    transfer_.startDownload(view_->downloadCells());
}

void EDIDSet::ReadEDIDBtn_Click() {
    transfer_.startRead();
}

void EDIDSet::transferStarted(transfer::Phase phase) {
    switch (phase) {
    case transfer::Phase::Download:
        setStatus(QStringLiteral("EDID Download... "));
        break;
    case transfer::Phase::Verify:
        setStatus(QStringLiteral("DownLoad Over!"));
        view_->clear();
        setStatus(QStringLiteral("EDID Verify... "));
        break;
    default:
        view_->clear();
        setStatus(QStringLiteral("EDID Readding... "));
    }
}

void EDIDSet::transferEnded(const transfer::Outcome& o) {
    using E = transfer::Error;
    using P = transfer::Phase;
    if (decodedStale_)
        showDecoded(false);
    switch (o.error) {
    case E::TimedOut:
        setStatus(QStringLiteral("Time Out!"));
        context_.message(QStringLiteral("Time Out!"), kAppTitle);
        return;
    case E::DeviceError:
    case E::WriteFailed:
        setStatus(o.phase == P::Download ? QStringLiteral("DownLoad Err!")
                                         : QStringLiteral("Read EDID Err!"));
        return;
    case E::OutOfStep:
        setStatus(QStringLiteral("Read EDID Err!"));
        return;
    case E::ModeLeft:
    case E::Stopped:
        return;
    default:
        break;
    }
    // A plain read that came whole is over before it is judged.
    if (o.phase == P::Read)
        setStatus(QStringLiteral("Read OK!"));
    report(o.error,
           o.phase == P::Verify ? QStringLiteral("Download OK!") : QStringLiteral("Read EDID OK!"));
}

void EDIDSet::report(transfer::Error error, const QString& success) {
    switch (error) {
    case transfer::Error::VerifyMismatch:
        context_.message(QStringLiteral("Verify EDID ERR!"), kAppTitle);
        setStatus(QStringLiteral("Verify EDID ERR!"));
        break;
    case transfer::Error::NotEdid:
        context_.message(QStringLiteral("EDID format error!"), kDeviceTitle);
        setStatus(QStringLiteral("EDID error!"));
        break;
    case transfer::Error::BadChecksum:
        context_.message(QStringLiteral("EDID CheckSum error!"), kDeviceTitle);
        setStatus(QStringLiteral("CheckSum error!"));
        break;
    default:
        if (!success.isEmpty())
            setStatus(success);
    }
}

void EDIDSet::check() {
    // A read in progress is judged as if it were over; otherwise only the
    // image's own tests speak.
    report(edid::EdidTransfer::imageError(view_->viewImage()),
           transfer_.reading() ? QStringLiteral("Read EDID OK!") : QString());
}

void EDIDSet::quit() {
    context_.message(QStringLiteral("Device quit EDID Set mode!"), kDeviceTitle);
    close();
}
