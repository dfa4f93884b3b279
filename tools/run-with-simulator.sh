#!/usr/bin/env bash
# Installs what is missing, builds, and starts the simulated switcher, the
# server on it and the program through the server's line port, and prints
# the address of the server's web page. Closing the program stops all three.
# The simulator publishes its pseudo-terminal as COM1 in build/sim-run/,
# where the server runs (its labels in build/sim-run/state, its log in
# build/sim-run/server.log); the program runs in build/sim-run/window/, whose
# COM1 is the line port. Options after the command go to the simulator (for
# example --paced or --silent-modes).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
run=build/sim-run
mkdir -p "$run/window"
printf ' 0 \r\n' > "$run/window/COMPORT"
echo tcp://127.0.0.1:9991 > "$run/window/COM1"
rm -f "$run/COM1"
./build/hdmi-matrix-sim --dir "$run" --port 1 "$@" &
sim=$!
server=""
trap 'kill $server $sim 2>/dev/null; wait $server $sim 2>/dev/null' EXIT
for _ in $(seq 50); do [[ -e "$run/COM1" ]] && break; sleep 0.1; done
(cd "$run" && exec ../hdmi-matrix-server --port COM1 --state-dir state 2> server.log) &
server=$!
for _ in $(seq 50); do grep -q 'switcher found' "$run/server.log" 2>/dev/null && break; sleep 0.1; done
if ! kill -0 "$server" 2>/dev/null; then
    cat "$run/server.log" >&2
    exit 1
fi
sed -n 's/.*web page on \(http[^ ]*\).*/Web page: \1/p' "$run/server.log"
(cd "$run/window" && ../../hdmi-matrix)
