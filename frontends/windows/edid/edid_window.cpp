#include "frontends/windows/edid/edid_window.h"

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

EdidWindow::EdidWindow(DeviceContext& context, edid::EdidTransfer& transfer,
                       const protocol::Model& model)
    : FeatureWindow(context), transfer_(transfer), view_(new edid::ViewText(this)) {
    setWindowTitle(QStringLiteral("EDID Set"));
    buildUi(model.inputs);
    connect(&transfer_, &edid::EdidTransfer::started, this, &EdidWindow::transferStarted);
    connect(&transfer_, &edid::EdidTransfer::progress, progressBar,
            [this](int done) { progressBar->setValue(done); });
    connect(&transfer_, &edid::EdidTransfer::byteRead, this,
            [this](int shown, const QString& answer, bool last) {
                view_->append(last ? answer + QStringLiteral("  ")
                                   : edid::readFormCell(answer, shown));
            });
    connect(&transfer_, &edid::EdidTransfer::finished, this, &EdidWindow::transferEnded);
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
    connect(hexView, &QPlainTextEdit::textChanged, this, [this] {
        if (!showing_)
            view_->viewEdited(hexView->text());
    });
    connect(hexView, &QPlainTextEdit::textChanged, this, [this] {
        if (!showing_)
            showDecoded(true);
    });
}

void EdidWindow::buildUi(int inputs) {
    auto* outer = new QVBoxLayout(this);

    portGroup = new QGroupBox(QStringLiteral("Port Select"), this);
    auto* ports = new QHBoxLayout(portGroup);
    for (int k = 0; k < inputs; ++k) {
        auto* choice = new QRadioButton(QString::number(k + 1), portGroup);
        ports->addWidget(choice);
        connect(choice, &QRadioButton::clicked, this, [this, k] { onInputChosen(k); });
        portChoices.append(choice);
    }
    outer->addWidget(portGroup);

    auto* buttons = new QHBoxLayout;
    openButton = new QPushButton(QStringLiteral("Open EDID"), this);
    downloadButton = new QPushButton(QStringLiteral("Download"), this);
    readButton = new QPushButton(QStringLiteral("Read EDID"), this);
    saveAsButton = new QPushButton(QStringLiteral("Save as"), this);
    for (QPushButton* b : {openButton, downloadButton, readButton, saveAsButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(openButton, &QPushButton::clicked, this, &EdidWindow::onOpenClicked);
    connect(downloadButton, &QPushButton::clicked, this, &EdidWindow::onDownloadClicked);
    connect(readButton, &QPushButton::clicked, this, &EdidWindow::onReadClicked);
    connect(saveAsButton, &QPushButton::clicked, this, &EdidWindow::onSaveAsClicked);
    outer->addLayout(buttons);

    auto* progress = new QHBoxLayout;
    progressStartLabel = new QLabel(QStringLiteral("0%"), this);
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 256);
    progressBar->setTextVisible(false);
    progressBar->setAccessibleName(QStringLiteral("Progress"));
    progressEndLabel = new QLabel(QStringLiteral("100%"), this);
    progress->addWidget(progressStartLabel);
    progress->addWidget(progressBar, 1);
    progress->addWidget(progressEndLabel);
    outer->addLayout(progress);

    // The headings share the view's font and sit where the view draws its
    // text, so every cell stands under its column and beside its row.
    const QFont font = edid::hexViewFont();
    hexView = new edid::HexView(this);
    hexView->setAccessibleName(QStringLiteral("EDID image"));
    hexView->setFont(font);
    const QFontMetrics fm(font);
    const int margin = hexView->frameWidth() + int(hexView->document()->documentMargin());
    hexView->setFixedSize(fm.horizontalAdvance(QString(66, u'0')) + 2 * margin,
                          fm.lineSpacing() * 16 + 2 * margin);

    columnHeadingsLabel = new QLabel(columnHeadings(), this);
    columnHeadingsLabel->setFont(font);
    columnHeadingsLabel->setContentsMargins(margin, 0, 0, 0);
    rowHeadingsLabel = new QLabel(rowHeadings(), this);
    rowHeadingsLabel->setFont(font);
    rowHeadingsLabel->setAlignment(Qt::AlignTop | Qt::AlignRight);
    rowHeadingsLabel->setContentsMargins(0, margin, 0, 0);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);
    grid->addWidget(columnHeadingsLabel, 0, 1);
    grid->addWidget(rowHeadingsLabel, 1, 0);
    grid->addWidget(hexView, 1, 1);
    // The decoded pane stands beside the dump and is taller than it; the
    // rows below the dump take that height, so the headings stay put.
    grid->setRowStretch(2, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(grid);
    body->addLayout(buildDecodedPane(), 1);
    outer->addLayout(body, 1);

    editPanel = new edid::EditPanel(*view_, this);
    connect(editPanel, &edid::EditPanel::previewShown, this, &EdidWindow::markEdit);
    auto* menus = new QMenuBar(this);
    menus->addMenu(editPanel->menu());
    outer->setMenuBar(menus);
    outer->addWidget(editPanel);

    statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);
    statusPanel_ = new QLabel(statusBar);
    statusBar->addWidget(statusPanel_, 1);
    outer->addWidget(statusBar);
}

QLayout* EdidWindow::buildDecodedPane() {
    auto* column = new QVBoxLayout;
    decodedTabs = new QTabWidget(this);
    decodedPane = new edid::DecodedPane(decodedTabs);
    decodedPane->setAccessibleName(QStringLiteral("Decoded EDID"));
    decodedPane->setPlaceholderText(QStringLiteral("Open a file or read the device to decode it."));
    comparisonPane = new edid::DecodedPane(decodedTabs);
    comparisonPane->setAccessibleName(QStringLiteral("EDID comparison"));
    decodedTabs->addTab(decodedPane, QStringLiteral("Decoded"));
    decodedTabs->addTab(comparisonPane, QStringLiteral("Comparison"));
    decodedTabs->setTabVisible(1, false);
    const QFontMetrics fm(decodedPane->font());
    decodedTabs->setMinimumSize(fm.horizontalAdvance(QString(72, u'0')), fm.lineSpacing() * 24);
    column->addWidget(decodedTabs, 1);

    auto* buttons = new QHBoxLayout;
    exportButton = new QPushButton(QStringLiteral("Export decoded..."), this);
    compareButton = new QPushButton(QStringLiteral("Compare with file..."), this);
    for (QPushButton* b : {exportButton, compareButton}) {
        b->setAutoDefault(false);
        b->setEnabled(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    connect(exportButton, &QPushButton::clicked, this, &EdidWindow::onExportClicked);
    connect(compareButton, &QPushButton::clicked, this, &EdidWindow::onCompareClicked);
    column->addLayout(buttons);
    return column;
}

void EdidWindow::prepare() {
    portChoices[0]->setChecked(true);
    // Every opening starts without a comparison.
    compared_.reset();
    comparedPath_.clear();
    decodedTabs->setTabVisible(1, false);
    decodedTabs->setCurrentIndex(0);
    transfer_.prepare();
    view_->cursorCell = 1;
    view_->clear();
    progressBar->setValue(0);
    setStatus(QString());
}

bool EdidWindow::busy() const {
    return transfer_.running() || transfer_.settling();
}

void EdidWindow::done(int result) {
    transfer_.end();
    FeatureWindow::done(result);
}

void EdidWindow::showText(const QString& text, bool append) {
    showing_ = true;
    if (append)
        hexView->append(text);
    else
        hexView->setText(text);
    showing_ = false;
}

void EdidWindow::setStatus(const QString& text) {
    status_ = text;
    showStatus(text);
}

void EdidWindow::showStatus(const QString& text) {
    statusPanel_->setText(text);
    emit statusChanged(text);
}

QString EdidWindow::statusText() const {
    return status_;
}

void EdidWindow::onInputChosen(int index) {
    transfer_.choosePort(index);
}

// ---------------------------------------------------------------------------
// Files

void EdidWindow::onOpenClicked() {
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

void EdidWindow::showLoaded(const edid::Image& image) {
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

void EdidWindow::onSaveAsClicked() {
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

void EdidWindow::onExportClicked() {
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

void EdidWindow::onCompareClicked() {
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
    decodedTabs->setTabVisible(1, true);
    decodedTabs->setCurrentIndex(1);
    showDecoded(false);
}

// ---------------------------------------------------------------------------
// The decoded pane

void EdidWindow::showDecoded(bool sameImage) {
    decodedStale_ = false;
    editPanel->follow();
    markEdit();
    const std::optional<edid::Image> image = view_->image();
    exportButton->setEnabled(image.has_value());
    compareButton->setEnabled(image.has_value());
    decodedPane->showText(image ? edid::decodedText(edid::decodeEdid(*image)) : QString(),
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
    comparisonPane->showText(image ? QStringLiteral("This image (left) against %1 (right)\n\n%2")
                                         .arg(comparedPath_, edid::comparisonText(c))
                                   : QString(),
                             sameImage);
    markDifferences(c.differingOffsets);
}

void EdidWindow::markDifferences(const QList<int>& offsets) {
    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat format;
    format.setBackground(QColor(0xff, 0xc8, 0x00, 0x90));
    for (const auto& [from, to] : cellsOf(offsets)) {
        QTextCursor cursor(hexView->document());
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        marks.append({cursor, format});
    }
    hexView->setExtraSelections(marks);
}

void EdidWindow::markEdit() {
    hexView->setFramedCells(cellsOf(editPanel->changedOffsets()));
}

QList<std::pair<int, int>> EdidWindow::cellsOf(const QList<int>& offsets) const {
    QList<std::pair<int, int>> cells;
    const QString text = hexView->text();
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

void EdidWindow::onDownloadClicked() {
    transfer_.startDownload(view_->downloadCells());
}

void EdidWindow::onReadClicked() {
    transfer_.startRead();
}

void EdidWindow::transferStarted(transfer::Phase phase) {
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

void EdidWindow::transferEnded(const transfer::Outcome& o) {
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

void EdidWindow::report(transfer::Error error, const QString& success) {
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

void EdidWindow::check() {
    // A read in progress is judged as if it were over; otherwise only the
    // image's own tests speak.
    report(edid::EdidTransfer::imageError(view_->viewImage()),
           transfer_.reading() ? QStringLiteral("Read EDID OK!") : QString());
}

void EdidWindow::quit() {
    context_.message(QStringLiteral("Device quit EDID Set mode!"), kDeviceTitle);
    close();
}
