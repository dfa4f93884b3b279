#!/usr/bin/env bash
# Configures and builds into build/ (the program is build/hdmi-matrix, the
# simulator build/hdmi-matrix-sim). Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build build -j"$(nproc)"
