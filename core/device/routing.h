#pragma once

#include <QString>
#include <cstdint>

namespace device {

// Two upper-case hexadecimal digits, high first: 0 -> "00", 171 -> "AB".
QString HTS(std::uint8_t value);

// Routing buttons are numbered 11..90: output k = (n - 1) / 10, position
// j = n - 10k, inputs at positions 1..8, the left arrow at 9, the right at 10.
inline int routeOutput(int n) {
    return (n - 1) / 10;
}
inline int routePosition(int n) {
    return n - 10 * routeOutput(n);
}
// High digit output - 1, low digit position - 1.
std::uint8_t RouteCode(int n);
// "cir " + HTS(RouteCode) + CR LF.
QString routeCommand(int n);

// Every command that carries an argument: "word arg" + CR LF.
QString presetSaveCommand(int index);   // "msa i"
QString presetRecallCommand(int index); // "msw i"
QString allOutputsCommand(int input0);  // "asw i"

} // namespace device
