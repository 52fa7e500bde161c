#!/usr/bin/env bash
# Windows, cross-built with MinGW-w64 and run under Wine, without a display:
# builds the core, pcpos-cli, the simulated reader pcpos-sim, the native window
# pcpos-tester (which runs the simulator in-process with --demo) and their tests
# into build-windows/ (programs in build-windows/bin/), checks the window's
# program file (icon, version, imports, size), runs every test program under
# Wine, then payments against the Linux simulator: pcpos-cli.exe with a Persian
# amount, port and log folder, and pcpos-tester.exe with Return pressed in its
# window. Then it pays against pcpos-sim.exe with pcpos-cli.exe and with the
# Linux pcpos-cli, and once in pcpos-tester.exe --demo. The built-in suite runs
# in the window against its demo reader in win32_window_test.exe (every case
# pressed through, the report's three files checked). Last it packs
# dist/pcpos-tester-<version>-windows-x64.zip and the installer
# dist/pcpos-tester-<version>-windows-x64-setup.exe, and installs, runs and
# uninstalls that under Wine. Exits 0 only when all of it passes.
# docs/windows.md says what Wine cannot show.
#
# Environment: JOBS (build parallelism, default 2), NATIVE_BUILD_DIR (a Linux
# build folder that already holds pcpos-sim and pcpos-cli, as CI's package
# build does; by default they are built in build-windows/native).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest libasio-dev \
  wine wine64 fonts-wine nsis zip unzip

jobs=${JOBS:-2}
out=$root/build-windows
deps=$out/deps
toolchain=$root/cmake/mingw-w64.cmake
started=$SECONDS
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
version=$(sed -n 's/^project(pcpos_tester VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
say() { printf '\n=== %s (%d s into the run)\n' "$*" $((SECONDS - started)); }

say "Header-only libraries and GoogleTest for MinGW"
# Debian ships GoogleTest only as source for other targets; CLI11,
# nlohmann-json and asio are headers. Their CMake files are copied so that they
# point into this prefix and no Linux header folder reaches the cross compiler.
mkdir -p "$deps/include" "$deps/share/cmake"
ln -sfn /usr/include/CLI "$deps/include/CLI"
ln -sfn /usr/include/nlohmann "$deps/include/nlohmann"
ln -sfn /usr/include/asio "$deps/include/asio"
ln -sfn /usr/include/asio.hpp "$deps/include/asio.hpp"
cp -r /usr/share/cmake/CLI11 /usr/share/cmake/nlohmann_json "$deps/share/cmake/"
if [ ! -f "$deps/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$out/googletest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" -DBUILD_GMOCK=OFF "${launcher[@]}" >/dev/null
  cmake --build "$out/googletest" -j "$jobs"
  cmake --install "$out/googletest" >/dev/null
fi

say "Core, pcpos-cli, pcpos-sim, the window pcpos-tester and the tests for Windows (warnings are errors)"
# Test discovery runs the programs; at build time there is no Wine to run them.
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DPCPOS_WERROR=ON -DPCPOS_BUILD_UI=OFF -DPCPOS_BUILD_SIMULATOR=ON -DPCPOS_BUILD_TESTS=ON \
  -DPCPOS_ASIO_INCLUDE_DIR="$deps/include" -DGTest_DIR="$deps/lib/cmake/GTest" -DCLI11_DIR="$deps/share/cmake/CLI11" \
  -Dnlohmann_json_DIR="$deps/share/cmake/nlohmann_json" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST "${launcher[@]}" >/dev/null
cmake --build "$out" -j "$jobs"

say "The window's program file: icon, version, manifest, imports and size"
# Its resources as compiled: the icon group under the name Explorer looks for,
# the version, and the manifest (common controls 6, per-monitor DPI v2).
window_exe=$out/bin/pcpos-tester.exe
resources=$(x86_64-w64-mingw32-windres -J coff -O rc \
  -i "$out/win32/CMakeFiles/pcpos_win32_resources.dir/pcpos-tester.rc.res")
for wanted in '^"MAINICON" 14 ' '^1 VERSIONINFO' 'PerMonitorV2' 'Microsoft.Windows.Common-Controls'; do
  grep -q "$wanted" <<<"$resources" || { echo "pcpos-tester.rc: $wanted missing from the resources"; exit 1; }
done
# The console programs carry the icon and a version of their own too.
for program in cli/pcpos-cli simulator/pcpos-sim; do
  res=$(find "$out/${program%/*}/CMakeFiles/${program#*/}.dir" -name '*.rc.res' | head -1)
  resources=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$res")
  for wanted in '^"MAINICON" 14 ' '^1 VERSIONINFO' "\"OriginalFilename\", \"${program#*/}.exe\""; do
    grep -q "$wanted" <<<"$resources" || { echo "${program#*/}.exe: $wanted missing from the resources"; exit 1; }
  done
done
# Only Windows' own DLLs: the C++ runtime and the threads are linked in (the
# simulator's sockets, for --demo, are ws2_32 and mswsock; ole32 frees the Documents
# folder's path).
imports=$(x86_64-w64-mingw32-objdump -p "$window_exe" | sed -n 's/^\s*DLL Name: //p' | sort -f)
echo "pcpos-tester.exe imports:" $imports
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|shell32.dll|ws2_32.dll|mswsock.dll|msvcrt.dll|advapi32.dll|ole32.dll) ;;
    *) echo "pcpos-tester.exe needs $dll, which Windows does not bring"; exit 1 ;;
  esac
done
mkdir -p "$out/stripped"
for program in pcpos-tester pcpos-cli pcpos-sim pcpos-tap; do
  x86_64-w64-mingw32-strip -o "$out/stripped/$program.exe" "$out/bin/$program.exe"
done
size=$(stat -c %s "$out/stripped/pcpos-tester.exe")
echo "pcpos-tester.exe stripped: $size bytes"
# The acceptance run (its JSON suites and reports) brought it from 1.6 to 2.3 MB.
[ "$size" -lt $((3 * 1024 * 1024)) ] || { echo "pcpos-tester.exe is 3 MiB or more stripped"; exit 1; }

say "The simulator and pcpos-cli, built for Linux"
native=${NATIVE_BUILD_DIR:-$out/native}
native=$(cd "$root" && mkdir -p "$native" && cd "$native" && pwd)
if [ ! -f "$native/CMakeCache.txt" ]; then
  cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPCPOS_BUILD_UI=OFF \
    -DPCPOS_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
fi
# A folder given is brought up to date, not configured anew.
cmake --build "$native" -j "$jobs" --target pcpos-sim pcpos-cli

say "A Wine prefix of our own, headless"
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installer dialogs, no menu entries on the Linux desktop for
# the installer's shortcut, and no display: CI has none.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
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
# Windows without a display: Wine's null graphics driver runs windows, timers,
# fonts and drawing into bitmaps with no X server.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
# Wine draws "Tahoma" with another face unless the font files are in its own
# Fonts folder; Debian's fonts-wine has them.
cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

say "The tests under Wine: the core's, the screen layer's, the window's and the simulator's"
# The simulator's raw-socket, program and Qt calendar tests are POSIX only.
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
# A run cut short may have left its immutable folder (below).
[ ! -d "$run/read-only" ] || chattr -i "$run/read-only" 2>/dev/null || true
rm -rf "$run" && mkdir -p "$run/گزارش‌ها"
# Made before the simulator starts: its redirection opens the file in the
# background, possibly after the first look for the port.
: >"$run/sim.log"
"$native/bin/pcpos-sim" --listen 127.0.0.1:0 >"$run/sim.log" 2>&1 &
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
# No --log-dir: the log and the journal go into the user's Documents folder,
# which a user without administrator rights can write (not "C:\").
documents=$("$wine" cmd /c echo '%USERPROFILE%\Documents' | tr -d '\r')
"$wine" "$out/bin/pcpos-cli.exe" --host 127.0.0.1 --port "$port" --amount 1000 --json \
  >"$run/default-folder.json" 2>&1 || { cat "$run/default-folder.json"; payment_ok=0; }
check "$run/default-folder.json" "\"log_file\": \"$(printf '%s' "$documents\\Selvarin-PcPosLog.txt" | sed 's/\\/\\\\/g')\""
[ "$(cat "$(winepath -u "$documents\\Selvarin-PcPosLog.txt")" 2>/dev/null)" = \
  "$(tr -d '\r' <"$run/default-folder.json" | sed -n 's/^  "raw": "\(.*\)",$/\1/p')" ] ||
  { echo "the log in $documents does not hold the answer"; payment_ok=0; }
grep -qF ',1000,@@ZRM@@' "$(winepath -u "$documents\\Selvarin-PcPosJournal.csv")" 2>/dev/null ||
  { echo "no journal row in $documents"; payment_ok=0; }
# A folder nobody may write in, as the root of drive C is to a standard user
# (immutable: the script runs as root, whom permission bits do not stop): red,
# nothing sent, and the message names the file.
if mkdir -p "$run/read-only" && chattr +i "$run/read-only" 2>/dev/null; then
  status=0
  "$wine" "$out/bin/pcpos-cli.exe" --host 127.0.0.1 --port "$port" --amount 1000 \
    --log-dir "Z:${run//\//\\}\\read-only\\" >"$run/read-only.txt" 2>&1 || status=$?
  chattr -i "$run/read-only"
  [ "$status" -eq 1 ] || { echo "pcpos-cli.exe into a read-only folder exited with $status"; payment_ok=0; }
  check "$run/read-only.txt" "File access denied - Z:${run//\//\\}\\read-only\\Selvarin-PcPosLog.txt"
  grep -q '^request' "$run/read-only.txt" && { echo "a request went out without a log"; payment_ok=0; }
else
  echo "no immutable folder here (chattr): the read-only folder is not tried"
fi
# A folder that does not exist is said so, in words.
"$wine" "$out/bin/pcpos-cli.exe" --host 127.0.0.1 --port "$port" --amount 1000 \
  --log-dir 'C:\no\such\folder\' >"$run/missing.txt" 2>&1 || true
check "$run/missing.txt" 'The log folder C:\no\such\folder\ does not exist'
echo "The simulator logged:"
cat "$run/sim.log"
[ "$payment_ok" -eq 1 ] || failed+=("pcpos-cli.exe payment")

# One payment in the window: pcpos-tester.exe started with the simulator's
# address, the amount and a log folder with a Persian name (the command line is
# read as UTF-16), Return pressed in its address field by
# win32_window_driver.exe, which prints the result line and closes the window.
# $1 amount, $2 the result line, $3 the journal's outcome; with a fourth, "demo",
# the window pays its own simulated reader (--demo) in place of pcpos-sim.
window_payment() {
  local amount=$1 want_line=$2 want_outcome=$3 folder=$run/پنجره-$1${4:+-$4} ok=1 status=0
  local reader=(--host 127.0.0.1 --port "$port")
  [ "${4:-}" != demo ] || reader=(--demo)
  mkdir -p "$folder"
  local win_dir="Z:${folder//\//\\}\\"
  echo "pcpos-tester.exe ${reader[*]} --amount $amount --log-dir '$win_dir'"
  "$wine" "$window_exe" "${reader[@]}" --amount "$amount" --log-dir "$win_dir" \
    >"$folder/tester.out" 2>&1 &
  local tester=$!
  timeout 150 "$wine" "$out/bin/win32_window_driver.exe" >"$folder/driver.crlf" 2>&1 || status=$?
  tr -d '\r' <"$folder/driver.crlf" >"$folder/driver.out"
  cat "$folder/driver.out"
  [ "$status" -eq 0 ] || { echo "the driver ended with $status"; ok=0; kill "$tester" 2>/dev/null || true; }
  status=0
  wait "$tester" || status=$?
  [ "$status" -eq 0 ] || { echo "pcpos-tester.exe exited with $status"; ok=0; }
  grep -qxF "result: $want_line" "$folder/driver.out" || { echo "result line is not: $want_line"; ok=0; }
  # The journal row: amount, result line and outcome, as on Linux.
  grep -qF ",$amount,@@ZRM@@" "$folder/Selvarin-PcPosJournal.csv" 2>/dev/null &&
    grep -qF ",$want_line,$want_outcome," "$folder/Selvarin-PcPosJournal.csv" ||
    { echo "no journal row with $want_line, $want_outcome"; ok=0; }
  if [ "$want_outcome" = approved ]; then
    local raw
    raw=$(sed -n 's/^raw: //p' "$folder/driver.out")
    [ -n "$raw" ] && [ "$(cat "$folder/Selvarin-PcPosLog.txt" 2>/dev/null)" = "$raw" ] ||
      { echo "the response log does not hold the answer"; ok=0; }
    # The raw pane ends with the log file it wrote.
    grep -qxF "Log: ${win_dir}Selvarin-PcPosLog.txt" "$folder/driver.out" ||
      { echo "the raw pane does not name the log file"; ok=0; }
  fi
  [ "$ok" -eq 1 ] || failed+=("pcpos-tester.exe ${4:+--$4 }payment of $amount")
}

say "pcpos-tester.exe: payments in the window against pcpos-sim, Return pressed"
window_payment 1000 "تراکنش با موفقیت انجام شد" approved
window_payment 1030 "رمز عبور نامعتبر است" declined
# A reset after sending: Wine reads it as a graceful close (docs/windows.md);
# either way the outcome is unknown, amber.
window_payment 1060 "Connection Closed Gracefully." unknown

# The download: the stripped programs with the Windows read-me and the licence
# as text files that open with a double-click (CR LF line ends), as a zip and as
# an installer with the program's icon.
package() {
  local dist=$root/dist stage=$out/package name=pcpos-tester-$version-windows-x64
  rm -rf "$stage" && mkdir -p "$stage/$name" "$dist"
  cp "$out/stripped/pcpos-tester.exe" "$out/stripped/pcpos-cli.exe" "$out/stripped/pcpos-sim.exe" \
    "$out/stripped/pcpos-tap.exe" "$stage/$name/"
  sed -e "s/@VERSION@/$version/" -e 's/$/\r/' packaging/windows/README.txt >"$stage/$name/README.txt"
  sed -e 's/$/\r/' LICENSE >"$stage/$name/LICENSE.txt"
  rm -f "$dist/$name.zip" "$dist/$name-setup.exe"
  (cd "$stage" && zip -qr9 "$dist/$name.zip" "$name")
  makensis -V2 -DVERSION="$version" -DSOURCE="$stage/$name" -DOUTFILE="$dist/$name-setup.exe" \
    -DICON="$root/ui/resources/logo.ico" packaging/windows/pcpos-tester.nsi
  ls -l "$dist/$name.zip" "$dist/$name-setup.exe"
  unzip -l "$dist/$name.zip" | tee "$out/zip-list.txt"
  local listed
  listed=$(awk 'NR > 3 && $4 ~ /\/./ {sub(/^[^\/]*\//, "", $4); print $4}' "$out/zip-list.txt" | LC_ALL=C sort | tr '\n' ' ')
  [ "$listed" = "LICENSE.txt README.txt pcpos-cli.exe pcpos-sim.exe pcpos-tap.exe pcpos-tester.exe " ] ||
    { echo "the zip holds: $listed"; failed+=("the zip's files"); }
}

# The installer run as a user would, silently: the files and the shortcuts are
# there (the demo's with --demo), the installed client and simulator run, and
# the uninstaller leaves nothing behind.
check_installer() {
  local setup=$root/dist/pcpos-tester-$version-windows-x64-setup.exe ok=1
  local key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\pcpos-tester'
  local appdata dir menu
  "$wine" "$setup" /S || { echo "the installer failed"; ok=0; }
  appdata=$("$wine" cmd /c echo '%LOCALAPPDATA%' | tr -d '\r')
  dir=$(winepath -u "$appdata\\Programs\\PC-POS tester")
  menu=$(winepath -u "$("$wine" cmd /c echo '%APPDATA%' | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\PC-POS tester")
  for file in pcpos-tester.exe pcpos-cli.exe pcpos-sim.exe pcpos-tap.exe README.txt LICENSE.txt uninstall.exe; do
    [ -f "$dir/$file" ] || { echo "not installed: $dir/$file"; ok=0; }
  done
  [ -f "$menu/PC-POS tester.lnk" ] || { echo "no Start-menu shortcut in $menu"; ok=0; }
  # A shell link holds its target and arguments as UTF-16.
  tr -d '\0' <"$menu/PC-POS tester (demo).lnk" 2>/dev/null | grep -qaF -e 'pcpos-tester.exe' &&
    tr -d '\0' <"$menu/PC-POS tester (demo).lnk" | grep -qaF -e '--demo' ||
    { echo "no Start-menu shortcut running pcpos-tester.exe --demo in $menu"; ok=0; }
  tr -d '\0' <"$menu/PC-POS tester (installation check).lnk" 2>/dev/null | grep -qaF -e '--suite install' ||
    { echo "no Start-menu shortcut running pcpos-tester.exe --suite install in $menu"; ok=0; }
  "$wine" reg query "$key" >/dev/null 2>&1 || { echo "no uninstall entry"; ok=0; }
  "$wine" "$dir/pcpos-cli.exe" --help >"$out/installed-help.txt" 2>&1 || true
  grep -q -- '--host' "$out/installed-help.txt" || { echo "the installed pcpos-cli.exe --help:"; cat "$out/installed-help.txt"; ok=0; }
  "$wine" "$dir/pcpos-sim.exe" --help >"$out/installed-sim-help.txt" 2>&1 || true
  grep -q -- '--listen' "$out/installed-sim-help.txt" || { echo "the installed pcpos-sim.exe --help:"; cat "$out/installed-sim-help.txt"; ok=0; }
  "$wine" "$dir/pcpos-tap.exe" --help >"$out/installed-tap-help.txt" 2>&1 || true
  grep -q -- '--reader' "$out/installed-tap-help.txt" || { echo "the installed pcpos-tap.exe --help:"; cat "$out/installed-tap-help.txt"; ok=0; }
  # Alone, the uninstaller runs again from a copy of itself and returns at once;
  # with _?= (last, unquoted) it runs in place and returns when done, as
  # README.txt tells a script to. Wine would quote an argument with a space, so
  # the command line is cmd's, from a batch file, as a technician's would be.
  # The uninstaller cannot delete itself then: that and the folder are the caller's.
  printf '%s\r\n' 'start "" /wait "%LOCALAPPDATA%\Programs\PC-POS tester\uninstall.exe" /S _?=%LOCALAPPDATA%\Programs\PC-POS tester' \
    >"$WINEPREFIX/drive_c/uninstall-wait.bat"
  "$wine" cmd /c 'C:\uninstall-wait.bat' >/dev/null 2>&1 || { echo "the uninstaller failed"; ok=0; }
  rm -f "$WINEPREFIX/drive_c/uninstall-wait.bat"
  local left
  left=$(cd "$dir" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')
  [ "$left" = "./uninstall.exe " ] || { echo "left after uninstalling, beside uninstall.exe: $left"; ok=0; }
  rm -f "$dir/uninstall.exe"
  rmdir "$dir" 2>/dev/null || true
  [ ! -e "$dir" ] || { echo "left after uninstalling:"; find "$dir"; ok=0; }
  [ ! -e "$menu" ] || { echo "Start-menu folder left: $menu"; ok=0; }
  ! "$wine" reg query "$key" >/dev/null 2>&1 || { echo "uninstall entry left"; ok=0; }
  [ "$ok" -eq 1 ] && echo "installed, ran pcpos-cli.exe, pcpos-sim.exe and pcpos-tap.exe --help, uninstalled: nothing left" ||
    failed+=("installer")
}


# ---- The simulated reader on Windows: pcpos-sim.exe -----------------------------
# pcpos-cli.exe and the Linux pcpos-cli each paying against pcpos-sim.exe under
# Wine, then the window with its own simulated reader.
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
  pay linux-1000 0 approved "$native/bin/pcpos-cli" --amount 1000
  pay linux-1051 1 declined "$native/bin/pcpos-cli" --amount 1051
  pay linux-1060 3 unknown "$native/bin/pcpos-cli" --amount 1060
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

say "pcpos-tester.exe --demo: a payment in the window against its own simulated reader"
window_payment 1000 "تراکنش با موفقیت انجام شد" approved demo
# The demo as the Start-menu shortcut starts it, with nothing typed: green,
# its log in the user's Documents folder, where the raw pane says.
say "pcpos-tester.exe --demo with its initial log folder"
demo_ok=1
"$wine" "$window_exe" --demo >"$run/demo-default.out" 2>&1 &
tester=$!
timeout 150 "$wine" "$out/bin/win32_window_driver.exe" >"$run/demo-default.crlf" 2>&1 || demo_ok=0
tr -d '\r' <"$run/demo-default.crlf" >"$run/demo-default.txt"
wait "$tester" || demo_ok=0
cat "$run/demo-default.txt"
grep -qxF "result: تراکنش با موفقیت انجام شد" "$run/demo-default.txt" || demo_ok=0
demo_log=$(sed -n 's/^Log: //p' "$run/demo-default.txt")
[ "$demo_log" = "$documents\\Selvarin-PcPosLog.txt" ] || { echo "the log is not in $documents: $demo_log"; demo_ok=0; }
[ -n "$demo_log" ] && [ "$(cat "$(winepath -u "$demo_log")" 2>/dev/null)" = "$(sed -n 's/^raw: //p' "$run/demo-default.txt")" ] ||
  { echo "the log named in the raw pane does not hold the answer"; demo_ok=0; }
[ "$demo_ok" -eq 1 ] || failed+=("pcpos-tester.exe --demo with its initial log folder")
# ---- end of the pcpos-sim.exe step --------------------------------------------------

say "The download: zip and installer in dist/"
package
say "The installer under Wine: silent install, the files, the shortcuts, pcpos-cli and pcpos-sim --help, uninstall"
check_installer

if [ ${#failed[@]} -gt 0 ]; then
  say "Windows run FAILED: ${failed[*]}"
  exit 1
fi
say "Windows run passed"
