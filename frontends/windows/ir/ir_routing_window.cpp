#include "frontends/windows/ir/ir_routing_window.h"

#include "core/protocol/model.h"

#include "core/device/requests.h"
#include "core/ir/ir_codes.h"
#include "core/ir/ir_routing.h"
#include "core/protocol/commands.h"
#include "frontends/windows/widgets/device_context.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <iterator>

using device::WriteRequest;

IrRoutingWindow::IrRoutingWindow(DeviceContext& context, ir::IrRouting& routing)
    : FeatureWindow(context), routing_(routing) {
    setWindowTitle(QStringLiteral("IRMRX"));
    buildUi();
    connect(&routing_, &ir::IrRouting::outputChanged, this, &IrRoutingWindow::showOutput);
    for (int g = 0; g < routing_.model().irPorts; ++g)
        showOutput(g);
}

void IrRoutingWindow::buildUi() {
    static const char* const titles[] = {" 1", " 2", "3", "4", "5", "6", "7", "8"};
    const int ports = routing_.model().irPorts;
    auto* panels = new QGridLayout;
    panels->setSpacing(8);
    for (int k = 0; k < ports; ++k) {
        auto* panel = new QFrame(this);
        panel->setObjectName(QStringLiteral("irPanel%1").arg(k));
        // Selector by name, so the colour stays on the panel and does not
        // spread to its buttons.
        panel->setStyleSheet(QStringLiteral("QFrame#%1 { background-color: rgb(0, 0, 128);"
                                            " border-radius: 10px; }")
                                 .arg(panel->objectName()));
        outputPanels.append(panel);
        auto* grid = new QGridLayout(panel);
        grid->setContentsMargins(8, 6, 8, 8);
        grid->setHorizontalSpacing(4);
        const QString title =
            k < int(std::size(titles)) ? QString::fromLatin1(titles[k]) : QString::number(k + 1);
        auto* heading = new QLabel(title, panel);
        heading->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
        grid->addWidget(heading, 0, 0, 2, 1);
        outputTitles.append(heading);
        for (int place = 0; place < ports; ++place) {
            const int n = ports * k + place;
            auto* lamp = new widgets::Lamp(
                QColor(0, 255, 0),
                QStringLiteral("IR output %1 input %2").arg(k + 1).arg(place + 1), panel);
            lamp->setOutline(Qt::white);
            lamp->setFixedSize(14, 14);
            lamps.append(lamp);
            grid->addWidget(lamp, 0, place + 1, Qt::AlignCenter);
            auto* b = new QPushButton(QString::number(place + 1), panel);
            b->setFixedWidth(28);
            b->setAutoDefault(false);
            b->setAccessibleName(
                QStringLiteral("IR output %1 to input %2").arg(k + 1).arg(place + 1));
            connect(b, &QPushButton::clicked, this, [this, n] { onRouteClicked(n); });
            routeButtons.append(b);
            grid->addWidget(b, 1, place + 1);
        }
        panels->addWidget(panel, k / 2, k % 2);
    }

    allOutputsList = new QComboBox(this);
    allOutputsList->setMinimumWidth(110);
    // On Linux Qt names a list by the label it is the buddy of; elsewhere by
    // its accessible name.
    allOutputsList->setAccessibleName(QStringLiteral("All IR outputs to"));
    connect(allOutputsList, &QComboBox::activated, this, &IrRoutingWindow::onAllOutputsChosen);
    statusButton = new QPushButton(QStringLiteral("Status"), this);
    statusButton->setAutoDefault(false);
    connect(statusButton, &QPushButton::clicked, this, &IrRoutingWindow::onStatusClicked);

    auto* bottom = new QHBoxLayout;
    auto* allLabel = new QLabel(QStringLiteral("ALL:"), this);
    allLabel->setBuddy(allOutputsList);
    bottom->addWidget(allLabel);
    bottom->addWidget(allOutputsList);
    bottom->addStretch(1);
    bottom->addWidget(statusButton);

    auto* root = new QVBoxLayout(this);
    root->addLayout(panels);
    root->addLayout(bottom);
}

void IrRoutingWindow::prepare() {
    // The lamps keep what the device reported while the window was closed.
    allOutputsList->clear();
    for (int i = 0; i < routing_.model().irPorts; ++i)
        allOutputsList->addItem(QStringLiteral("IR PORT%1").arg(i + 1));
    allOutputsList->setCurrentIndex(-1);
}

void IrRoutingWindow::showOutput(int g) {
    const int v = routing_.input(g);
    const int ports = routing_.model().irPorts;
    const int first = ports * g;
    for (int n = first; n < first + ports; ++n)
        lamps[n]->setLit(n == first + v);
}

void IrRoutingWindow::onRouteClicked(int n) {
    const protocol::Model& model = routing_.model();
    if (n >= 0 && n < model.irPorts * model.irPorts)
        context_.write(
            WriteRequest::line(model.irRoute(n / model.irPorts + 1, n % model.irPorts + 1),
                               WriteRequest::Check::Reported));
}

void IrRoutingWindow::onAllOutputsChosen() {
    const int i = allOutputsList->currentIndex();
    if (i < 0)
        return;
    if (i < routing_.model().irPorts)
        context_.write(
            WriteRequest::line(routing_.model().irRouteAll(i + 1), WriteRequest::Check::Reported));
}

void IrRoutingWindow::onStatusClicked() {
    context_.write(WriteRequest::line(protocol::irStatusCommand(), WriteRequest::Check::Reported));
}
