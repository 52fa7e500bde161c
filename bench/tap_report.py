"""Writes the tap's figures (bench/run.sh's tap section) into bench/results.md,
between its own markers, leaving the rest as it is.

    python3 bench/tap_report.py RAW_DIR RESULTS REPS SECONDS
"""
import statistics
import sys
from pathlib import Path

raw, results, reps, seconds = Path(sys.argv[1]), Path(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
samples = {}
for line in (raw / "tap.txt").read_text().splitlines():
    key, value = line.split()
    samples.setdefault(key, []).append(float(value))
machine = (raw / "tap-machine.txt").read_text().strip()


def med(key):
    return statistics.median(samples[key])


def spread(key, digits=0):
    values = samples[key]
    fmt = f"{{:,.{digits}f}}"
    return f"{fmt.format(statistics.median(values))} ({fmt.format(min(values))}–{fmt.format(max(values))})"


rows = []
for clients in (1, 8, 64):
    ratio_key = f"ratio_c{clients}"
    goal = ""
    if clients in (8, 64):
        goal = "≥ 0.8: " + ("met" if med(ratio_key) >= 0.8 else "NOT met")
    rows.append(f"| {clients} | {spread(f'direct_rate_c{clients}')} | {spread(f'relay_rate_c{clients}')} | "
                f"{spread(f'tap_rate_c{clients}')} | {spread(ratio_key, 2)} | {goal} |")
added = med("tap_added_us")
fail_sim = int(sum(samples["direct_fail_c1000"]))
fail_tap = int(sum(samples["tap_fail_c1000"]))
idle_mib = med("tap_idle_rss_kb") / 1024
block = f"""<!-- tap: written by bench/run.sh (BENCH_ONLY=tap runs just this part) -->
## The tap

`pcpos-sim` (default scenarios, its log to a file), the leanest relay `pcpos-bench-relay-peer`
(plain C, one thread, one epoll loop, no decoding, no journal) in front of it, and `pcpos-tap`
in front of it too (text output to a file, its journal on the disk under the build folder), all
started fresh each round. `pcpos-bench-load` drives the simulator directly, then through the C
relay, then through the tap, with the same number of exchanges always in flight. {reps} rounds,
{seconds} s each after 0.5 s not counted. Medians, extremes in brackets.

{machine}

| in flight | direct, exchanges/s | C relay, exchanges/s | pcpos-tap, exchanges/s | tap / C relay | goal |
|---:|---:|---:|---:|---:|---|
{chr(10).join(rows)}

| figure | value | goal |
|---|---:|---|
| median exchange at 1 in flight, direct | {spread('direct_median_us_c1', 1)} µs | |
| median exchange at 1 in flight, through the C relay | {spread('relay_median_us_c1', 1)} µs | |
| median exchange at 1 in flight, through the tap | {spread('tap_median_us_c1', 1)} µs | |
| added by the tap to the median exchange | {spread('tap_added_us', 1)} µs | < 200 µs: {"met" if added < 200 else "NOT met"} |
| failures at 1,000 in flight, direct to pcpos-sim (summed) | {fail_sim} | none: {"met" if fail_sim == 0 else "NOT met"} |
| failures at 1,000 in flight, through the tap (summed) | {fail_tap} | none: {"met" if fail_tap == 0 else "NOT met"} |
| exchanges/s at 1,000 in flight, direct / through the tap | {spread('direct_rate_c1000')} / {spread('tap_rate_c1000')} | |
| tap resident, listening | {spread('tap_start_rss_kb')} KiB | |
| tap resident with 1,000 idle connections | {spread('tap_idle_rss_kb')} KiB | < 20 MiB: {"met" if idle_mib < 20 else "NOT met"} |
| tap peak resident over the round | {spread('tap_peak_rss_kb')} KiB | |

The added time pairs the medians of one round, taken one right after the other. The idle figure
is read 1 s after `pcpos-bench-load --idle 1000` has opened its connections through the tap
(each also holds a connection to the simulator).
<!-- /tap -->"""

text = results.read_text() if results.exists() else ""
start, end = "<!-- tap:", "<!-- /tap -->"
if start in text and end in text:
    text = text[: text.index(start)] + block + text[text.index(end) + len(end):]
elif "## How each figure is taken" in text:
    at = text.index("## How each figure is taken")
    text = text[:at] + block + "\n\n" + text[at:]
else:
    text = text.rstrip("\n") + "\n\n" + block + "\n"
results.write_text(text)
print(f"written: {results} (the tap)")
