#pragma once

#include "bench/transfers.h"

namespace bench {

struct CoreRunResult {
    bool ok = false;
    QString failure;
    int exchanges = 0;           // commands the core wrote in one run
    QList<double> usPerExchange; // one figure per run
};

// The device core alone, no window and no port: the transfer against the
// simulated switcher in the same process, its answers handed over as soon
// as each command is written. What a run costs per exchange is the core's
// own work (and the device model's), with nothing of the line or the
// screen in it.
CoreRunResult coreRuns(Transfer t, int reps);

} // namespace bench
