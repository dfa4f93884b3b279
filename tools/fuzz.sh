#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, writes the seed corpus from the
# simulator's traffic, and runs every target. SECONDS_EACH sets each run's
# length (default 12); WORKERS runs that many fuzzing processes per target
# side by side (default 1; 2 uses both cores of a 2-core machine). A finding
# stops the script with the target's report.
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
# The editor too: edits follow the image.
mkdir -p "$corpus/edid_edit" && cp -n tests/data/edid-samples/*.bin "$corpus/edid_edit/"
export QT_QPA_PLATFORM=offscreen
workers=${WORKERS:-1}
# Without the allocation stack of every block the runs go a quarter faster;
# a finding's report then lacks where its memory came from, which running
# the saved input again without this option shows.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:malloc_context_size=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
targets=$(find build-fuzz/fuzz -maxdepth 1 -type f -executable -name 'fuzz_*' \
    ! -name fuzz_seed_corpus -printf '%f\n' | sort)
for t in $targets; do
    name=${t#fuzz_}
    mkdir -p "$corpus/$name"
    log=build-fuzz/$name.log
    # A target's own options (input length) sit beside its source.
    options=$(cat "fuzz/$t.options" 2>/dev/null || true)
    parallel=()
    ((workers > 1)) && parallel=(-jobs="$workers" -workers="$workers")
    echo "== $t: ${seconds}s${options:+ $options}${parallel:+, $workers workers}"
    rm -f build-fuzz/fuzz-*.log
    # shellcheck disable=SC2086 # the options are words
    if ! (cd build-fuzz && ./fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 \
        $options "${parallel[@]}" -artifact_prefix="$name"- "corpus/$name") >"$log" 2>&1; then
        tail -60 "$log" build-fuzz/fuzz-*.log 2>/dev/null
        echo "$t found a fault; the input is in build-fuzz/$name-*"
        exit 1
    fi
    # With workers, each wrote its own log; the executions add up.
    cat build-fuzz/fuzz-*.log >>"$log" 2>/dev/null || true
    awk '/stat::number_of_executed_units/ {n += $2} /stat::peak_rss_mb/ {if ($2 > m) m = $2}
        END {printf "   executions: %d, peak RSS: %d MB\n", n, m}' "$log"
done
echo "fuzz: all targets ran clean"
