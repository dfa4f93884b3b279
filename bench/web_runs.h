#pragma once

#include "bench/bench_util.h"

namespace bench {

// hdmi-matrix-server's web port: a PUT route to its command on the wire,
// the page's bytes and a routing report's event to 100 WebSocket clients
// (in-process, on the loopback address, against the in-process switcher);
// the real program's memory idle, with 100 event clients and under clients
// that try its limits, and its idle wake-ups.
void webRuns(Table& table, bool quick);

} // namespace bench
