#include "ir/irmatrix.h"

#include "ir/ir_codes.h"
#include "ir/ir_link.h"
#include "main_window/form1.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ir {

std::optional<int> reportedOutput(const QString& aa) {
    if (aa.size() != 1 || aa[0] < QLatin1Char('0') || aa[0] > QLatin1Char('7'))
        return std::nullopt;
    return aa[0].unicode() - '0';
}

std::optional<int> reportedInput(const QString& bb) {
    int v = 0;
    int digits = 0;
    for (QChar c : bb) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        // Anything past one digit is already out of range; stop before it
        // could overflow.
        if (v > 7)
            return std::nullopt;
        v = 10 * v + (c.unicode() - '0');
        ++digits;
    }
    if (digits == 0 || v > 7)
        return std::nullopt;
    return v;
}

} // namespace ir

IRMatrix::IRMatrix(Form1& form1) : FeatureWindow(form1) {
    setWindowTitle(QStringLiteral("IRMRX"));
    buildUi();
}

void IRMatrix::buildUi() {
    static const char* const titles[8] = {" 1", " 2", "3", "4", "5", "6", "7", "8"};
    auto* panels = new QGridLayout;
    panels->setSpacing(8);
    for (int k = 0; k < 8; ++k) {
        auto* panel = new QFrame(this);
        panel->setObjectName(QStringLiteral("irPanel%1").arg(k));
        // Selector by name, so the colour stays on the panel and does not
        // spread to its buttons.
        panel->setStyleSheet(QStringLiteral("QFrame#%1 { background-color: rgb(0, 0, 128);"
                                            " border-radius: 10px; }")
                                 .arg(panel->objectName()));
        Shape1[k] = panel;
        auto* grid = new QGridLayout(panel);
        grid->setContentsMargins(8, 6, 8, 8);
        grid->setHorizontalSpacing(4);
        Label1[k] = new QLabel(QString::fromLatin1(titles[k]), panel);
        Label1[k]->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
        grid->addWidget(Label1[k], 0, 0, 2, 1);
        for (int place = 0; place < 8; ++place) {
            const int n = 8 * k + place;
            auto* lamp = new main_window::Lamp(
                QColor(0, 255, 0),
                QStringLiteral("IR output %1 input %2").arg(k + 1).arg(place + 1), panel);
            lamp->setOutline(Qt::white);
            lamp->setFixedSize(14, 14);
            Shape2[n] = lamp;
            grid->addWidget(lamp, 0, place + 1, Qt::AlignCenter);
            auto* b = new QPushButton(QString::number(place + 1), panel);
            b->setFixedWidth(28);
            b->setAutoDefault(false);
            b->setAccessibleName(
                QStringLiteral("IR output %1 to input %2").arg(k + 1).arg(place + 1));
            connect(b, &QPushButton::clicked, this, [this, n] { Command1_Click(n); });
            Command1[n] = b;
            grid->addWidget(b, 1, place + 1);
        }
        panels->addWidget(panel, k / 2, k % 2);
    }

    Combo1 = new QComboBox(this);
    Combo1->setMinimumWidth(110);
    connect(Combo1, &QComboBox::activated, this, &IRMatrix::Combo1_Click);
    Command2 = new QPushButton(QStringLiteral("Status"), this);
    Command2->setAutoDefault(false);
    connect(Command2, &QPushButton::clicked, this, &IRMatrix::Command2_Click);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("ALL:"), this));
    bottom->addWidget(Combo1);
    bottom->addStretch(1);
    bottom->addWidget(Command2);

    auto* root = new QVBoxLayout(this);
    root->addLayout(panels);
    root->addLayout(bottom);
}

void IRMatrix::Form_Load() {
    // The lamps keep what the device reported while the window was closed.
    Combo1->clear();
    for (int i = 0; i < 8; ++i)
        Combo1->addItem(QStringLiteral("IR PORT%1").arg(i + 1));
    Combo1->setCurrentIndex(-1);
}

void IRMatrix::Ledstatus(const QString& aa, const QString& bb) {
    const auto g = ir::reportedOutput(aa);
    // An input past the last one would light a lamp of the next panel;
    // such a report names no input and leaves the panel as it was.
    const auto v = ir::reportedInput(bb);
    if (!g || !v)
        return;
    for (int n = 8 * *g; n < 8 * *g + 8; ++n)
        Shape2[n]->setLit(false);
    Shape2[8 * *g + *v]->setLit(true);
}

void IRMatrix::Command1_Click(int n) {
    if (n < 0 || n > 63)
        return;
    ir::sendCommand(form1_, ir::irRouteCommand(n));
}

void IRMatrix::Combo1_Click() {
    const int i = Combo1->currentIndex();
    if (i < 0)
        return;
    ir::sendCommand(form1_, ir::irRouteAllCommand(i));
}

void IRMatrix::Command2_Click() {
    ir::sendCommand(form1_, QStringLiteral("ims"));
}
