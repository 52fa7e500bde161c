#!/usr/bin/env bash
# The main job: builds the tool and opens the window with a simulated card
# reader of its own (pcpos-tester --demo, on a free loopback port). Without a
# display it starts pcpos-sim on loopback instead and runs one payment against it
# with the command-line client (of 1000 unless --amount is given; the client pays
# nothing by default) and prints the result. Extra arguments go to the program
# that is opened (for example --amount 250001).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPCPOS_BUILD_UI=ON -DPCPOS_BUILD_SIMULATOR=ON >/dev/null
cmake --build build -j "$(nproc)" --target pcpos-tester pcpos-cli pcpos-sim

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # The simulated reader runs inside the window and stops with it.
  exec build/bin/pcpos-tester --demo --log-dir "$HOME/" "$@"
fi

port=${PCPOS_SIM_PORT:-9053}
log=$(mktemp -t pcpos-sim.XXXXXX.log)
build/bin/pcpos-sim --listen "127.0.0.1:$port" >"$log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q "listening" "$log" 2>/dev/null && break
  kill -0 "$sim" 2>/dev/null || { cat "$log"; exit 1; }
  sleep 0.1
done
echo "Simulated card reader on 127.0.0.1:$port (its log: $log)"

echo "No display: one payment with pcpos-cli instead of the window."
status=0
amount=(--amount 1000)
for arg in "$@"; do
  case $arg in --amount | --amount=*) amount=() ;; esac
done
echo "pcpos-cli --host 127.0.0.1 --port $port ${amount[*]} --log-dir $HOME/ $*"
build/bin/pcpos-cli --host 127.0.0.1 --port "$port" "${amount[@]}" --log-dir "$HOME/" "$@" || status=$?
echo "The simulator logged:"
cat "$log"
exit "$status"
