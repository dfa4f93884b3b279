#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace bench {

// Runs of hdmi-matrix-ctl as its own process against a switcher behind a
// pseudo-terminal the benchmark watches.
struct CtlRuns {
    bool ok = false;
    QString failure;
    QList<double> toWireMs; // process start to the command's arrival at the switcher
    QList<double> toExitMs; // process start to its exit
    qint64 wireBytes = 0;   // bytes that crossed the line both ways, in the last run
};

// reps runs of the tool with args, one uncounted first; each against a
// fresh switcher, paced (9600 baud both ways) or not. command is the line
// whose arrival is timed.
// runMs: how long one run may take.
CtlRuns runCtl(const QString& ctlPath, const QStringList& args, const QByteArray& command,
               bool paced, int reps, int runMs = 15000);

} // namespace bench
