#include "core/ir/ir_routing.h"

#include "core/ir/ir_codes.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"

namespace ir {

std::optional<int> reportedOutput(const QString& aa) {
    const int digit = aa.size() == 1 ? aa[0].unicode() - '0' : -1;
    if (digit < 0 || digit >= protocol::kFamilyIrPorts)
        return std::nullopt;
    return digit;
}

std::optional<int> reportedInput(const QString& bb) {
    int v = 0;
    int digits = 0;
    for (QChar c : bb) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        // Anything past one digit is already out of range; stop before it
        // could overflow.
        if (v >= protocol::kFamilyIrPorts)
            return std::nullopt;
        v = 10 * v + (c.unicode() - '0');
        ++digits;
    }
    if (digits == 0 || v >= protocol::kFamilyIrPorts)
        return std::nullopt;
    return v;
}

IrRouting::IrRouting(seriallink::Wire& wire, const protocol::Model& model)
    : wire_(wire), model_(model), input_(model.irPorts, -1) {}

void IrRouting::reported(const QString& aa, const QString& bb) {
    lastOutput_ = aa;
    lastInput_ = bb;
    const auto g = reportedOutput(aa);
    // An input past the last one would light a lamp of the next panel;
    // such a report names no input and leaves the panel as it was.
    const auto v = reportedInput(bb);
    if (!g || !v || !model_.isIrPort(*g + 1) || !model_.isIrPort(*v + 1))
        return;
    input_[*g] = *v;
    emit outputChanged(*g);
}

bool IrRouting::route(int output, int input) {
    if (!model_.isIrPort(output + 1) || !model_.isIrPort(input + 1))
        return false;
    return wire_.lineReported(model_.irRoute(output + 1, input + 1));
}

bool IrRouting::routeAll(int input) {
    if (!model_.isIrPort(input + 1))
        return false;
    return wire_.lineReported(model_.irRouteAll(input + 1));
}

bool IrRouting::status() {
    return wire_.lineReported(protocol::irStatusCommand());
}

} // namespace ir
