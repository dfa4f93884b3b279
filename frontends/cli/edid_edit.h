#pragma once

#include "core/edid/edit/edid_edit.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

class QCommandLineParser;

// "edid edit IN -o OUT [edits]" and "edid template NAME -o OUT": they need
// no port. Their options are read in the tool's one parser pass.
namespace cli {

class Console;
struct Command;
enum class Verb;

// edid edit's options, for the parser.
QList<QCommandLineOption> editOptions();
// The edits they ask for, in the order of the usage, whatever the order
// given; the first wrong argument's message otherwise, or the first given
// to a command other than edid edit.
QString readEdits(const QCommandLineParser& parser, Verb verb, QList<edid::Edit>* edits);
// The usage of edid edit and edid template, with help the option list.
QString editUsage(bool help);

// Returns the exit status: 0 written, 1 the file holds no EDID image or
// the image cannot take an edit.
int runEdidEdit(const Command& command, Console& console);

} // namespace cli
