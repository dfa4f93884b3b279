#pragma once

#include <QChar>

namespace protocol {

// The value 0..15 of a hexadecimal digit in either case; -1 for anything
// else, non-ASCII digits included.
inline int hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

} // namespace protocol
