#pragma once

#include "core/device/device_modes.h"
#include "core/device/request_queue.h"
#include "core/device/router.h"
#include "core/device/routing_state.h"
#include "core/edid/edid_transfer.h"
#include "core/ir/ir_code_run.h"
#include "core/ir/ir_routing.h"
#include "core/protocol/model.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"
#include "core/settings/settings_session.h"

#include <QObject>

namespace platform {
class Platform;
}

namespace device {

// The switcher as the program sees it, without any window: the connection,
// the state and exchanges of every feature, and the reply interpreter that
// hands each line from the connection to them. The windows render it and
// forward the operator's clicks; the command-line tool and the server submit
// requests to its queue.
class Switcher : public QObject {
    Q_OBJECT
public:
    explicit Switcher(platform::Platform& platform,
                      const protocol::Model& model = protocol::Model::standard());

    // The model this switcher is: every count and port command of the core
    // and of the front ends on it.
    const protocol::Model& model() const { return model_; }

    seriallink::Connection& link() { return link_; }
    device::DeviceModes& modes() { return modes_; }
    device::RoutingState& routing() { return routing_; }
    edid::EdidTransfer& edid() { return edid_; }
    ir::IrCodeRun& irCodes() { return irCodes_; }
    ir::IrRouting& irRouting() { return irRouting_; }
    settings::SettingsSession& settings() { return settings_; }
    device::Router& router() { return router_; }
    // The requests with completion rules, one at a time (request_queue.h).
    device::RequestQueue& requests() { return requests_; }
    platform::Platform& platform() { return platform_; }

private:
    // The queue lends the wire to the exchange on the line.
    friend class RequestQueue;
    seriallink::Wire& wire() { return wire_; }

    // Declared in the order their timers are made: the receive tick first,
    // then the mode watchdog, then the features' answer timers.
    protocol::Model model_;
    seriallink::Connection link_;
    seriallink::Wire wire_{link_};
    device::DeviceModes modes_;
    device::RoutingState routing_;
    edid::EdidTransfer edid_;
    ir::IrCodeRun irCodes_;
    ir::IrRouting irRouting_;
    settings::SettingsSession settings_;
    device::Router router_;
    platform::Platform& platform_;
    // After the router: a request sees a reply once the state has.
    device::RequestQueue requests_;
};

} // namespace device
