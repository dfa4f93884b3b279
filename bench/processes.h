#pragma once

#include <QString>
#include <optional>

namespace bench {

// One start of a program as its own process.
struct StartResult {
    bool ok = false;
    QString failure;
    double startupMs = 0; // process start to the first sign of life
    qint64 peakKiB = 0;   // VmHWM a second after that
    qint64 anonKiB = 0;   // resident then: anonymous
    qint64 fileKiB = 0;   // and file-backed
};

// The real program in a folder holding COMPORT and a COM1 link to an
// in-process switcher; its first sign of life is the "bc " greeting arriving
// at the switcher.
StartResult startProgram(const QString& programPath);
// The empty window; its sign of life is the byte it writes once its event
// loop runs.
StartResult startEmptyWindow(const QString& emptyWindowPath, bool withLabel = false);

struct IdleResult {
    bool ok = false;
    QString failure;
    double seconds = 0;
    double cpuPercentTicks = 0;   // utime + stime from /proc/<pid>/stat
    double cpuPercentSchedNs = 0; // the same from the threads' schedstat (ns)
    double wakeupsPerSecond = 0;  // voluntary context switches, all threads
    QString perThread;            // name and switches of each thread
};

// The real program with the port open and the switcher silent after it
// answered the greeting; measured over seconds once things have settled.
IdleResult idleProgram(const QString& programPath, int seconds);

} // namespace bench
