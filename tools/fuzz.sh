#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, writes the seed corpus from the
# simulator's traffic, and runs every target. SECONDS_EACH sets each run's
# length (default 12); a finding stops the script with the target's report.
set -euo pipefail
cd "$(dirname "$0")/.."
HDMI_WITH_FUZZ=1 tools/install-deps.sh
seconds=${SECONDS_EACH:-12}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHDMI_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)"
corpus=build-fuzz/corpus
./build-fuzz/fuzz/fuzz_seed_corpus "$corpus"
# The decoder starts from the real images.
mkdir -p "$corpus/edid_decode" && cp -n tests/data/edid-samples/*.bin "$corpus/edid_decode/"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
targets=$(find build-fuzz/fuzz -maxdepth 1 -type f -executable -name 'fuzz_*' \
    ! -name fuzz_seed_corpus -printf '%f\n' | sort)
for t in $targets; do
    name=${t#fuzz_}
    mkdir -p "$corpus/$name"
    log=build-fuzz/$name.log
    echo "== $t: ${seconds}s"
    if ! ./build-fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build-fuzz/"$name"- "$corpus/$name" >"$log" 2>&1; then
        tail -60 "$log"
        echo "$t found a fault; the input is in build-fuzz/$name-*"
        exit 1
    fi
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" | sed 's/^/   /'
done
echo "fuzz: all targets ran clean"
