#!/usr/bin/env bash
# Windows, cross-built with MinGW-w64 and run under Wine, without a display:
# builds the core, pcpos-cli and the core's tests into build-windows/ (programs
# in build-windows/bin/), compiles the window's Windows-only sources that need
# no Qt, runs every test program under Wine, then one pcpos-cli.exe payment
# against the Linux simulator with a Persian amount, port and log folder; then
# builds pcpos-sim.exe with the simulator's tests, runs them under Wine, and
# pays against it with pcpos-cli.exe and with the Linux pcpos-cli.
# Exits 0 only when all of it passes. docs/windows.md says what Wine cannot show.
#
# Environment: JOBS (build parallelism, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64

jobs=${JOBS:-2}
out=$root/build-windows
deps=$out/deps
toolchain=$root/cmake/mingw-w64.cmake
started=$SECONDS
say() { printf '\n=== %s (%d s into the run)\n' "$*" $((SECONDS - started)); }

say "Header-only libraries and GoogleTest for MinGW"
# Debian ships GoogleTest only as source for other targets; CLI11 and
# nlohmann-json are headers. Their CMake files are copied so that they point
# into this prefix and no Linux header folder reaches the cross compiler.
mkdir -p "$deps/include" "$deps/share/cmake"
ln -sfn /usr/include/CLI "$deps/include/CLI"
ln -sfn /usr/include/nlohmann "$deps/include/nlohmann"
cp -r /usr/share/cmake/CLI11 /usr/share/cmake/nlohmann_json "$deps/share/cmake/"
if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$out/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF >/dev/null
  cmake --build "$out/googletest" -j "$jobs"
  cmake --install "$out/googletest" >/dev/null
fi

say "Core, pcpos-cli and the core's tests for Windows (warnings are errors)"
# Test discovery runs the programs; at build time there is no Wine to run them.
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DPCPOS_WERROR=ON -DPCPOS_BUILD_UI=OFF -DPCPOS_BUILD_SIMULATOR=OFF -DPCPOS_BUILD_TESTS=ON \
  -DGTest_DIR="$deps/lib/cmake/GTest" -DCLI11_DIR="$deps/share/cmake/CLI11" \
  -Dnlohmann_json_DIR="$deps/share/cmake/nlohmann_json" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
cmake --build "$out" -j "$jobs"

say "The window's Windows-only sources without Qt: start-up and the icon resource"
mkdir -p "$out/ui"
x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion \
  -Wpedantic -Wold-style-cast -Werror -I. -c ui/platform_win32.cpp \
  -o "$out/ui/platform_win32.o"
x86_64-w64-mingw32-windres -I ui ui/pcpos-tester.rc -O coff -o "$out/ui/pcpos-tester.res.o"
# The program's icon group must be there under the name Explorer looks for.
x86_64-w64-mingw32-windres -J coff -i "$out/ui/pcpos-tester.res.o" -O rc | grep -q '^"MAINICON" 14 ' ||
  { echo "pcpos-tester.rc: no MAINICON in the compiled resource"; exit 1; }

say "The simulator, built for Linux"
cmake -S . -B "$out/native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPCPOS_BUILD_UI=OFF \
  -DPCPOS_BUILD_TESTS=OFF >/dev/null
cmake --build "$out/native" -j "$jobs" --target pcpos-sim

say "A Wine prefix of our own, headless"
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installer dialogs, and no display: CI has none.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=$(command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # The registry reaches the disk when the server ends.
  wineboot --init
  wineserver -w
fi
# One server for every run below, stopped (only this prefix's) on the way out.
wineserver -p >/dev/null 2>&1
sim=
cleanup() {
  [ -z "$sim" ] || { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; }
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot made no prefix in $WINEPREFIX"; exit 1; }

say "The core's tests under Wine"
failed=()
mkdir -p "$out/results"
for t in "$out"/bin/*_test.exe; do
  name=$(basename "$t" .exe)
  log=$out/results/$name.log
  # Into a file, not a pipe: Wine's service processes would keep a pipe open.
  status=0
  timeout 300 "$wine" "$t" >"$log.crlf" 2>&1 || status=$?
  tr -d '\r' <"$log.crlf" >"$log" && rm "$log.crlf"  # the programs end their lines with CR LF
  if [ "$status" -eq 0 ]; then
    printf '%-24s %s\n' "$name" "$(grep -E '^\[  PASSED  \]' "$log")"
  else
    printf '%-24s FAILED\n' "$name"
    cat "$log"
    failed+=("$name")
  fi
  # Each skip with its reason (the line after gtest's "Skipped").
  sed -n 's/^\[  SKIPPED \] \(.*\) ([0-9]* ms)$/    skipped \1/p' "$log"
  grep -A1 ': Skipped$' "$log" | grep -v -e ': Skipped$' -e '^--$' | sed 's/^/      /' || true
done

say "pcpos-cli.exe: one payment against pcpos-sim, Persian digits and a Persian log folder"
run=$out/run
rm -rf "$run" && mkdir -p "$run/گزارش‌ها"
# Made before the simulator starts: its redirection opens the file in the
# background, possibly after the first look for the port.
: >"$run/sim.log"
"$out/native/bin/pcpos-sim" --listen 127.0.0.1:0 >"$run/sim.log" 2>&1 &
sim=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$run/sim.log")
  [ -n "$port" ] && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.1
done
[ -n "$port" ] || { echo "pcpos-sim did not start:"; cat "$run/sim.log"; exit 1; }
persian() { echo "$1" | sed 'y/0123456789/۰۱۲۳۴۵۶۷۸۹/'; }
win_folder="Z:${run//\//\\}\\گزارش‌ها\\"
args=(--host "$(persian 127.0.0.1)" --port "$(persian "$port")" --amount ۱۰۰۰ --log-dir "$win_folder")
echo "pcpos-cli.exe ${args[*]}"
payment_ok=1
status=0
"$wine" "$out/bin/pcpos-cli.exe" "${args[@]}" --json >"$run/payment.json" 2>"$run/payment.err" || status=$?
cat "$run/payment.json" "$run/payment.err"
check() { grep -qF -- "$2" "$1" || { echo "missing in $(basename "$1"): $2"; payment_ok=0; }; }
[ "$status" -eq 0 ] || { echo "pcpos-cli.exe exited with $status"; payment_ok=0; }
check "$run/payment.json" '"request": "@@ZRM@@011000410000000020000000530000011"'
check "$run/payment.json" '"text": "تراکنش با موفقیت انجام شد"'
# JSON doubles each backslash of the Windows path.
check "$run/payment.json" "\"log_file\": \"$(printf '%s' "${win_folder}Selvarin-PcPosLog.txt" | sed 's/\\/\\\\/g')\""
# The simulator writes its log lines within a quarter second.
for _ in $(seq 20); do grep -qF 'request "@@ZRM@@011000410000000020000000530000011"' "$run/sim.log" && break; sleep 0.1; done
check "$run/sim.log" 'request "@@ZRM@@011000410000000020000000530000011"'
# Standard output is in text mode on Windows: its lines end in CR LF.
raw=$(tr -d '\r' <"$run/payment.json" | sed -n 's/^  "raw": "\(.*\)",$/\1/p')
[ -n "$raw" ] && [ "$(cat "$run/گزارش‌ها/Selvarin-PcPosLog.txt" 2>/dev/null)" = "$raw" ] ||
  { echo "the log file in the Persian folder does not hold the answer"; payment_ok=0; }
# The same payment with live output into a pipe: UTF-8 bytes, the Persian line intact.
"$wine" "$out/bin/pcpos-cli.exe" "${args[@]}" >"$run/payment.txt" 2>&1 || { cat "$run/payment.txt"; payment_ok=0; }
check "$run/payment.txt" 'result (green): تراکنش با موفقیت انجام شد'
# And through a terminal, where standard output is a console: the red Persian
# line of a wrong PIN must arrive as the same characters.
LANG=C.UTF-8 timeout 120 script -qec "$(printf '%q ' "$wine" "$out/bin/pcpos-cli.exe" --host 127.0.0.1 \
  --port "$port" --amount ۱۰۳۰ --log-dir "$win_folder")" "$run/console.txt" >/dev/null || true
check "$run/console.txt" 'result (red): رمز عبور نامعتبر است'
echo "The simulator logged:"
cat "$run/sim.log"
[ "$payment_ok" -eq 1 ] || failed+=("pcpos-cli.exe payment")

# ---- The simulated reader on Windows: pcpos-sim.exe ------------------------------
# A step of its own: its own build folder (asio is header-only; the core is
# built again there), its tests under Wine, then pcpos-cli.exe and the Linux
# pcpos-cli each paying against pcpos-sim.exe under Wine.
say "pcpos-sim.exe and the simulator's tests for Windows (warnings are errors)"
scripts/deps.sh libasio-dev
ln -sfn /usr/include/asio "$deps/include/asio"
ln -sfn /usr/include/asio.hpp "$deps/include/asio.hpp"
cmake -S . -B "$out/sim" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DPCPOS_WERROR=ON -DPCPOS_BUILD_UI=OFF -DPCPOS_BUILD_SIMULATOR=ON -DPCPOS_BUILD_TESTS=ON \
  -DPCPOS_ASIO_INCLUDE_DIR="$deps/include" \
  -DGTest_DIR="$deps/lib/cmake/GTest" -DCLI11_DIR="$deps/share/cmake/CLI11" \
  -Dnlohmann_json_DIR="$deps/share/cmake/nlohmann_json" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
cmake --build "$out/sim" -j "$jobs" --target pcpos-sim simulator_unit_test simulator_scenario_test
cp "$out/sim/bin/pcpos-sim.exe" "$out/bin/pcpos-sim.exe"
cmake --build "$out/native" -j "$jobs" --target pcpos-cli

say "The simulator's tests under Wine (its raw-socket, program and Qt calendar tests are POSIX only)"
for t in "$out"/sim/bin/simulator_*_test.exe; do
  name=$(basename "$t" .exe)
  log=$out/results/$name.log
  status=0
  timeout 300 "$wine" "$t" >"$log.crlf" 2>&1 || status=$?
  tr -d '\r' <"$log.crlf" >"$log" && rm "$log.crlf"
  if [ "$status" -eq 0 ]; then
    printf '%-24s %s\n' "$name" "$(grep -E '^\[  PASSED  \]' "$log")"
  else
    printf '%-24s FAILED\n' "$name"
    cat "$log"
    failed+=("$name")
  fi
  sed -n 's/^\[  SKIPPED \] \(.*\) ([0-9]* ms)$/    skipped \1/p' "$log"
done

say "pcpos-cli.exe and the Linux pcpos-cli against pcpos-sim.exe"
winsim=
trap '[ -z "$winsim" ] || kill "$winsim" 2>/dev/null; cleanup' EXIT
: >"$run/winsim.log"
"$wine" "$out/bin/pcpos-sim.exe" --listen 127.0.0.1:0 >"$run/winsim.log" 2>&1 &
winsim=$!
port=
for _ in $(seq 300); do
  port=$(tr -d '\r' <"$run/winsim.log" | sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p')
  [ -n "$port" ] && break
  kill -0 "$winsim" 2>/dev/null || break
  sleep 0.1
done
sim_ok=1
if [ -z "$port" ]; then
  echo "pcpos-sim.exe did not start:"
  cat "$run/winsim.log"
  sim_ok=0
else
  pay() { # label, expected exit, expected outcome, then the client and its arguments
    local label=$1 want_exit=$2 want=$3 status=0
    shift 3
    "$@" --host 127.0.0.1 --port "$port" --log-dir "$run/" --json >"$run/sim-$label.json" 2>&1 || status=$?
    if [ "$status" -ne "$want_exit" ] || ! grep -q "\"outcome\": \"$want\"" "$run/sim-$label.json"; then
      echo "$label: exit $status, wanted $want_exit and \"$want\":"
      cat "$run/sim-$label.json"
      sim_ok=0
    else
      echo "$label: $want (exit $status)"
    fi
  }
  pay exe-1000 0 approved "$wine" "$out/bin/pcpos-cli.exe" --amount 1000
  pay exe-1030 1 declined "$wine" "$out/bin/pcpos-cli.exe" --amount 1030
  pay linux-1000 0 approved "$out/native/bin/pcpos-cli" --amount 1000
  pay linux-1051 1 declined "$out/native/bin/pcpos-cli" --amount 1051
  pay linux-1060 3 unknown "$out/native/bin/pcpos-cli" --amount 1060
  # The log reaches its file within a quarter second.
  sleep 1
  for want in "scenario approve answer" "scenario wrong-pin answer" "scenario decline answer" \
    "scenario reset answer (none: connection reset)"; do
    grep -qF "$want" "$run/winsim.log" || { echo "missing in pcpos-sim.exe's log: $want"; sim_ok=0; }
  done
  echo "pcpos-sim.exe logged:"
  tr -d '\r' <"$run/winsim.log"
fi
kill "$winsim" 2>/dev/null || true
wait "$winsim" 2>/dev/null || true
winsim=
[ "$sim_ok" -eq 1 ] || failed+=("payments against pcpos-sim.exe")
# ---- end of the pcpos-sim.exe step --------------------------------------------------

if [ ${#failed[@]} -gt 0 ]; then
  say "Windows run FAILED: ${failed[*]}"
  exit 1
fi
say "Windows run passed"
