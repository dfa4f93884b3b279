#pragma once

#include "bench/bench_util.h"

namespace bench {

// hdmi-matrix-server: a Videohub route to its command on the wire, a
// routing report's broadcast to 100 clients (both in-process, on the
// loopback address, against the in-process switcher), and the real
// program's memory idle and with 100 clients, and its idle wake-ups.
void serverRuns(Table& table, bool quick);

} // namespace bench
