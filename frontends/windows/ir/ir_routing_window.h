#pragma once

#include "core/protocol/model.h"
#include "frontends/windows/widgets/feature_window.h"
#include "frontends/windows/widgets/lamp.h"

#include <QList>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace ir {
class IrRouting;
}

// The IR routing window: one panel per IR output port of the model with a
// button and a lamp per IR input port. The lamps show the IR routing the device reports,
// which is kept whether the window is open or not.
class IrRoutingWindow : public FeatureWindow {
    Q_OBJECT
public:
    IrRoutingWindow(DeviceContext& context, ir::IrRouting& routing);
    void prepare() override;

    void onRouteClicked(int n); // route output n / irPorts to input n % irPorts
    void onAllOutputsChosen();  // route all outputs to the chosen input
    void onStatusClicked();     // "Status"

    // As many as the model's IR ports: outputPanels[k] and outputTitles[k]
    // are IR output k + 1; routeButtons[n] and lamps[n] its input i + 1, where
    // n = k * irPorts + i.
    QList<QFrame*> outputPanels;
    QList<QLabel*> outputTitles;
    QList<QPushButton*> routeButtons;
    QList<widgets::Lamp*> lamps;
    QComboBox* allOutputsList = nullptr;
    QPushButton* statusButton = nullptr;

private:
    void buildUi();
    void showOutput(int output);

    ir::IrRouting& routing_;
};
