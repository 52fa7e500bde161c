#!/usr/bin/env bash
# Makes docs/images/window-after-payment.png: the window under Xvfb after one
# payment against the simulated reader, clicked as an operator would.
# QT_SCALE_FACTOR and FONTCONFIG_FILE pass through to the window, for example
#   FONTCONFIG_FILE=$PWD/tests/ui/fonts-dejavu-noto.conf QT_SCALE_FACTOR=2 \
#     scripts/screenshot.sh docs/images/window-dejavu-noto-x2.png
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh xdotool imagemagick
bin=${BIN:-build/bin}
out=${1:-docs/images/window-after-payment.png}

export DISPLAY=:${XVFB_DISPLAY:-77}
scale=${QT_SCALE_FACTOR:-1}
Xvfb "$DISPLAY" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
sim_log=$(mktemp)
"$bin/pcpos-sim" --listen 127.0.0.1:0 >"$sim_log" &
sim=$!
trap 'kill $sim $xvfb 2>/dev/null || true' EXIT
sleep 1
port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$sim_log")

QT_QPA_PLATFORM=xcb "$bin/pcpos-tester" --host 127.0.0.1 --port "$port" --log-dir /tmp/ &
tester=$!
window=""
for _ in $(seq 50); do
  window=$(xdotool search --sync --onlyvisible --pid "$tester" 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
sleep 0.5
# The payment button sits at 17,118 (191 x 25) in the client area; the screen
# counts device pixels.
read -r x y < <(awk -v s="$scale" 'BEGIN { printf "%d %d\n", 110 * s, 130 * s }')
xdotool mousemove --window "$window" "$x" "$y" click 1
sleep 1.5
import -window "$window" "$out"
kill "$tester"
wait "$tester" 2>/dev/null || true
echo "wrote $out; the simulator logged:"
cat "$sim_log"
