#pragma once

#include <QByteArrayView>
#include <QStringView>

namespace protocol {

// The one reading of a port or preset number a client writes, whatever the
// front end: decimal digits only (no sign, no blank, at most three), counted
// from first (1 as operators count; 0 in the Videohub protocol). The number
// from 1, or 0 when the text names none of count.
int portNumber(QStringView text, int count, int first = 1);
// The same from the bytes a client sent.
int portNumber(QByteArrayView text, int count, int first = 1);

} // namespace protocol
