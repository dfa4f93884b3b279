#pragma once

#include <QString>

// The grammar of a reply line: characters are addressed by position from 1,
// and a keyword is the first three characters, compared exactly and
// case-sensitively.
namespace protocol {

// Characters from..from+count-1, counting from 1; shorter (or empty) where
// the line ends first.
inline QString chars(const QString& line, int from, int count) {
    return line.mid(from - 1, count);
}
// (Every line meets a dozen of these tests; a view copies nothing.)
inline bool keyword(const QString& line, const char* word) {
    return QStringView(line).left(3) == QLatin1String(word);
}
// The LF that follows every CR arrives as a line of its own.
inline bool isLoneLf(const QString& line) {
    return line.startsWith(QLatin1Char('\n'));
}

} // namespace protocol
