#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the test suite (build/);
#   2. the Windows guard: every program source compiled syntax-only for
#      Windows with MinGW-w64 (tools/windows-guard.sh);
#   3. the same suite under AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/);
#   4. a short run of every fuzz target (build-fuzz/, about a minute).
# HDMI_QUICK=1 runs only the first.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

if [[ "${HDMI_QUICK:-0}" == 1 ]]; then
    HDMI_WITH_TESTS=1 tools/install-deps.sh
else
    HDMI_WITH_TESTS=1 HDMI_WITH_WINDOWS=1 HDMI_WITH_FUZZ=1 tools/install-deps.sh
fi

# How many test programs a ctest run passed (it stops the script on a failure).
passed() { grep -oE '[0-9]+ tests failed out of [0-9]+' "$1" | grep -oE '[0-9]+$'; }

echo "== tests"
tools/build.sh
(cd build && ctest --output-on-failure -j2) | tee build/ctest.log
suite=$(passed build/ctest.log)
if [[ "${HDMI_QUICK:-0}" == 1 ]]; then
    echo "test programs: $suite passed, 0 failed"
    exit 0
fi

echo "== Windows guard"
tools/windows-guard.sh | tee build/windows-guard.log
windows=$(grep -oE '[0-9]+ sources pass' build/windows-guard.log | grep -oE '^[0-9]+')

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DHDMI_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
(cd build-asan &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --output-on-failure -j2) | tee build-asan/ctest.log
sanitized=$(passed build-asan/ctest.log)

echo "== fuzzing"
SECONDS_EACH=${SECONDS_EACH:-12} tools/fuzz.sh | tee build-fuzz.log
fuzzed=$(grep -c '^== fuzz_' build-fuzz.log)
rm -f build-fuzz.log

echo "test programs: $suite, Windows-checked sources: $windows, under sanitizers: $sanitized," \
    "fuzz targets: $fuzzed"
echo "all: $((suite + windows + sanitized + fuzzed)) passed, 0 failed"
