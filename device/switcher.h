#pragma once

#include "edid/edid_transfer.h"
#include "ir/ir_code_run.h"
#include "ir/ir_routing.h"
#include "link/connection.h"
#include "main_window/device_modes.h"
#include "main_window/routing_state.h"
#include "replies/router.h"
#include "settings/settings_session.h"

#include <QObject>

namespace platform {
class Platform;
}

namespace device {

// The switcher as the program sees it, without any window: the connection,
// the state and exchanges of every feature, and the reply interpreter that
// hands each line from the connection to them. The windows render it and
// forward the operator's clicks; the command-line tool drives it directly.
class Switcher : public QObject {
    Q_OBJECT
public:
    explicit Switcher(platform::Platform& platform);

    seriallink::Connection& link() { return link_; }
    main_window::DeviceModes& modes() { return modes_; }
    main_window::RoutingState& routing() { return routing_; }
    edid::EdidTransfer& edid() { return edid_; }
    ir::IrCodeRun& irCodes() { return irCodes_; }
    ir::IrRouting& irRouting() { return irRouting_; }
    settings::SettingsSession& settings() { return settings_; }
    replies::Router& router() { return router_; }

private:
    // Declared in the order their timers are made: the receive tick first,
    // then the mode watchdog, then the features' answer timers.
    seriallink::Connection link_;
    main_window::DeviceModes modes_;
    main_window::RoutingState routing_;
    edid::EdidTransfer edid_;
    ir::IrCodeRun irCodes_;
    ir::IrRouting irRouting_;
    settings::SettingsSession settings_;
    replies::Router router_;
};

} // namespace device
