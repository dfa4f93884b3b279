#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace seriallink {

// The file COMPORT in the working directory remembers the chosen port index
// (0..9) between runs, as one blank, the digits, one blank, CR LF.

// The first decimal integer in the text (blanks around it ignored); nothing
// readable gives 0. Values outside 0..9, and numbers too long to be an
// index, fall back to 0 (COM1).
int parseComport(const QByteArray& text);
QByteArray comportText(int index);

// Reads the index from the file; nothing when it cannot be read at all or
// is no regular file. Reads at most a small prefix, so a huge file costs
// nothing.
std::optional<int> readComport(const QString& path);
// Creates or overwrites the file; false when that failed (callers ignore it).
bool writeComport(const QString& path, int index);

} // namespace seriallink
