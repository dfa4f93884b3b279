#pragma once

#include <QByteArray>
#include <QString>

namespace device {

inline const QString kAscMode = QStringLiteral("Send(ASC)");
inline const QString kHexMode = QStringLiteral("Send(Hex)");

// The send box holds line ends as typed (Enter) or as a routing button left
// them; on the wire each is CR LF.
QByteArray sendBoxBytes(const QString& boxText);

// Hexadecimal mode: pairs of hex digits make bytes; a blank ends a pending
// single digit, as does any other character that found its way in (a pasted
// line end, say). "01 ab 5" -> 01 AB 05, "0102" -> 01 02. Any length.
QByteArray hexTextToBytes(const QString& text);

// Keys that reach the send box in hexadecimal mode: Backspace, the blank and
// hex digits.
bool hexKeyAllowed(QChar c);

} // namespace device
