#pragma once

namespace cli {

class Console;
struct Command;

// edid decode: the decoded text of the file, or its JSON object. Needs no
// port. Returns the exit status: 1 for a file that holds no EDID image.
int decodeEdidFile(const Command& command, Console& console);

} // namespace cli
