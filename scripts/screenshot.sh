#!/usr/bin/env bash
# Makes the README's two pictures of the window under Xvfb, clicked and typed as
# an operator would against the simulated reader:
#   docs/images/window-after-payment.png  after an approved payment
#   docs/images/window-waiting.png        during the next payment, while the
#                                         reader takes its time (amount ending
#                                         in 10), the first payment's values greyed
#   docs/images/window-windows.png        the native Windows window (built by
#                                         scripts/windows.sh) under Wine after an
#                                         approved payment; WINDOWS_ONLY=1 makes
#                                         only this one
# QT_SCALE_FACTOR and FONTCONFIG_FILE pass through to the window, for example
#   FONTCONFIG_FILE=$PWD/tests/ui/fonts-dejavu-noto.conf QT_SCALE_FACTOR=2 scripts/screenshot.sh /tmp/x2
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh xdotool imagemagick x11-utils
bin=${BIN:-build/bin}
out=${1:-docs/images}
mkdir -p "$out"

export DISPLAY=:${XVFB_DISPLAY:-77}
scale=${QT_SCALE_FACTOR:-1}
Xvfb "$DISPLAY" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
sim_log=$(mktemp)
"$bin/pcpos-sim" --listen 127.0.0.1:0 --delay 8 >"$sim_log" &
sim=$!
trap 'kill $sim $xvfb 2>/dev/null || true' EXIT
sleep 1
port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$sim_log")

qt_pictures() {
  QT_QPA_PLATFORM=xcb "$bin/pcpos-tester" --host 127.0.0.1 --port "$port" --amount 1000 --log-dir /tmp/ &
  tester=$!
  window=""
  for _ in $(seq 50); do
    window=$(xdotool search --sync --onlyvisible --pid "$tester" 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
  done
  sleep 0.5
  # The payment button sits at 17,118 (191 x 25) in the client area; the amount at 68,60 (140 x 21).
  # The screen counts device pixels.
  at() { awk -v s="$scale" -v x="$1" -v y="$2" 'BEGIN { printf "%d %d\n", x * s, y * s }'; }
  read -r x y < <(at 110 130)
  xdotool mousemove --window "$window" "$x" "$y" click 1
  sleep 1.5
  import -window "$window" "$out/window-after-payment.png"

  # The simulator holds an amount ending in 10 for --delay seconds before approving.
  read -r ax ay < <(at 138 70)
  xdotool mousemove --window "$window" "$ax" "$ay" click 1 key ctrl+a type 1010
  sleep 0.6  # past the button's double-click guard
  xdotool mousemove --window "$window" "$x" "$y" click 1
  sleep 3.2
  import -window "$window" "$out/window-waiting.png"

  kill "$tester"
  wait "$tester" 2>/dev/null || true
  echo "wrote $out/window-after-payment.png and $out/window-waiting.png"
}

# The native window under Wine on the same screen, in a Wine prefix of its own
# (the tests' prefix has no display driver): Wine's unmanaged windows draw their
# own title bar, with Wine's Marlett for its buttons, and Tahoma must be in the
# prefix's Fonts folder to be used.
windows_picture() {
  local exe=build-windows/bin/pcpos-tester.exe driver=build-windows/bin/win32_window_driver.exe
  if [ ! -f "$exe" ] || [ ! -f "$driver" ] || ! command -v wine >/dev/null; then
    echo "no $exe (scripts/windows.sh builds it) or no Wine: window-windows.png not made"
    return 0
  fi
  export WINEPREFIX=$PWD/build-windows/wine-x11 WINEDEBUG=-all WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init
    wineserver -w
  fi
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
  cp /usr/share/wine/fonts/{tahoma,tahomabd,marlett}.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  local log
  log=$(mktemp -d)
  wine "$exe" --host 127.0.0.1 --port "$port" --amount 1000 --log-dir 'C:\' >"$log/tester.out" 2>&1 &
  local tester=$!
  # Return pressed in the window; the driver holds it open for the picture.
  wine "$driver" --hold 4 >"$log/driver.out" 2>&1 &
  local driver_pid=$!
  for _ in $(seq 300); do
    grep -q '^raw:' "$log/driver.out" 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.5
  # Its outer rectangle, title bar included, from the X tree.
  local geometry
  geometry=$(xwininfo -root -tree | grep -F '1398/12/05"' | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | head -1)
  [ -n "$geometry" ] || { echo "no Wine window on the screen"; cat "$log"/*.out; return 1; }
  import -window root -crop "$geometry" +repage "$out/window-windows.png"
  wait "$driver_pid" "$tester" || true
  wineserver -k 2>/dev/null || true
  tr -d '\r' <"$log/driver.out"
  rm -rf "$log"
  echo "wrote $out/window-windows.png"
}

[ "${WINDOWS_ONLY:-0}" = 1 ] || qt_pictures
windows_picture
echo "the simulator logged:"
cat "$sim_log"
