#!/usr/bin/env bash
# The main job: builds the tool and opens the window with a simulated card
# reader of its own (pcpos-tester --demo, on a free loopback port). Without a
# display it starts pcpos-sim on loopback instead and runs one payment against it
# with the command-line client (of 1000 unless --amount is given; the client pays
# nothing by default) and prints the result. Extra arguments go to the program
# that is opened (for example --amount 250001). PCPOS_SIM_PORT chooses the
# simulator's port when 9053 is taken (PCPOS_SIM_PORT=9054 scripts/run.sh).
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
cannot_listen() {
  cat "$log"
  echo "run.sh: the simulated card reader could not listen on 127.0.0.1:$port." >&2
  echo "run.sh: if another program holds that port, choose another: PCPOS_SIM_PORT=9054 scripts/run.sh" >&2
  exit 1
}
listening=
for _ in $(seq 50); do
  grep -q "listening" "$log" 2>/dev/null && { listening=1; break; }
  kill -0 "$sim" 2>/dev/null || cannot_listen
  sleep 0.1
done
[ -n "$listening" ] || cannot_listen
echo "Simulated card reader on 127.0.0.1:$port (its log: $log)"

echo "No display: one payment with pcpos-cli instead of the window."
status=0
amount=(--amount 1000)
for arg in "$@"; do
  case $arg in --amount | --amount=*) amount=() ;; esac
done
echo "pcpos-cli --host 127.0.0.1 --port $port ${amount[*]} --log-dir $HOME/ $*"
build/bin/pcpos-cli --host 127.0.0.1 --port "$port" "${amount[@]}" --log-dir "$HOME/" "$@" || status=$?
# The simulator writes its log a little after each request, and all of it when
# it stops: stopped first, its log has the payment's line.
kill -TERM "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
trap - EXIT
echo "The simulator logged:"
cat "$log"
exit "$status"
