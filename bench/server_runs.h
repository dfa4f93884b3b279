#pragma once

#include "bench/bench_util.h"

namespace bench {

// hdmi-matrix-server: a Videohub route to its command on the wire, a
// routing report's broadcast to 100 clients (both in-process, on the
// loopback address, against the in-process switcher), and the real
// program's memory idle and with 100 clients, its idle wake-ups, and the
// window's paced EDID read through its line port against a direct port;
// with MQTT on, against a broker it starts: a published route to the wire,
// 16 servers' state messages, and the real program's idle wake-ups.
void serverRuns(Table& table, bool quick);

} // namespace bench
