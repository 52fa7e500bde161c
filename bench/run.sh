#!/usr/bin/env bash
# Builds the tool and its benchmarks (Release, build-bench/), measures every
# figure several times on loopback, prints a table and writes bench/results.md.
#
#   bench/run.sh
#
# Settings (environment):
#   BENCH_IDLE_SECONDS  length of the silent-reader wait (default 60; shorter
#                       only for trial runs, the committed figures use 60)
#   BENCH_REPS          repetitions of each measurement (default 5)
#   BENCH_TX            transactions per throughput measurement (default 100)
#   JOBS                build jobs (default 2)
#   BENCH_RESULTS       where the report goes (default bench/results.md)
#   BENCH_LOAD_SECONDS  length of each simulator-under-load measurement (default 3)
#   BENCH_ONLY          "sim-load" or "tap": build and run only the simulator-under-load
#                       part or the tap's, and rewrite only its part of the report
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh libbenchmark-dev packetsender socat time python3

IDLE=${BENCH_IDLE_SECONDS:-60}
REPS=${BENCH_REPS:-5}
TX=${BENCH_TX:-100}
JOBS=${JOBS:-2}
RESULTS=${BENCH_RESULTS:-$root/bench/results.md}
build=$root/build-bench
bin=$build/bin

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPCPOS_WERROR=ON -DPCPOS_BUILD_BENCH=ON \
  -DPCPOS_BUILD_TESTS=OFF >/dev/null
ONLY=${BENCH_ONLY:-}
LOAD_SECONDS=${BENCH_LOAD_SECONDS:-3}
case $ONLY in
  "") cmake --build "$build" -j "$JOBS" --target pcpos-cli pcpos-sim pcpos-tester \
        pcpos-bench-codec pcpos-bench-journal pcpos-bench-spawn pcpos-bench-latency pcpos-bench-window \
        pcpos-bench-epoll-peer pcpos-bench-load pcpos-tap pcpos-bench-relay-peer ;;
  sim-load) cmake --build "$build" -j "$JOBS" --target pcpos-sim pcpos-bench-epoll-peer pcpos-bench-load ;;
  tap) cmake --build "$build" -j "$JOBS" --target pcpos-sim pcpos-tap pcpos-bench-relay-peer pcpos-bench-load ;;
  *) echo "BENCH_ONLY: sim-load or tap, not $ONLY" >&2; exit 2 ;;
esac

raw=$build/bench-raw
rm -rf "$raw"
mkdir -p "$raw"
work=$(mktemp -d -t pcpos-bench.XXXXXX)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sims[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# One figure per line: "<key> <value>". summarise.py turns them into the table.
note() { echo "$1 $2" >>"$raw/samples.txt"; }
load() { echo "$1 $(cut -d' ' -f1-3 /proc/loadavg)" >>"$raw/load.txt"; }
say() { echo "== $*" >&2; }

# Starts a simulated reader on a free loopback port; sets sim_port.
start_sim() {
  local log=$work/sim-$1.log
  "$bin/pcpos-sim" --listen 127.0.0.1:0 --scenario "$1" --silence-max $((IDLE + 60)) >"$log" 2>&1 &
  sims+=($!)
  sim_port=
  for _ in $(seq 100); do
    sim_port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log" | head -n 1)
    [ -n "$sim_port" ] && return 0
    sleep 0.05
  done
  cat "$log" >&2
  exit 1
}

# The simulator under load, side by side with the reference epoll peer: per
# round fresh servers, their memory at rest and with 1,000 idle connections,
# then 8, 64 and 1,000 exchanges in flight against each in turn.
listening_port() { # log file; waits for its "listening on" line
  local port=
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$1" | head -n 1)
    [ -n "$port" ] && { echo "$port"; return 0; }
    sleep 0.05
  done
  cat "$1" >&2
  return 1
}
rss_kb() { awk -v k="$2" '$1 == k":" {print $2}' /proc/"$1"/status; }
sim_load() {
  # Its own samples file: the rest of the report does not read these.
  : >"$raw/sim-load.txt"
  load_note() { echo "$1 $2" >>"$raw/sim-load.txt"; }
  {
    echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1);"
    echo "$(c++ --version | head -n 1), Release; $(uname -sr); $(date -u '+%Y-%m-%d %H:%M UTC');"
    echo "load averages at the start: $(cut -d' ' -f1-3 /proc/loadavg)."
  } >"$raw/sim-load-machine.txt"
  say "simulator under load: ${REPS} rounds, 8, 64 and 1000 clients, ${LOAD_SECONDS} s each, and 1000 idle"
  for r in $(seq "$REPS"); do
    "$bin/pcpos-sim" --listen 127.0.0.1:0 >"$work/load-sim.log" 2>&1 &
    local sim_pid=$!
    "$bin/pcpos-bench-epoll-peer" >"$work/load-ref.log" 2>&1 &
    local ref_pid=$!
    sims+=("$sim_pid" "$ref_pid")
    local sim_p ref_p
    sim_p=$(listening_port "$work/load-sim.log")
    ref_p=$(listening_port "$work/load-ref.log")
    sleep 0.2
    local who pid port
    for who in ref sim; do
      if [ $who = sim ]; then pid=$sim_pid port=$sim_p; else pid=$ref_pid port=$ref_p; fi
      load_note "${who}_start_rss_kb" "$(rss_kb "$pid" VmRSS)"
      "$bin/pcpos-bench-load" --port "$port" --idle 1000 --hold 2 >"$work/idle.out" &
      local idler=$!
      for _ in $(seq 100); do grep -q idle_connected "$work/idle.out" && break; sleep 0.05; done
      sleep 1
      load_note "${who}_idle_rss_kb" "$(rss_kb "$pid" VmRSS)"
      wait "$idler" || { echo "the idle connections did not all open: $(cat "$work/idle.out")" >&2; exit 1; }
    done
    local clients line
    for clients in 8 64 1000; do
      for who in ref sim; do
        if [ $who = sim ]; then port=$sim_p; else port=$ref_p; fi
        line=$("$bin/pcpos-bench-load" --port "$port" --clients "$clients" --seconds "$LOAD_SECONDS")
        echo "round $r: $who x$clients: $line" >&2
        load_note "${who}_rate_c${clients}" "$(echo "$line" | awk '{print $8}')"
        load_note "${who}_fail_c${clients}" "$(echo "$line" | awk '{print $4}')"
        eval "rate_$who=$(echo "$line" | awk '{print $8}')"
      done
      load_note "ratio_c${clients}" "$(awk -v a="$rate_sim" -v b="$rate_ref" 'BEGIN {printf "%.3f", a / b}')"
    done
    load_note sim_peak_rss_kb "$(rss_kb "$sim_pid" VmHWM)"
    load_note ref_peak_rss_kb "$(rss_kb "$ref_pid" VmHWM)"
    kill "$sim_pid" "$ref_pid"
    wait "$sim_pid" "$ref_pid" || true
    # Every exchange was logged, one line each, and the log reached its file by the stop.
    echo "round $r: pcpos-sim logged $(grep -c ' scenario approve answer ' "$work/load-sim.log") answers" >&2
    grep -q '^stopping on signal 15$' "$work/load-sim.log" || { echo "pcpos-sim did not stop in order" >&2; exit 1; }
  done
  python3 bench/sim_load_report.py "$raw" "$RESULTS" "$REPS" "$LOAD_SECONDS"
}

# The tap beside the leanest C relay, both in front of the same simulator,
# and the simulator reached directly: per round fresh programs, the tap's
# memory at rest and with 1,000 idle connections, then 1, 8 and 64 exchanges
# in flight against each in turn, and 1,000 in flight directly and through the tap.
tap_load() {
  : >"$raw/tap.txt"
  tap_note() { echo "$1 $2" >>"$raw/tap.txt"; }
  {
    echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1);"
    echo "$(c++ --version | head -n 1), Release; $(uname -sr); $(date -u '+%Y-%m-%d %H:%M UTC');"
    echo "load averages at the start: $(cut -d' ' -f1-3 /proc/loadavg)."
  } >"$raw/tap-machine.txt"
  say "the tap: ${REPS} rounds, 1, 8, 64 and 1000 in flight, ${LOAD_SECONDS} s each, and 1000 idle"
  local journal=$build/tap-journal
  for r in $(seq "$REPS"); do
    rm -rf "$journal" && mkdir -p "$journal"
    "$bin/pcpos-sim" --listen 127.0.0.1:0 >"$work/tap-sim.log" 2>&1 &
    local sim_pid=$!
    sims+=("$sim_pid")
    local sim_p relay_p tap_p
    sim_p=$(listening_port "$work/tap-sim.log")
    "$bin/pcpos-bench-relay-peer" "$sim_p" >"$work/relay.log" 2>&1 &
    local relay_pid=$!
    "$bin/pcpos-tap" --reader 127.0.0.1:"$sim_p" --listen 127.0.0.1:0 --log-dir "$journal/" \
      >"$work/tap.log" 2>&1 &
    local tap_pid=$!
    sims+=("$relay_pid" "$tap_pid")
    relay_p=$(listening_port "$work/relay.log")
    tap_p=$(listening_port "$work/tap.log")
    sleep 0.2
    tap_note tap_start_rss_kb "$(rss_kb "$tap_pid" VmRSS)"
    "$bin/pcpos-bench-load" --port "$tap_p" --idle 1000 --hold 2 >"$work/idle.out" &
    local idler=$!
    for _ in $(seq 100); do grep -q idle_connected "$work/idle.out" && break; sleep 0.05; done
    sleep 1
    tap_note tap_idle_rss_kb "$(rss_kb "$tap_pid" VmRSS)"
    wait "$idler" || { echo "the idle connections did not all open: $(cat "$work/idle.out")" >&2; exit 1; }
    sleep 0.5
    local clients line who port
    for clients in 1 8 64; do
      for who in direct relay tap; do
        case $who in direct) port=$sim_p ;; relay) port=$relay_p ;; tap) port=$tap_p ;; esac
        line=$("$bin/pcpos-bench-load" --port "$port" --clients "$clients" --seconds "$LOAD_SECONDS")
        echo "round $r: $who x$clients: $line" >&2
        tap_note "${who}_rate_c${clients}" "$(echo "$line" | awk '{print $8}')"
        tap_note "${who}_fail_c${clients}" "$(echo "$line" | awk '{print $4}')"
        tap_note "${who}_median_us_c${clients}" "$(echo "$line" | awk '{print $10}')"
        eval "rate_$who=$(echo "$line" | awk '{print $8}')"
        eval "median_$who=$(echo "$line" | awk '{print $10}')"
      done
      tap_note "ratio_c${clients}" "$(awk -v a="$rate_tap" -v b="$rate_relay" 'BEGIN {printf "%.3f", a / b}')"
      if [ "$clients" = 1 ]; then
        tap_note tap_added_us "$(awk -v a="$median_tap" -v b="$median_direct" 'BEGIN {printf "%.1f", a - b}')"
      fi
    done
    for who in direct tap; do
      if [ $who = tap ]; then port=$tap_p; else port=$sim_p; fi
      line=$("$bin/pcpos-bench-load" --port "$port" --clients 1000 --seconds "$LOAD_SECONDS")
      echo "round $r: $who x1000: $line" >&2
      tap_note "${who}_rate_c1000" "$(echo "$line" | awk '{print $8}')"
      tap_note "${who}_fail_c1000" "$(echo "$line" | awk '{print $4}')"
    done
    tap_note tap_peak_rss_kb "$(rss_kb "$tap_pid" VmHWM)"
    kill "$tap_pid" "$relay_pid" "$sim_pid"
    wait "$tap_pid" "$relay_pid" "$sim_pid" || true
    # Every exchange through the tap has its journal row.
    echo "round $r: the tap journaled $(($(wc -l <"$journal/Selvarin-PcPosTap.csv") - 1)) exchanges" >&2
  done
  python3 bench/tap_report.py "$raw" "$RESULTS" "$REPS" "$LOAD_SECONDS"
}
if [ "$ONLY" = sim-load ]; then
  sim_load
  exit 0
fi
if [ "$ONLY" = tap ]; then
  tap_load
  exit 0
fi

# Processor time (s) of every thread of a process so far, in nanosecond resolution.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {print s + 0}'; }

machine() {
  {
    echo "nproc: $(nproc)"
    echo "cpu: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
    echo "memory: $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
    echo "kernel: $(uname -sr)"
    echo "os: $(. /etc/os-release && echo "$PRETTY_NAME")"
    echo "compiler: $(c++ --version | head -n 1)"
    echo "qt: $(dpkg-query -W -f '${Version}' qt6-base-dev 2>/dev/null || echo unknown)"
    echo "build: CMAKE_BUILD_TYPE=Release, -Wall -Wextra -Werror"
    echo "packetsender: $(dpkg-query -W -f '${Version}' packetsender)"
    echo "socat: $(dpkg-query -W -f '${Version}' socat)"
    echo "google benchmark: $(dpkg-query -W -f '${Version}' libbenchmark-dev)"
    echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  } >"$raw/machine.txt"
}
machine
load start

# --- Idle cost: a reader that never answers, every repetition at once --------
say "idle: ${IDLE} s wait for a silent reader, ${REPS} pcpos-cli and ${REPS} windows at once"
start_sim silence
idle_port=$sim_port
cli_times=()
cli_pids=()
win_pids=()
for r in $(seq "$REPS"); do
  mkdir -p "$work/idle-$r/cli" "$work/idle-$r/win"
  # The client's own time-out ends it 2 s after the measured window.
  /usr/bin/time -f '%U %S' -o "$work/idle-cli-$r.time" \
    "$bin/pcpos-cli" --host 127.0.0.1 --port "$idle_port" --amount 1000 --log-dir "$work/idle-$r/cli/" \
    --timeout $((IDLE + 2)) --json >"$work/idle-cli-$r.out" 2>&1 &
  cli_times+=($!)
  QT_QPA_PLATFORM=offscreen PCPOS_BENCH_MODE=idle PCPOS_BENCH_IDLE_SECONDS=$IDLE \
    /usr/bin/time -f '%U %S' -o "$work/idle-win-$r.time" \
    "$bin/pcpos-bench-window" --host 127.0.0.1 --port "$idle_port" --log-dir "$work/idle-$r/win/" \
    >"$work/idle-win-$r.out" 2>"$work/idle-win-$r.err" &
  win_pids+=($!)
done
sleep 1
for t in "${cli_times[@]}"; do
  child=$(tr -d ' ' </proc/"$t"/task/"$t"/children)
  # A wrong process here would read as a perfect zero.
  [ "$(cat /proc/"$child"/comm 2>/dev/null)" = pcpos-cli ] ||
    { echo "pcpos-cli is not waiting under /usr/bin/time ($t)" >&2; exit 1; }
  cli_pids+=("$child")
done
before=()
for p in "${cli_pids[@]}"; do before+=("$(cpu_ns "$p")"); done
sleep "$IDLE"
for i in "${!cli_pids[@]}"; do
  after=$(cpu_ns "${cli_pids[$i]}")
  note idle_cli_wait_s "$(awk -v a="$after" -v b="${before[$i]}" 'BEGIN {printf "%.9f", (a - b) / 1e9}')"
  # What it spent before the wait shows the reading itself works.
  note idle_cli_before_s "$(awk -v b="${before[$i]}" 'BEGIN {printf "%.9f", b / 1e9}')"
done
for pid in "${cli_times[@]}" "${win_pids[@]}"; do wait "$pid" || true; done
for r in $(seq "$REPS"); do
  grep -q '"colour": "amber"' "$work/idle-cli-$r.out" && grep -q 10060 "$work/idle-cli-$r.out" ||
    { echo "pcpos-cli did not wait for the silent reader:" >&2; cat "$work/idle-cli-$r.out" >&2; exit 1; }
  note idle_cli_total_s "$(awk 'END {printf "%.2f", $1 + $2}' "$work/idle-cli-$r.time")"
  line=$(grep '^window_idle_cpu_s' "$work/idle-win-$r.out") ||
    { echo "the window's idle probe failed:" >&2; cat "$work/idle-win-$r.err" >&2; exit 1; }
  note idle_window_wait_s "$(echo "$line" | awk '{print $2}')"
  note idle_window_total_s "$(awk 'END {printf "%.2f", $1 + $2}' "$work/idle-win-$r.time")"
done
load idle

# --- Answer latency --------------------------------------------------------------
say "latency: core, ${REPS} x 200 transactions"
for r in $(seq "$REPS"); do
  "$bin/pcpos-bench-latency" --runs 200 --warmup 20 >"$work/core-$r.out"
  awk '$1 == "core_latency_us" {print "core_latency_us", $2}' "$work/core-$r.out" >>"$raw/samples.txt"
done
load latency-core

window_latency() { # platform-key, then the command prefix
  local key=$1
  shift
  for r in $(seq "$REPS"); do
    PCPOS_BENCH_MODE=latency PCPOS_BENCH_RUNS=50 PCPOS_BENCH_WARMUP=5 \
      "$@" "$bin/pcpos-bench-window" >"$work/win-$key-$r.out" 2>"$work/win-$key-$r.err" ||
      { cat "$work/win-$key-$r.err" >&2; exit 1; }
    awk -v k="$key" '$1 == "window_set_us" {
      print "window_" k "_set_us", $2; print "window_" k "_painted_us", $4; print "window_" k "_turn_us", $6 }' \
      "$work/win-$key-$r.out" >>"$raw/samples.txt"
  done
}
say "latency: window offscreen, ${REPS} x 50 payments"
window_latency offscreen env QT_QPA_PLATFORM=offscreen
say "latency: window under Xvfb, ${REPS} x 50 payments"
window_latency xvfb env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24"
load latency-window

# --- Start-up to the window shown, and its resident memory ---------------------
startups=$((REPS * 2))
say "start-up: ${startups} starts offscreen, ${startups} under one Xvfb server"
for r in $(seq 0 "$startups"); do
  line=$(QT_QPA_PLATFORM=offscreen PCPOS_BENCH_MODE=startup \
    "$bin/pcpos-bench-spawn" "$bin/pcpos-bench-window" 2>/dev/null | grep '^startup_main_ms')
  # The first start warms the file cache and the font cache; it is not counted.
  [ "$r" -eq 0 ] && continue
  echo "$line" | awk '{print "startup_offscreen_main_ms", $2; print "startup_offscreen_ms", $4;
                       print "startup_offscreen_rss_kb", $6}' >>"$raw/samples.txt"
done
env -u QT_QPA_PLATFORM PCPOS_BENCH_MODE=startup xvfb-run -a -s "-screen 0 1280x1024x24" \
  bash -c 'for r in $(seq 0 "$2"); do "$1/pcpos-bench-spawn" "$1/pcpos-bench-window" 2>/dev/null; done' \
  _ "$bin" "$startups" | grep '^startup_main_ms' | tail -n +2 |
  awk '{print "startup_xvfb_main_ms", $2; print "startup_xvfb_ms", $4; print "startup_xvfb_rss_kb", $6}' \
    >>"$raw/samples.txt"
# pcpos-tester itself, untouched: its resident memory once it has settled.
for r in $(seq 3); do
  QT_QPA_PLATFORM=offscreen "$bin/pcpos-tester" --log-dir "$work/" >/dev/null 2>&1 &
  tester=$!
  sleep 2
  note tester_rss_kb "$(awk '/^VmRSS/ {print $2}' /proc/"$tester"/status)"
  kill "$tester"
  wait "$tester" 2>/dev/null || true
done
load startup

# --- Throughput of the command-line path, side by side with two peers ----------
say "throughput: ${TX} exchanges per measurement, 1, 2 and 8 at once, ${REPS} rounds"
start_sim approve
port=$sim_port
request='@@ZRM@@011000410000000020000000530000011'
printf '%s\r\n' "$request" >"$work/request.txt"
for i in $(seq "$TX"); do mkdir -p "$work/tx/$i"; done

# One round of TX exchanges, P at a time; prints the answers counted.
exchange() { # tool parallel output
  local tool=$1 parallel=$2 out=$3
  case $tool in
    cli)
      seq "$TX" | xargs -P "$parallel" -I{} "$bin/pcpos-cli" --host 127.0.0.1 --port "$port" --amount 1000 \
        --log-dir "$work/tx/{}/" --timeout 10 --json >"$out" 2>&1 || true
      grep -c '"colour": "green"' "$out" || true ;;
    socat)
      seq "$TX" | xargs -P "$parallel" -I{} socat -t 10 TCP:127.0.0.1:"$port" \
        "OPEN:$work/request.txt!!STDOUT" >"$out" 2>&1 || true
      grep -o '@@ZRM@@08' "$out" | wc -l ;;
    packetsender)
      # Its exit status is not a success flag; the answers in hex are counted instead.
      seq "$TX" | QT_QPA_PLATFORM=offscreen xargs -P "$parallel" -I{} packetsender -t -a -q -w 10000 \
        127.0.0.1 "$port" "$request\\r\\n" >"$out" 2>&1 || true
      grep -o '40 40 5A 52 4D 40 40' "$out" | wc -l ;;
  esac
}
for r in $(seq "$REPS"); do
  for parallel in 1 2 8; do
    for tool in cli socat packetsender; do
      start=$(date +%s%N)
      got=$(exchange "$tool" "$parallel" "$work/tput.out")
      end=$(date +%s%N)
      if [ "$got" -ne "$TX" ]; then
        echo "$tool: $got of $TX exchanges answered" >&2
        tail -n 5 "$work/tput.out" >&2
        exit 1
      fi
      rate=$(awk -v n="$TX" -v s="$start" -v e="$end" 'BEGIN {printf "%.1f", n / ((e - s) / 1e9)}')
      note "tput_${tool}_p${parallel}" "$rate"
      echo "round $r: $tool x$parallel: $rate exchanges/s" >&2
      eval "rate_$tool=$rate"
    done
    # The ratios pair figures of the same round, taken one right after the other.
    note "ratio_cli_socat_p${parallel}" "$(awk -v a="$rate_cli" -v b="$rate_socat" 'BEGIN {printf "%.3f", a / b}')"
    note "ratio_cli_packetsender_p${parallel}" \
      "$(awk -v a="$rate_cli" -v b="$rate_packetsender" 'BEGIN {printf "%.3f", a / b}')"
  done
done
load throughput

# --- The codec per call ----------------------------------------------------------
say "codec: Google Benchmark, ${REPS} repetitions"
"$bin/pcpos-bench-codec" --benchmark_repetitions="$REPS" \
  --benchmark_out="$raw/codec.json" --benchmark_out_format=json >/dev/null
say "journal: Google Benchmark, ${REPS} repetitions"
# Its files under the build folder: the flush to the disk is part of the cost,
# and /tmp may be a tmpfs where it costs nothing.
TMPDIR="$build" "$bin/pcpos-bench-journal" --benchmark_repetitions="$REPS" \
  --benchmark_out="$raw/journal.json" --benchmark_out_format=json >/dev/null
load end

python3 bench/summarise.py "$raw" "$RESULTS" "$IDLE" "$REPS" "$TX"
sim_load
tap_load
