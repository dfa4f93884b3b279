#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Small readers and writers for the settings window and its replies. The
// device puts its values in two fixed character positions of a reply line,
// so the readers take whatever text sits there: digits, a blank, the line's
// CR, or nothing at all.
namespace settings {

// The EDID modes the settings reply reports and "smd" sets: 0..5.
inline constexpr int kEdidModes = 6;

// Reads a decimal number the lenient way: blanks, tabs and line feeds are
// skipped anywhere, an optional sign and a fraction are understood, reading
// stops at the first character that cannot continue the number, and nothing
// readable gives 0.
double readDecimal(const QString& text);

// Reads hexadecimal digits (either case) from the start of the text until the
// first character that is not one; nothing readable gives 0.
int readHex(const QString& text);

// The number the text holds when it is one and nothing else: surrounding
// blanks and tabs and one trailing CR are allowed, anything else spoils it.
// This is the test for "these characters form a number".
std::optional<double> numberOf(const QString& text);

// 1 when bit n (0..7) of the value is set, else 0.
int bit(long value, int n);

// Upper-case hexadecimal without leading zeros, as the device's commands
// want them; a negative value is taken as its 16-bit pattern, so -1 (no
// list entry chosen) is written "FFFF".
QString hex(int n);

// The status text for an answered all-ports command with the given port
// success mask (bit n set = port n + 1 did it), on a switcher of that many
// inputs.
QString allPortsStatus(int mask, int inputs);
// The mask of an all-ports command every one of that many inputs did.
inline int allPortsMask(int inputs) {
    return (1 << inputs) - 1;
}

} // namespace settings
