#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program wired to the
# simulated switcher: the simulator publishes its pseudo-terminal as COM1 in
# build/sim-run/, and the program runs in that folder. Options after the
# command go to the simulator (for example --paced or --silent-modes).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
run=build/sim-run
mkdir -p "$run"
printf ' 0 \r\n' > "$run/COMPORT"
./build/hdmi-matrix-sim --dir "$run" --port 1 "$@" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null' EXIT
for _ in $(seq 50); do [[ -e "$run/COM1" ]] && break; sleep 0.1; done
(cd "$run" && ../hdmi-matrix)
