#include "frontends/windows/ir/ir_codes_window.h"

#include "core/protocol/model.h"

#include "frontends/windows/titles.h"
#include "frontends/windows/widgets/device_context.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace ir {

CodeBox::CodeBox(int index, QWidget* parent) : QLineEdit(parent), index_(index) {
    setMaxLength(2);
    setAlignment(Qt::AlignCenter);
    setFixedWidth(34);
    setAccessibleName(index == 0 ? QStringLiteral("Custom code")
                                 : QStringLiteral("Data code %1").arg(index));
}

void CodeBox::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    // Keys that type nothing (arrows, Home, End), and the keys that move
    // focus or close the window, are not characters and pass as usual.
    const bool notACharacter = typed.isEmpty() || event->key() == Qt::Key_Tab ||
                               event->key() == Qt::Key_Backtab || event->key() == Qt::Key_Escape ||
                               event->key() == Qt::Key_Delete;
    if (!notACharacter) {
        for (QChar c : typed) {
            if (!acceptsCodeKey(c)) {
                // Swallowed here, so it cannot reach the dialog either
                // (Enter would press a button).
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void CodeBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    emit focused(index_);
}

} // namespace ir

IrCodesWindow::IrCodesWindow(DeviceContext& context, ir::IrCodeRun& run,
                             const protocol::Model& model)
    : FeatureWindow(context), run_(run) {
    setWindowTitle(QStringLiteral("IR CODE SET"));
    buildUi(model.irCodeEntries);
    connect(&run_, &ir::IrCodeRun::codeChanged, this, &IrCodesWindow::showCode);
    connect(&run_, &ir::IrCodeRun::markChanged, this, &IrCodesWindow::showMark);
    connect(&run_, &ir::IrCodeRun::progress, this, &IrCodesWindow::showProgress);
    connect(&run_, &ir::IrCodeRun::finished, this, &IrCodesWindow::runEnded);
    connect(&run_, &ir::IrCodeRun::learned, this, [this](const QString& c, const QString& d) {
        receivedCustomCode->setText(c);
        receivedDataCode->setText(d);
    });
    connect(&run_, &ir::IrCodeRun::focusRequested, this,
            [this](int k) { codeBoxes[k]->setFocus(); });
    for (int k = 0; k < codeBoxes.size(); ++k) {
        connect(codeBoxes[k], &QLineEdit::textChanged, this, [this, k](const QString& text) {
            if (!showing_)
                run_.codeEdited(k, text);
        });
    }
    // The device leaves IR mode when the window closes; nothing more can
    // answer the run.
    connect(this, &QDialog::finished, &run_, &ir::IrCodeRun::end);
}

void IrCodesWindow::buildUi(int entries) {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    for (int k = 0; k < entries; ++k) {
        auto* box = new ir::CodeBox(k, this);
        connect(box, &ir::CodeBox::focused, this, &IrCodesWindow::onCodeFocused);
        codeBoxes.append(box);
    }
    grid->addWidget(new QLabel(QStringLiteral("Custom Code:"), this), 0, 0);
    grid->addWidget(codeBoxes[0], 0, 1);
    static const char* const headings[ir::kGridColumns] = {"1", "2", "3", "4", "5",
                                                           "6", "7", "8", "<", ">"};
    for (int c = 0; c < ir::kGridColumns; ++c) {
        auto* h = new QLabel(QString::fromLatin1(headings[c]), this);
        h->setAlignment(Qt::AlignCenter);
        grid->addWidget(h, 1, c + 1);
    }
    for (int r = 0; r < protocol::kFamilyIrPorts; ++r) {
        grid->addWidget(new QLabel(QStringLiteral("Output%1").arg(r + 1), this), r + 2, 0);
        for (int c = 0; c < ir::kGridColumns; ++c)
            grid->addWidget(codeBoxes[ir::entryAt(r, c)], r + 2, c + 1);
    }
    auto* table = new QGroupBox(QStringLiteral("Wait to modify code"), this);
    table->setLayout(grid);

    receivedCustomCode = new QLineEdit(this);
    receivedDataCode = new QLineEdit(this);
    // The labels beside them name the grid's boxes as well.
    receivedCustomCode->setAccessibleName(QStringLiteral("Received custom code"));
    receivedDataCode->setAccessibleName(QStringLiteral("Received data code"));
    for (QLineEdit* e : {receivedCustomCode, receivedDataCode}) {
        e->setReadOnly(true);
        e->setFixedWidth(40);
        e->setAlignment(Qt::AlignCenter);
    }
    auto* received = new QGroupBox(QStringLiteral("Receive Code"), this);
    auto* rl = new QGridLayout(received);
    rl->addWidget(new QLabel(QStringLiteral("Custom Code:"), received), 0, 0);
    rl->addWidget(receivedCustomCode, 0, 1);
    rl->addWidget(new QLabel(QStringLiteral("Data Code:"), received), 1, 0);
    rl->addWidget(receivedDataCode, 1, 1);

    readButton = new QPushButton(QStringLiteral("Read Code"), this);
    writeButton = new QPushButton(QStringLiteral("Write Code"), this);
    // Neither button is the dialog's default: Enter in a box does nothing.
    readButton->setAutoDefault(false);
    writeButton->setAutoDefault(false);
    connect(readButton, &QPushButton::clicked, this, &IrCodesWindow::onReadClicked);
    connect(writeButton, &QPushButton::clicked, this, &IrCodesWindow::onWriteClicked);

    auto* side = new QVBoxLayout;
    side->addWidget(readButton);
    side->addWidget(writeButton);
    side->addSpacing(12);
    side->addWidget(received);
    side->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(table, 1);
    top->addLayout(side);

    progressBar = new QProgressBar(this);
    progressBar->setRange(0, ir::kLastEntry);
    progressBar->setValue(0);

    statusBar = new QStatusBar(this);
    statusBar->setSizeGripEnabled(false);
    status_ = new QLabel(statusBar);
    statusBar->addWidget(status_, 1);

    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addWidget(progressBar);
    root->addWidget(statusBar);
}

void IrCodesWindow::prepare() {
    run_.prepare();
    progressBar->setValue(0);
    status_->setText(QString());
    // The window would otherwise give the focus back to the box that had
    // it when the window closed, and learned codes would go there.
    codeBoxes[0]->setFocus();
    receivedCustomCode->setText(run_.lastCustomCode());
    receivedDataCode->setText(run_.lastDataCode());
}

void IrCodesWindow::quit() {
    context_.message(QStringLiteral("Device quit IR Set mode!"), kEdidFileTitle);
    close();
}

void IrCodesWindow::showCode(int k, const QString& text) {
    showing_ = true;
    codeBoxes[k]->setText(text);
    showing_ = false;
}

namespace {

QColor colourOf(ir::IrCodeRun::Mark m) {
    switch (m) {
    case ir::IrCodeRun::Mark::FormatError:
        return ir::kFormatError;
    case ir::IrCodeRun::Mark::Duplicate:
        return ir::kDuplicate;
    case ir::IrCodeRun::Mark::Normal:
        break;
    }
    return ir::kNormal;
}

} // namespace

void IrCodesWindow::showMark(int k) {
    QPalette p = codeBoxes[k]->palette();
    p.setColor(QPalette::Base, colourOf(run_.mark(k)));
    codeBoxes[k]->setPalette(p);
}

QColor IrCodesWindow::boxColor(int k) const {
    return codeBoxes[k]->palette().color(QPalette::Base);
}

void IrCodesWindow::setBoxColor(int k, const QColor& c) {
    using Mark = ir::IrCodeRun::Mark;
    run_.setMark(k, c == ir::kFormatError ? Mark::FormatError
                    : c == ir::kDuplicate ? Mark::Duplicate
                                          : Mark::Normal);
}

QString IrCodesWindow::statusText() const {
    return status_->text();
}

void IrCodesWindow::onCodeFocused(int k) {
    run_.learnInto(k);
}

void IrCodesWindow::showProgress(int done) {
    progressBar->setValue(done);
    switch (run_.phase()) {
    case transfer::Phase::Write:
        status_->setText(QStringLiteral("Writing"));
        break;
    case transfer::Phase::Check:
        status_->setText(QStringLiteral("Write Checking!"));
        break;
    default:
        status_->setText(QStringLiteral("Reading"));
    }
}

void IrCodesWindow::runEnded(const transfer::Outcome& o) {
    const bool reading = o.phase == transfer::Phase::Read;
    switch (o.error) {
    case transfer::Error::None:
        status_->setText(reading ? QStringLiteral("Read OK!") : QStringLiteral("Write OK!"));
        break;
    case transfer::Error::TimedOut:
        status_->setText(QStringLiteral("Time Out!"));
        break;
    case transfer::Error::OutOfStep:
    case transfer::Error::VerifyMismatch:
        status_->setText(reading ? QStringLiteral("Read error!") : QStringLiteral("Write error!"));
        break;
    default:
        break; // a failed write has its own box; a run stopped says nothing
    }
}

void IrCodesWindow::onReadClicked() {
    run_.readCode();
}

void IrCodesWindow::onWriteClicked() {
    switch (run_.writeCode()) {
    case ir::IrCodeRun::Check::FormatError:
        status_->setText(QStringLiteral("format error!"));
        break;
    case ir::IrCodeRun::Check::Duplicate:
        status_->setText(QStringLiteral("the same code!"));
        break;
    case ir::IrCodeRun::Check::Passed:
        break;
    }
}
