#pragma once

#include "core/protocol/model.h"
#include "frontends/windows/widgets/feature_window.h"
#include "frontends/windows/widgets/lamp.h"

#include <array>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace ir {
class IrRouting;
}

// The IR routing window: one panel per IR output port with a button and a
// lamp per IR input port. The lamps show the IR routing the device reports,
// which is kept whether the window is open or not.
class IrRoutingWindow : public FeatureWindow {
    Q_OBJECT
public:
    IrRoutingWindow(DeviceContext& context, ir::IrRouting& routing);
    void prepare() override;

    void onRouteClicked(int n); // route output n / 8 to input n % 8
    void onAllOutputsChosen();  // route all outputs to the chosen input
    void onStatusClicked();     // "Status"

    std::array<QFrame*, protocol::kFamilyIrPorts> outputPanels{};
    std::array<QLabel*, protocol::kFamilyIrPorts> outputTitles{};
    std::array<QPushButton*, 64> routeButtons{};
    std::array<widgets::Lamp*, protocol::kFamilyIrPorts * protocol::kFamilyIrPorts> lamps{};
    QComboBox* allOutputsList = nullptr;
    QPushButton* statusButton = nullptr;

private:
    void buildUi();
    void showOutput(int output);

    ir::IrRouting& routing_;
};
