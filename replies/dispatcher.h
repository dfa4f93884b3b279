#pragma once

#include <QString>

class Form1;

namespace replies {

// Characters from..from+count-1 of a reply line, counting from 1; shorter
// (or empty) where the line ends first.
inline QString chars(const QString& line, int from, int count) {
    return line.mid(from - 1, count);
}
// The keyword test: the first three characters, exactly and case-sensitively.
inline bool keyword(const QString& line, const char* word) {
    return line.left(3) == QLatin1String(word);
}

// Interprets one reply line: routing reports and acknowledgements in every
// state, then the recogniser of the open feature window, else an echo into
// the receive log.
void findCmdProcess(Form1& form1, const QString& line);

// The recognisers of the device modes, each run only while its mode is on.
void settingsReply(Form1& form1, const QString& line); // setting mode
void edidReply(Form1& form1, const QString& line);     // EDID mode
void irCodeReply(Form1& form1, const QString& line);   // IR mode

} // namespace replies
