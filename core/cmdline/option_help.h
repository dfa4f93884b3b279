#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

// Help text made from the very options a program's parser is given, so that
// the two cannot disagree.
namespace cmdline {

struct HelpLayout {
    // Where the descriptions start; a description's further lines are
    // indented to it.
    int column = 23;
    // Long-only names indented as if a one-letter name stood before them,
    // so that every long name starts in one column.
    bool alignLongNames = false;
};

// One entry per option not hidden from help: its names ("-p, --port"), its
// value name and its description, from the layout's column or two blanks
// after a longer entry.
QString optionLines(const QList<QCommandLineOption>& options, HelpLayout layout = {});

} // namespace cmdline
