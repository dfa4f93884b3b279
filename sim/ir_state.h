#pragma once

namespace sim {

// What the simulated switcher keeps for this feature.
struct IrState {};

} // namespace sim
