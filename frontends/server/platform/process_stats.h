#pragma once

#include <QtGlobal>

namespace server {

// The process as the standard process_* metrics give it: read from
// /proc/self on Linux when asked, into fixed buffers (nothing is
// allocated), and not known elsewhere.
struct ProcessStats {
    bool known = false;
    double cpuSeconds = 0;    // user and system
    qint64 residentBytes = 0; // resident set
    int openFiles = 0;        // open file descriptors
    double startTime = 0;     // seconds since 1970
};
ProcessStats processStats();

} // namespace server
