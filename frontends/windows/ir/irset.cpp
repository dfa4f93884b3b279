#include "frontends/windows/ir/irset.h"

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

IrSet::IrSet(DeviceContext& context, ir::IrCodeRun& run) : FeatureWindow(context), run_(run) {
    setWindowTitle(QStringLiteral("IR CODE SET"));
    buildUi();
    connect(&run_, &ir::IrCodeRun::codeChanged, this, &IrSet::showCode);
    connect(&run_, &ir::IrCodeRun::markChanged, this, &IrSet::showMark);
    connect(&run_, &ir::IrCodeRun::progress, this, &IrSet::showProgress);
    connect(&run_, &ir::IrCodeRun::finished, this, &IrSet::runEnded);
    connect(&run_, &ir::IrCodeRun::learned, this, [this](const QString& c, const QString& d) {
        CstCode->setText(c);
        DataCode->setText(d);
    });
    connect(&run_, &ir::IrCodeRun::focusRequested, this, [this](int k) { codetxt[k]->setFocus(); });
    for (int k = 0; k < ir::kEntries; ++k) {
        connect(codetxt[k], &QLineEdit::textChanged, this, [this, k](const QString& text) {
            if (!showing_)
                run_.codeEdited(k, text);
        });
    }
    // The device leaves IR mode when the window closes; nothing more can
    // answer the run.
    connect(this, &QDialog::finished, &run_, &ir::IrCodeRun::end);
}

void IrSet::buildUi() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(4);
    for (int k = 0; k < ir::kEntries; ++k) {
        codetxt[k] = new ir::CodeBox(k, this);
        connect(codetxt[k], &ir::CodeBox::focused, this, &IrSet::codetxt_GotFocus);
    }
    grid->addWidget(new QLabel(QStringLiteral("Custom Code:"), this), 0, 0);
    grid->addWidget(codetxt[0], 0, 1);
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
            grid->addWidget(codetxt[ir::entryAt(r, c)], r + 2, c + 1);
    }
    auto* table = new QGroupBox(QStringLiteral("Wait to modify code"), this);
    table->setLayout(grid);

    CstCode = new QLineEdit(this);
    DataCode = new QLineEdit(this);
    // The labels beside them name the grid's boxes as well.
    CstCode->setAccessibleName(QStringLiteral("Received custom code"));
    DataCode->setAccessibleName(QStringLiteral("Received data code"));
    for (QLineEdit* e : {CstCode, DataCode}) {
        e->setReadOnly(true);
        e->setFixedWidth(40);
        e->setAlignment(Qt::AlignCenter);
    }
    auto* received = new QGroupBox(QStringLiteral("Receive Code"), this);
    auto* rl = new QGridLayout(received);
    rl->addWidget(new QLabel(QStringLiteral("Custom Code:"), received), 0, 0);
    rl->addWidget(CstCode, 0, 1);
    rl->addWidget(new QLabel(QStringLiteral("Data Code:"), received), 1, 0);
    rl->addWidget(DataCode, 1, 1);

    Command1 = new QPushButton(QStringLiteral("Read Code"), this);
    Command2 = new QPushButton(QStringLiteral("Write Code"), this);
    // Neither button is the dialog's default: Enter in a box does nothing.
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    connect(Command1, &QPushButton::clicked, this, &IrSet::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &IrSet::Command2_Click);

    auto* side = new QVBoxLayout;
    side->addWidget(Command1);
    side->addWidget(Command2);
    side->addSpacing(12);
    side->addWidget(received);
    side->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(table, 1);
    top->addLayout(side);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setRange(0, ir::kLastEntry);
    ProgressBar1->setValue(0);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    status_ = new QLabel(StatusBar1);
    StatusBar1->addWidget(status_, 1);

    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addWidget(ProgressBar1);
    root->addWidget(StatusBar1);
}

void IrSet::Form_Load() {
    run_.prepare();
    ProgressBar1->setValue(0);
    status_->setText(QString());
    // The window would otherwise give the focus back to the box that had
    // it when the window closed, and learned codes would go there.
    codetxt[0]->setFocus();
    CstCode->setText(run_.lastCustomCode());
    DataCode->setText(run_.lastDataCode());
}

void IrSet::quit() {
    context_.message(QStringLiteral("Device quit IR Set mode!"), kEdidFileTitle);
    close();
}

void IrSet::showCode(int k, const QString& text) {
    showing_ = true;
    codetxt[k]->setText(text);
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

void IrSet::showMark(int k) {
    QPalette p = codetxt[k]->palette();
    p.setColor(QPalette::Base, colourOf(run_.mark(k)));
    codetxt[k]->setPalette(p);
}

QColor IrSet::boxColor(int k) const {
    return codetxt[k]->palette().color(QPalette::Base);
}

void IrSet::setBoxColor(int k, const QColor& c) {
    using Mark = ir::IrCodeRun::Mark;
    run_.setMark(k, c == ir::kFormatError ? Mark::FormatError
                    : c == ir::kDuplicate ? Mark::Duplicate
                                          : Mark::Normal);
}

QString IrSet::statusText() const {
    return status_->text();
}

void IrSet::codetxt_GotFocus(int k) {
    run_.learnInto(k);
}

void IrSet::showProgress(int done) {
    ProgressBar1->setValue(done);
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

void IrSet::runEnded(const transfer::Outcome& o) {
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

void IrSet::Command1_Click() {
    run_.readCode();
}

void IrSet::Command2_Click() {
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
