#include "core/device/routing_state.h"

#include "core/device/routing.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"

namespace device {

RoutingState::RoutingState(seriallink::Wire& wire) : wire_(wire) {
    lit_.fill(-1);
}

void RoutingState::outled(int ledport, int ss) {
    if (!protocol::isOutput(ledport))
        return;
    int i = ss - 1;
    if (i >= protocol::kInputs)
        i = 0;
    lit_[ledport - 1] = i >= 0 ? i : -1;
    emit outputChanged(ledport);
}

void RoutingState::outled(const QString& ledport, const QString& ss) {
    bool ok1 = false, ok2 = false;
    const int port = ledport.toInt(&ok1);
    const int input = ss.toInt(&ok2);
    if (!ok1 || !ok2)
        return;
    outled(port, input);
}

QString RoutingState::route(int n) {
    if (n < 11 || n > 90)
        return {};
    const QString cmd = routeCommand(n);
    wire_.rawReported(seriallink::wireBytes(cmd));
    return cmd;
}

bool RoutingState::presetSave(int index) {
    return wire_.guardOpen() && wire_.line(presetSaveCommand(index));
}

bool RoutingState::presetRecall(int index) {
    return wire_.guardOpen() && wire_.line(presetRecallCommand(index));
}

bool RoutingState::allOutputs(int input0) {
    return wire_.guardOpen() && wire_.line(allOutputsCommand(input0));
}

bool RoutingState::status() {
    return wire_.lineReported(protocol::statusCommand());
}

} // namespace device
