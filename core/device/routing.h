#pragma once

#include "core/protocol/commands.h"

#include <QString>
#include <cstdint>

namespace device {

// The routing commands are the protocol's.
using protocol::allOutputsCommand;
using protocol::HTS;
using protocol::presetRecallCommand;
using protocol::presetSaveCommand;
using protocol::RouteCode;
using protocol::routeCommand;

// Routing buttons are numbered 11..90: output k = (n - 1) / 10, position
// j = n - 10k, inputs at positions 1..8, the left arrow at 9, the right at 10.
inline int routeOutput(int n) {
    return (n - 1) / 10;
}
inline int routePosition(int n) {
    return n - 10 * routeOutput(n);
}

} // namespace device
