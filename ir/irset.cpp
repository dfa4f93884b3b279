#include "ir/irset.h"

#include "ir/ir_link.h"
#include "main_window/form1.h"

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

IrSet::IrSet(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("IR CODE SET"));
    buildUi();
    answerTimer = form1_.platform().createTimer(this);
    answerTimer->setInterval(kAnswerMs);
    answerTimer->setSingleShot(true);
    connect(answerTimer, &platform::Timer::timeout, this, &IrSet::onAnswerTimeout);
    // The device leaves IR mode when the window closes; nothing more can
    // answer the run.
    connect(this, &QDialog::finished, this, &IrSet::stopRun);
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
    for (int r = 0; r < 8; ++r) {
        grid->addWidget(new QLabel(QStringLiteral("Output%1").arg(r + 1), this), r + 2, 0);
        for (int c = 0; c < ir::kGridColumns; ++c)
            grid->addWidget(codetxt[ir::entryAt(r, c)], r + 2, c + 1);
    }
    auto* table = new QGroupBox(QStringLiteral("Wait to modify code"), this);
    table->setLayout(grid);

    CstCode = new QLineEdit(this);
    DataCode = new QLineEdit(this);
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
    stopRun();
    codefocus = 1;
    for (int k = 0; k < ir::kEntries; ++k) {
        codetxt[k]->clear();
        setBoxColor(k, ir::kNormal);
    }
    // The window would otherwise give the focus back to the box that had
    // it when the window closed, and learned codes would go there.
    codetxt[0]->setFocus();
    CstCode->clear();
    DataCode->clear();
    ProgressBar1->setValue(0);
    setStatusText(QString());
}

void IrSet::quit() {
    form1_.message(QStringLiteral("Device quit IR Set mode!"), QStringLiteral("TARVIK-QE7"));
    close();
}

QColor IrSet::boxColor(int k) const {
    return codetxt[k]->palette().color(QPalette::Base);
}

void IrSet::setBoxColor(int k, const QColor& c) {
    QPalette p = codetxt[k]->palette();
    p.setColor(QPalette::Base, c);
    codetxt[k]->setPalette(p);
}

QString IrSet::statusText() const {
    return status_->text();
}
void IrSet::setStatusText(const QString& text) {
    status_->setText(text);
}

void IrSet::codetxt_GotFocus(int k) {
    setBoxColor(k, ir::kNormal);
    // A learned data code never lands in the custom-code box.
    codefocus = k == 0 ? 1 : k;
}

void IrSet::Command1_Click() {
    // Emptying the table when nothing can be read would lose the operator's
    // work for nothing.
    if (!form1_.link().isOpen()) {
        form1_.message(seriallink::kWriteFailedText, seriallink::kWriteFailedTitle);
        return;
    }
    for (int k = 0; k < ir::kEntries; ++k) {
        codetxt[k]->clear();
        setBoxColor(k, ir::kNormal);
    }
    method = 0;
    form1_.codeInt = 0;
    startRun(ir::readCodeCommand(form1_.codeInt));
}

void IrSet::Command2_Click() {
    bool failed = false;
    QStringList texts;
    for (int k = 0; k < ir::kEntries; ++k) {
        texts << codetxt[k]->text();
        if (!ir::panduanHex(texts.last())) {
            setBoxColor(k, ir::kFormatError);
            setStatusText(QStringLiteral("format error!"));
            failed = true;
        }
    }
    // Colours from an earlier check stay until the box is focused, so the
    // duplicate test goes by what the boxes show now.
    std::array<bool, ir::kEntries> orange{};
    for (int k = 0; k < ir::kEntries; ++k)
        orange[k] = boxColor(k) == ir::kFormatError;
    const auto dup = ir::findDuplicates(texts, orange);
    for (int k = 1; k < ir::kEntries; ++k) {
        if (dup[k]) {
            setBoxColor(k, ir::kDuplicate);
            setStatusText(QStringLiteral("the same code!"));
            failed = true;
        }
    }
    if (failed)
        return;
    method = 1;
    form1_.codeInt = 0;
    startRun(ir::writeCodeCommand(form1_.codeInt, texts[0]));
}

void IrSet::startRun(const QString& command) {
    stopRun();
    if (!ir::sendCommand(form1_, command))
        return;
    running_ = true;
    answerTimer->start();
}

void IrSet::sendRunCommand(const QString& command) {
    if (!running_)
        return;
    if (form1_.link().sendLine(command)) {
        answerTimer->start();
        return;
    }
    // The run ends before the failure is reported: an answer that comes in
    // while the box is up must find no run to carry on.
    stopRun();
    form1_.message(seriallink::kWriteFailedText, seriallink::kWriteFailedTitle);
}

void IrSet::endRun(const QString& status) {
    stopRun();
    setStatusText(status);
}

void IrSet::stopRun() {
    running_ = false;
    answerTimer->stop();
}

void IrSet::onAnswerTimeout() {
    if (!running_)
        return;
    endRun(QStringLiteral("Time Out!"));
}
