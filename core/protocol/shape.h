#pragma once

// The switcher's shape, defined here and nowhere else. Every count of the
// program (the window's grid, the tool's checks, the server's protocols,
// the simulator) comes from these.
//
// Ports are counted from 1 everywhere in the program, as the operator and
// the switcher's reports count them; each protocol converts at its own edge
// (the commands' 0-based hexadecimal digits, the Videohub protocol's 0-based
// numbers).
namespace protocol {

inline constexpr int kInputs = 8;
inline constexpr int kOutputs = 8;
// Presets the switcher keeps.
inline constexpr int kPresets = 3;
// IR inputs and outputs of the IR routing.
inline constexpr int kIrPorts = 8;
// Entries of the IR code table: the custom code and 80 data codes.
inline constexpr int kIrCodeEntries = 81;

// How long a routing command's report may take once the command is written
// (the tool's default --timeout, the server's routes).
inline constexpr int kRoutingTimeoutMs = 1000;

constexpr bool isOutput(int n) {
    return n >= 1 && n <= kOutputs;
}
constexpr bool isInput(int n) {
    return n >= 1 && n <= kInputs;
}
constexpr bool isPreset(int n) {
    return n >= 1 && n <= kPresets;
}

} // namespace protocol
