#pragma once

#include "core/protocol/commands.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// The device's network address: the two commands of the network address
// window, and the reading of a dotted address text.
namespace network {

// Why an address text was refused.
struct IpError {
    int number = 0;
    QString description;
};

inline constexpr int kTooFewDots = 102;
inline constexpr int kBadPart = 103;
inline const QString kFormatError =
    QStringLiteral("Ip 地址格式错误\r\n正确的格式应该为: 255.255.255.255");

// The four fields of a dotted address text, or why it is none:
//   - fewer than three dots: error 102, kFormatError;
//   - one of the first four parts empty, not a decimal number or above 255:
//     error 103, "Ip 地址格式错误" CR LF and which part is wrong.
// Parts after the fourth are ignored.
using Octets = std::array<int, 4>;
struct ParsedAddress {
    Octets octets{};
    std::optional<IpError> error;
};
ParsedAddress parseAddress(const QString& NewIP);

// How many UTF-16LE bytes of the text equal the character code of nChar; for
// ASCII text, how often the character occurs.
std::int16_t CountIF(const QString& lzExpr, QChar nChar);

// The device obtains its address by itself.
inline const QString kAutoAddressCommand = protocol::autoAddressCommand();
// The command line for a dotted address text, CR LF included: each run of
// digits becomes its value in hexadecimal, runs separated by blanks.
QString fixedAddressCommand(const QString& address);

} // namespace network
