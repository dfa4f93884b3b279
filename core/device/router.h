#pragma once

#include "core/protocol/replies.h"

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

// The reply interpreter: every reply line comes here, is read once into a
// typed event (protocol::parseReply) and dispatched on it. Routing reports,
// IR routing reports and acknowledgements are understood in every state;
// then the event belongs to the feature whose device mode is on (the IR
// codes, the EDID transfer, the settings), together with that mode's
// echoes; with no mode on, the line is unclaimed and goes to the receive
// log. Every event is then passed on (replied()), for the requests.
class Router : public QObject {
    Q_OBJECT
public:
    Router(device::RoutingState& routing, ir::IrRouting& irRouting, device::DeviceModes& modes,
           edid::EdidTransfer& edid, ir::IrCodeRun& irCodes, settings::SettingsSession& settings);

    void FindCmdProcess(const QString& line);

signals:
    // A routing report, as the one-digit texts it carries (for the log).
    void routingReported(const QString& output, const QString& input);
    // A line no feature took, with no device mode on.
    void unclaimed(const QString& line);
    // Every reply, after the state and the features have seen it.
    void replied(const protocol::Reply& reply);

private:
    void dispatch(const protocol::Reply& r);
    void irMode(const protocol::Reply& r);
    void edidMode(const protocol::Reply& r);
    void setupMode(const protocol::Reply& r);

    device::RoutingState& routing_;
    ir::IrRouting& irRouting_;
    device::DeviceModes& modes_;
    edid::EdidTransfer& edid_;
    ir::IrCodeRun& irCodes_;
    settings::SettingsSession& settings_;
};

} // namespace device
