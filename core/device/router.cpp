#include "core/device/router.h"

#include "core/edid/edid_transfer.h"
#include "core/ir/ir_code_run.h"
#include "core/ir/ir_routing.h"
#include "core/protocol/reply_line.h"
#include "core/device/device_modes.h"
#include "core/device/routing_state.h"
#include "core/settings/settings_session.h"

namespace device {

using Mode = DeviceModes::Mode;
using protocol::chars;
using protocol::keyword;

namespace {

bool isDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isRoutingReport(const QString& line) {
    return line.size() >= 3 && line[0] == QChar('s') && isDigit(line[1]) && isDigit(line[2]);
}

} // namespace

Router::Router(device::RoutingState& routing, ir::IrRouting& irRouting,
               device::DeviceModes& modes, edid::EdidTransfer& edid, ir::IrCodeRun& irCodes,
               settings::SettingsSession& settings)
    : routing_(routing), irRouting_(irRouting), modes_(modes), edid_(edid), irCodes_(irCodes),
      settings_(settings) {}

void Router::FindCmdProcess(const QString& line) {
    if (isRoutingReport(line)) {
        const QString out = chars(line, 2, 1);
        const QString in = chars(line, 3, 1);
        routing_.outled(out, in);
        emit logAppended(QStringLiteral("\r\nHDMI Out") + out + QStringLiteral(" -> HDMI In") + in);
        emit logScrolled();
        return;
    }
    if (keyword(line, "srp")) {
        irRouting_.IRout = chars(line, 6, 1);
        irRouting_.IRin = chars(line, 9, 1);
        irRouting_.Ledstatus(irRouting_.IRout, irRouting_.IRin);
        return;
    }
    if (keyword(line, "Ack"))
        return;
    if (modes_.IrMode == 1) {
        irMode(line);
        return;
    }
    if (modes_.EdidMode == 1) {
        edidMode(line);
        return;
    }
    if (modes_.SetupMode == 1) {
        setupMode(line);
        return;
    }
    // Late echoes of the word that closed a feature window.
    if (keyword(line, "sto") || keyword(line, "edo") || keyword(line, "iro"))
        return;
    emit logAppended(line);
    emit logScrolled();
}

void Router::irMode(const QString& line) {
    if (irCodes_.reply(line))
        return;
    if (keyword(line, "irm"))
        modes_.confirm();
    else if (keyword(line, "iro"))
        modes_.deviceLeft(Mode::Ir);
}

void Router::edidMode(const QString& line) {
    if (edid_.reply(line))
        return;
    if (keyword(line, "edm"))
        modes_.confirm();
    else if (keyword(line, "edo"))
        modes_.deviceLeft(Mode::Edid);
}

void Router::setupMode(const QString& line) {
    if (keyword(line, "stm"))
        modes_.confirm();
    else if (!settings_.reply(line) && keyword(line, "sto"))
        modes_.deviceLeft(Mode::Setup);
}

} // namespace device
