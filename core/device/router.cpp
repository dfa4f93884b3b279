#include "core/device/router.h"

#include "core/device/device_modes.h"
#include "core/device/routing_state.h"
#include "core/edid/edid_transfer.h"
#include "core/ir/ir_code_run.h"
#include "core/ir/ir_routing.h"
#include "core/settings/settings_session.h"

namespace device {

using Mode = DeviceModes::Mode;
using Kind = protocol::Reply::Kind;

Router::Router(device::RoutingState& routing, ir::IrRouting& irRouting, device::DeviceModes& modes,
               edid::EdidTransfer& edid, ir::IrCodeRun& irCodes,
               settings::SettingsSession& settings)
    : routing_(routing), irRouting_(irRouting), modes_(modes), edid_(edid), irCodes_(irCodes),
      settings_(settings) {}

void Router::readLine(const QString& line) {
    const protocol::Reply r = protocol::parseReply(line);
    dispatch(r);
    if (toRequests)
        toRequests(r);
    emit replied(r);
}

void Router::dispatch(const protocol::Reply& r) {
    switch (r.kind) {
    case Kind::RoutingReport:
        routing_.outled(r.output, r.input);
        emit routingReported(r.output, r.input);
        return;
    case Kind::IrRoutingReport:
        irRouting_.reported(r.irOutput, r.irInput);
        return;
    case Kind::Ack:
        return;
    default:
        break;
    }
    if (modes_.isOn(protocol::Mode::Ir)) {
        irMode(r);
        return;
    }
    if (modes_.isOn(protocol::Mode::Edid)) {
        edidMode(r);
        return;
    }
    if (modes_.isOn(protocol::Mode::Setup)) {
        setupMode(r);
        return;
    }
    // Late echoes of the word that closed a feature window.
    if (r.kind == Kind::ModeEcho && !r.entry)
        return;
    emit unclaimed(r.line);
}

void Router::irMode(const protocol::Reply& r) {
    if (irCodes_.reply(r))
        return;
    if (r.isEcho(Mode::Ir, true))
        modes_.confirm();
    else if (r.isEcho(Mode::Ir, false))
        modes_.deviceLeft(Mode::Ir);
}

void Router::edidMode(const protocol::Reply& r) {
    if (edid_.reply(r))
        return;
    if (r.isEcho(Mode::Edid, true))
        modes_.confirm();
    else if (r.isEcho(Mode::Edid, false))
        modes_.deviceLeft(Mode::Edid);
}

void Router::setupMode(const protocol::Reply& r) {
    if (r.isEcho(Mode::Setup, true))
        modes_.confirm();
    else if (!settings_.reply(r) && r.isEcho(Mode::Setup, false))
        modes_.deviceLeft(Mode::Setup);
}

} // namespace device
