#pragma once

#include "bench/bench_util.h"

namespace bench {

// The web accounts: a sign-in with the Argon2id interactive limits, and an
// API token checked against 10 stored ones.
void accountRuns(Table& table, bool quick);

} // namespace bench
