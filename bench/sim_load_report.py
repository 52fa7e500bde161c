"""Writes the simulator-under-load figures (bench/run.sh's sim-load section)
into bench/results.md, between its own markers, leaving the rest as it is.

    python3 bench/sim_load_report.py RAW_DIR RESULTS REPS SECONDS
"""
import statistics
import sys
from pathlib import Path

raw, results, reps, seconds = Path(sys.argv[1]), Path(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
samples = {}
for line in (raw / "sim-load.txt").read_text().splitlines():
    key, value = line.split()
    samples.setdefault(key, []).append(float(value))
machine = (raw / "sim-load-machine.txt").read_text().strip()


def spread(key, digits=0):
    values = samples[key]
    fmt = f"{{:,.{digits}f}}"
    return f"{fmt.format(statistics.median(values))} ({fmt.format(min(values))}–{fmt.format(max(values))})"


rows = []
for clients in (8, 64, 1000):
    ratio = statistics.median(samples[f"ratio_c{clients}"])
    failures = f"{int(sum(samples[f'ref_fail_c{clients}']))} / {int(sum(samples[f'sim_fail_c{clients}']))}"
    if clients == 1000:
        goal = "no failure: " + ("met" if sum(samples[f"sim_fail_c{clients}"]) == 0 else "NOT met")
    else:
        goal = "≥ 0.8: " + ("met" if ratio >= 0.8 else "NOT met")
    rows.append(f"| {clients} | {spread(f'ref_rate_c{clients}')} | {spread(f'sim_rate_c{clients}')} | "
                f"{ratio:.2f} ({min(samples[f'ratio_c{clients}']):.2f}–{max(samples[f'ratio_c{clients}']):.2f}) "
                f"| {failures} | {goal} |")
idle_sim = statistics.median(samples["sim_idle_rss_kb"]) / 1024
block = f"""<!-- sim-load: written by bench/run.sh (BENCH_ONLY=sim-load runs just this part) -->
## The simulator under load

`pcpos-sim` (default scenarios, its log of one line per request going to a file) and the reference
`pcpos-bench-epoll-peer` (plain C, one thread, one epoll loop, the same fixed approval from a
constant) run side by side, each on its own loopback port, and `pcpos-bench-load` drives each in
turn with the same number of exchanges always in flight: a new connection, the request line out,
the answer read to the reader's close, counted when it is a whole approval. {reps} rounds; in
each, every client count takes the reference then the simulator, {seconds} s each after 0.5 s not
counted, so the ratio pairs figures taken one right after the other. Medians, extremes in brackets;
failures are summed over the rounds (a refused or reset connection, or an answer that is not a
whole approval). The load client and the server share the machine's 2 cores.

{machine}

| clients in flight | reference, exchanges/s | pcpos-sim, exchanges/s | ratio sim / reference | failures ref / sim | goal |
|---:|---:|---:|---:|---:|---|
{chr(10).join(rows)}

| memory (`VmRSS`, `VmHWM` from `/proc`) | reference | pcpos-sim | goal |
|---|---:|---:|---|
| resident, listening, before any load | {spread('ref_start_rss_kb')} KiB | {spread('sim_start_rss_kb')} KiB | |
| resident with 1,000 idle connections open | {spread('ref_idle_rss_kb')} KiB | {spread('sim_idle_rss_kb')} KiB | < 20 MiB: {"met" if idle_sim < 20 else "NOT met"} |
| peak resident over the whole part | {spread('ref_peak_rss_kb')} KiB | {spread('sim_peak_rss_kb')} KiB | |

The idle figure is read 1 s after `pcpos-bench-load --idle 1000` has opened its connections
(which send nothing; the simulator's 30 s request time-out is far off), once per round on fresh
servers; the peak is each server's `VmHWM` at the end of its round.
<!-- /sim-load -->"""

text = results.read_text() if results.exists() else ""
start, end = "<!-- sim-load:", "<!-- /sim-load -->"
if start in text and end in text:
    text = text[: text.index(start)] + block + text[text.index(end) + len(end):]
elif "## How each figure is taken" in text:
    at = text.index("## How each figure is taken")
    text = text[:at] + block + "\n\n" + text[at:]
else:
    text = text.rstrip("\n") + "\n\n" + block + "\n"
results.write_text(text)
print(f"written: {results} (the simulator under load)")
