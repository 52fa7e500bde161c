#!/usr/bin/env bash
# Runs the built-in acceptance suite against the simulated reader, unattended,
# and opens its report in a real browser (Debian's chromium, headless): a
# screenshot and a print to PDF, each checked for a page that drew. Uses the
# programs of an existing build (default build/, as scripts/test.sh leaves it).
#   scripts/report-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh chromium poppler-utils imagemagick

work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "report-check: $*" >&2
  exit 1
}

# A free port, named on the simulator's first line; the no-card case waits --delay.
"$build/bin/pcpos-sim" --listen 127.0.0.1:0 --delay 0.3 >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$work/sim.log" && break
  sleep 0.1
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.log" | head -1)
[ -n "$port" ] || fail "the simulator did not start: $(cat "$work/sim.log")"

status=0
"$build/bin/pcpos-cli" --suite install --host 127.0.0.1 --port "$port" --log-dir "$work/" \
  --unattended --json >"$work/run.jsonl" || status=$?
[ "$status" -eq 0 ] || fail "the install suite ended with status $status: $(tail -1 "$work/run.jsonl")"
html=$(ls "$work"/acceptance-*.html)

browser=(chromium --headless --no-sandbox --disable-gpu --disable-background-networking
  --disable-component-update --disable-sync --no-first-run --user-data-dir="$(mktemp -d -p "$work")")
timeout 120 "${browser[@]}" --window-size=1000,1400 --screenshot="$work/report.png" \
  "file://$html" >"$work/chromium.log" 2>&1 || fail "chromium --screenshot failed: $(tail -3 "$work/chromium.log")"
timeout 120 "${browser[@]}" --no-pdf-header-footer --print-to-pdf="$work/report.pdf" \
  "file://$html" >>"$work/chromium.log" 2>&1 || fail "chromium --print-to-pdf failed: $(tail -3 "$work/chromium.log")"

# A page that drew has more than a handful of colours and ink on it; a blank
# or failed render is one colour.
ink() { convert "$1" -colorspace Gray -format '%[fx:round(1000*(1-mean))]' info:; }
colours() { identify -format '%k' "$1"; }
[ -s "$work/report.png" ] || fail "no screenshot"
[ "$(colours "$work/report.png")" -gt 16 ] || fail "the screenshot is blank"
[ "$(ink "$work/report.png")" -gt 5 ] || fail "the screenshot has no ink"

pages=$(pdfinfo "$work/report.pdf" | sed -n 's/^Pages: *//p' || true)
[ "${pages:-0}" -ge 1 ] || fail "the PDF has no page"
pdftoppm -r 50 -png -f 1 -l 1 "$work/report.pdf" "$work/page"
page=$(ls "$work"/page*.png | head -1)
[ "$(colours "$page")" -gt 16 ] && [ "$(ink "$page")" -gt 5 ] || fail "the PDF's first page is blank"
pdftotext "$work/report.pdf" "$work/report.txt"
grep -q "acceptance report" "$work/report.txt" || fail "the PDF lacks the report's title"
pdfinfo "$work/report.pdf" >"$work/report.info"
grep -q '^Page size:.*(A4)' "$work/report.info" ||
  fail "the PDF is not A4: $(grep 'Page size' "$work/report.info")"

echo "report-check: the install suite passed; its report drew in chromium (screenshot, $pages-page A4 PDF)"
