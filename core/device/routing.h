#pragma once

#include "core/protocol/commands.h"

namespace device {

// The routing commands are the protocol's.
using protocol::allOutputsCommand;
using protocol::HTS;
using protocol::presetRecallCommand;
using protocol::presetSaveCommand;

} // namespace device
