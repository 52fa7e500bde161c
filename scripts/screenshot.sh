#!/usr/bin/env bash
# Makes the README's two pictures of the window under Xvfb, clicked and typed as
# an operator would against the simulated reader:
#   docs/images/window-after-payment.png  after an approved payment
#   docs/images/window-waiting.png        during the next payment, while the
#                                         reader takes its time (amount ending
#                                         in 10), the first payment's values greyed
# QT_SCALE_FACTOR and FONTCONFIG_FILE pass through to the window, for example
#   FONTCONFIG_FILE=$PWD/tests/ui/fonts-dejavu-noto.conf QT_SCALE_FACTOR=2 scripts/screenshot.sh /tmp/x2
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh xdotool imagemagick
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
echo "wrote $out/window-after-payment.png and $out/window-waiting.png; the simulator logged:"
cat "$sim_log"
