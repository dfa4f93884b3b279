#pragma once

#include <QString>

namespace bench {

struct LogAppendResult {
    double emptyUs = 0; // one line appended to a log that starts empty
    double fullUs = 0;  // the same once the log holds the filled lines
    int fullLines = 0;  // lines the log held when that was measured
    // At the log's own limit, where the oldest lines go (a tenth at a time),
    // averaged over enough appends to include such a trim.
    double atLimitUs = 0;
    int atLimitLines = 0;
    double fillSeconds = 0;
    // "Save log as..." of that full log, on the GUI thread as the program
    // saves it: the UTF-8 form written to a file and swapped in.
    double saveMs = 0;
    qsizetype savedChars = 0;
    QString saveFailure; // why a save failed; no figure then
};

// The cost of appending one routing-report line to the shown receive log
// and scrolling to it, as the reply interpreter does, with the repaint that
// follows; averaged over appends lines, the median of reps such averages.
LogAppendResult measureLogAppend(int filledLines, int appends, int reps);

} // namespace bench
