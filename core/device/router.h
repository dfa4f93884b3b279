#pragma once

#include <QObject>
#include <QString>

namespace device {
class DeviceModes;
class RoutingState;
} // namespace device
namespace edid {
class EdidTransfer;
}
namespace ir {
class IrCodeRun;
class IrRouting;
} // namespace ir
namespace settings {
class SettingsSession;
}

namespace device {

// The reply interpreter: every reply line comes here. Routing reports, IR
// routing reports and acknowledgements are understood in every state; then
// the line belongs to the feature whose device mode is on (the IR codes, the
// EDID transfer, the settings), together with that mode's echoes; with no
// mode on, it is echoed into the receive log.
class Router : public QObject {
    Q_OBJECT
public:
    Router(device::RoutingState& routing, ir::IrRouting& irRouting,
           device::DeviceModes& modes, edid::EdidTransfer& edid, ir::IrCodeRun& irCodes,
           settings::SettingsSession& settings);

    void FindCmdProcess(const QString& line);

signals:
    // Text for the end of the receive log, and the log scrolled to its end.
    void logAppended(const QString& text);
    void logScrolled();

private:
    void irMode(const QString& line);
    void edidMode(const QString& line);
    void setupMode(const QString& line);

    device::RoutingState& routing_;
    ir::IrRouting& irRouting_;
    device::DeviceModes& modes_;
    edid::EdidTransfer& edid_;
    ir::IrCodeRun& irCodes_;
    settings::SettingsSession& settings_;
};

} // namespace device
