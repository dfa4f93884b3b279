#pragma once

#include "core/protocol/replies.h"

#include <QObject>
#include <QString>
#include <functional>

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
// log. Every event is then passed on: to the request queue by a direct
// call (every line goes there, and a signal costs several times the
// dispatch), and to anyone else by replied().
class Router : public QObject {
    Q_OBJECT
public:
    Router(device::RoutingState& routing, ir::IrRouting& irRouting, device::DeviceModes& modes,
           edid::EdidTransfer& edid, ir::IrCodeRun& irCodes, settings::SettingsSession& settings);

    void readLine(const QString& line);
    // The request queue's handler of every reply; set while the queue lives.
    std::function<void(const protocol::Reply&)> toRequests;

signals:
    // A routing report: the output's and the input's digits (for the log).
    void routingReported(int output, int input);
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
