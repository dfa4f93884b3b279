#pragma once

#include <QStringList>

namespace cli {

class Console;

// "edid edit IN -o OUT [operations]" and "edid template NAME -o OUT": they
// need no port and take options of their own. True when the words of the
// command line (after the options) are one of these.
bool isEdidEditCommand(const QStringList& arguments);
// arguments[0] is the program. Returns the exit status: 0 written, 1 the
// file holds no EDID image or the image cannot take an edit, 2 usage error.
int runEdidEdit(const QStringList& arguments, Console& console);

} // namespace cli
