#include "core/device/routing_state.h"

#include "core/device/routing.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"

namespace device {

RoutingState::RoutingState(seriallink::Wire& wire, const protocol::Model& model)
    : wire_(wire), model_(model), lit_(model.outputs, -1) {}

void RoutingState::outled(int ledport, int ss) {
    if (!model_.isOutput(ledport))
        return;
    int i = ss - 1;
    if (i >= model_.inputs)
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

QString RoutingState::route(int output, int input) {
    if (!model_.isOutput(output) || !model_.isInput(input))
        return {};
    const QString cmd = model_.route(output, input);
    wire_.rawReported(seriallink::wireBytes(cmd));
    return cmd;
}

bool RoutingState::presetSave(int index) {
    return wire_.guardOpen() && wire_.line(model_.presetSave(index + 1));
}

bool RoutingState::presetRecall(int index) {
    return wire_.guardOpen() && wire_.line(model_.presetRecall(index + 1));
}

bool RoutingState::allOutputs(int input0) {
    return wire_.guardOpen() && wire_.line(model_.allOutputs(input0 + 1));
}

bool RoutingState::status() {
    return wire_.lineReported(protocol::statusCommand());
}

} // namespace device
