#!/usr/bin/env python3
"""Turns the samples bench/run.sh collected into a table and bench/results.md.

usage: summarise.py RAW_DIR RESULTS_MD IDLE_SECONDS REPS TX
"""
import json
import statistics
import sys
from collections import defaultdict
from pathlib import Path

raw, results, idle, reps, tx = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]

samples = defaultdict(list)
for line in (raw / "samples.txt").read_text().splitlines():
    key, value = line.split()
    samples[key].append(float(value))

# key, label, unit, scale, goal (the median must stay below it), decimals
ROWS = [
    ("Idle cost (silent reader)", None),
    ("idle_cli_wait_s", f"pcpos-cli: CPU during the {idle} s wait", "ms", 1e3, 100, 3),
    ("idle_cli_before_s", "pcpos-cli: CPU before the wait (start, connect, send)", "ms", 1e3, None, 3),
    ("idle_cli_total_s", f"pcpos-cli: CPU of the whole run ({idle} s wait + 2 s)", "s", 1, None, 2),
    ("idle_window_wait_s", f"window: CPU during the {idle} s wait", "ms", 1e3, 100, 3),
    ("idle_window_total_s", "window: CPU of the whole process, start-up included", "s", 1, None, 2),
    ("Answer latency (reader sends the answer -> ...)", None),
    ("core_latency_us", "core: observer receives the fields", "ms", 1e-3, 1.0, 3),
    ("window_offscreen_set_us", "window, offscreen: last field set (queued call ran)", "ms", 1e-3, None, 3),
    ("window_offscreen_painted_us", "window, offscreen: last field painted", "ms", 1e-3, None, 3),
    ("window_offscreen_turn_us", "window, offscreen: fields visible (one loop turn after the paint)", "ms", 1e-3, 16, 3),
    ("window_xvfb_set_us", "window, Xvfb: last field set", "ms", 1e-3, None, 3),
    ("window_xvfb_painted_us", "window, Xvfb: last field painted", "ms", 1e-3, None, 3),
    ("window_xvfb_turn_us", "window, Xvfb: fields visible (one loop turn after the paint)", "ms", 1e-3, 16, 3),
    ("Start-up (exec -> window shown) and memory", None),
    ("startup_offscreen_main_ms", "offscreen: exec to main()", "ms", 1, None, 1),
    ("startup_offscreen_ms", "offscreen: exec to window shown", "ms", 1, None, 1),
    ("startup_offscreen_rss_kb", "offscreen: resident memory when shown", "MiB", 1 / 1024, None, 1),
    ("startup_xvfb_main_ms", "Xvfb: exec to main()", "ms", 1, None, 1),
    ("startup_xvfb_ms", "Xvfb: exec to window shown", "ms", 1, None, 1),
    ("startup_xvfb_rss_kb", "Xvfb: resident memory when shown", "MiB", 1 / 1024, None, 1),
    ("tester_rss_kb", "pcpos-tester (unmodified), offscreen: resident memory 2 s after start", "MiB", 1 / 1024, None, 1),
    (f"Throughput, {tx} exchanges per measurement (request line out, answer in)", None),
]
for p in (1, 2, 8):
    at_once = "one at a time" if p == 1 else f"{p} at once"
    ROWS += [
        (f"tput_cli_p{p}", f"pcpos-cli, {at_once}", "tx/s", 1, None, 1),
        (f"tput_socat_p{p}", f"socat, {at_once}", "tx/s", 1, None, 1),
        (f"tput_packetsender_p{p}", f"packetsender, {at_once}", "tx/s", 1, None, 1),
        (f"ratio_cli_socat_p{p}", f"ratio pcpos-cli / socat, {at_once}", "x", 1, None, 2),
        (f"ratio_cli_packetsender_p{p}", f"ratio pcpos-cli / packetsender, {at_once}", "x", 1, None, 2),
    ]


def fmt(value, decimals):
    return f"{value:.{decimals}f}"


table = ["| Figure | Unit | Median | Min | Max | n | Goal |", "|---|---|---:|---:|---:|---:|---|"]
plain = []
for row in ROWS:
    if row[1] is None:
        table.append(f"| **{row[0]}** | | | | | | |")
        plain.append(f"\n{row[0]}")
        continue
    key, label, unit, scale, goal, decimals = row
    values = [v * scale for v in samples.get(key, [])]
    if not values:
        table.append(f"| {label} | {unit} | not measured | | | 0 | |")
        plain.append(f"  {label:<72} not measured")
        continue
    median = statistics.median(values)
    verdict = ""
    if goal is not None:
        verdict = f"< {goal:g} {unit}: " + ("met" if median < goal else "NOT met")
    cells = [fmt(median, decimals), fmt(min(values), decimals), fmt(max(values), decimals)]
    table.append(f"| {label} | {unit} | {' | '.join(cells)} | {len(values)} | {verdict} |")
    plain.append(f"  {label:<72} {cells[0]:>10} {unit:<5} (min {cells[1]}, max {cells[2]}, n {len(values)}) {verdict}")

# The codec: per-repetition times from Google Benchmark.
codec_rows = ["| Call | Median ns/call | Min | Max | Repetitions |", "|---|---:|---:|---:|---:|"]
codec_plain = ["\nCodec per call (Google Benchmark, CPU time)"]
codec = json.loads((raw / "codec.json").read_text())
per_call = defaultdict(list)
for bench in codec["benchmarks"]:
    if bench.get("run_type") == "iteration":
        factor = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[bench.get("time_unit", "ns")]
        per_call[bench["run_name"]].append(bench["cpu_time"] * factor)
for name, values in per_call.items():
    cells = [fmt(statistics.median(values), 1), fmt(min(values), 1), fmt(max(values), 1)]
    codec_rows.append(f"| `{name}` | {' | '.join(cells)} | {len(values)} |")
    codec_plain.append(f"  {name:<50} {cells[0]:>10} ns (min {cells[1]}, max {cells[2]})")

# The journal: wall time per payment (most of an append is spent in the kernel).
journal_rows = ["| Call | Median µs/payment | Min | Max | Repetitions | Goal |", "|---|---:|---:|---:|---:|---|"]
journal_plain = ["\nJournal per payment (Google Benchmark, wall time)"]
journal = json.loads((raw / "journal.json").read_text())
per_payment = defaultdict(list)
for bench in journal["benchmarks"]:
    if bench.get("run_type") == "iteration":
        factor = {"ns": 1e-3, "us": 1, "ms": 1e3, "s": 1e6}[bench.get("time_unit", "ns")]
        per_payment[bench["run_name"]].append(bench["real_time"] * factor)
for name, values in per_payment.items():
    median = statistics.median(values)
    verdict = ""
    if name.startswith("BM_JournalPayment"):
        verdict = "< 1 ms: " + ("met" if median < 1000 else "NOT met")
    cells = [fmt(median, 2), fmt(min(values), 2), fmt(max(values), 2)]
    journal_rows.append(f"| `{name}` | {' | '.join(cells)} | {len(values)} | {verdict} |")
    journal_plain.append(f"  {name:<50} {cells[0]:>10} µs (min {cells[1]}, max {cells[2]}) {verdict}")

machine = (raw / "machine.txt").read_text().splitlines()
load_lines = (raw / "load.txt").read_text().splitlines()
context = codec.get("context", {})

print("\n".join(plain + codec_plain + journal_plain))

md = [
    "# Benchmark results",
    "",
    "Written by `bench/run.sh`; every figure below comes from the run described here.",
    f"Each measurement was repeated (BENCH_REPS = {reps}); n is the number of samples behind a figure.",
    "The table gives the median and the extremes; goals apply to the median.",
    "",
    "## Machine",
    "",
    *[f"- {line}" for line in machine],
    f"- Google Benchmark's view: {context.get('num_cpus', '?')} CPUs at {context.get('mhz_per_cpu', '?')} MHz, "
    f"CPU scaling {'on' if context.get('cpu_scaling_enabled') else 'off or unknown'}",
    "",
    "## Load during the run",
    "",
    "Load averages (1, 5, 15 min) from `/proc/loadavg` at the start and after each part. On a",
    "2-core machine a 1-minute load above 2 means other work was waiting for the cores, and the",
    "timings (not the idle CPU figures) are noisier and slower than on a quiet machine.",
    "",
    *[f"- {'at' if line.startswith('start ') else 'after'} {line.split(' ', 1)[0]}: {line.split(' ', 1)[1]}"
      for line in load_lines],
    "",
    "## Figures",
    "",
    *table,
    "",
    "## The codec per call",
    "",
    *codec_rows,
    "",
    "## The journal per payment",
    "",
    *journal_rows,
    "",
    "## How each figure is taken",
    "",
    f"- **Idle cost.** `pcpos-sim --scenario silence` on loopback accepts and never answers. {reps} `pcpos-cli`",
    f"  runs and {reps} windows wait on it at once (sleeping processes do not compete for the cores). For",
    f"  `pcpos-cli` the wait figure is the sum over its threads of `/proc/<pid>/task/*/schedstat` (ns)",
    f"  across exactly {idle} s, from 1 s after its start (what it spent in that first second is listed",
    "  too, to show the reading works); its `--timeout` ends it 2 s later, and the",
    "  whole-run figure is `/usr/bin/time`'s user + system (10 ms resolution). For the window,",
    "  `pcpos-bench-window` (the window program's own start-up and window, with a measuring hook)",
    f"  clicks the payment button and reads `getrusage(RUSAGE_SELF)` at the click and {idle} s later;",
    "  it fails the run if the payment is no longer waiting then. A busy-polling tool would spend",
    f"  about {idle} s here. Most of the window's figure is the waiting line, which redraws the",
    "  seconds waited and left once a second.",
    "- **Answer latency, core.** `pcpos-bench-latency` runs whole transactions (connect, request, answer,",
    "  log file) against a loopback reader inside the same process that answers with the simulator's",
    "  own answer builder. The reader reads the monotonic clock just before the one `send()` that",
    "  carries the whole answer, last byte included; the observer reads it first thing in `OnFields`.",
    "  20 warm-up transactions per repetition are not counted.",
    "- **Answer latency, window.** The same reader; `pcpos-bench-window` clicks the payment button,",
    "  and times (from the reader's send) the moment the last field (`txtTransactionTime`) is set by",
    "  the queued call, the moment that field receives its paint event, and one event-loop turn later",
    "  (`QTimer::singleShot(0)` from the paint), after the repaint that drew it has returned: that",
    "  last one is \"fields visible\". The fields are cleared and repainted before each payment so that",
    "  every answer repaints them. 5 warm-up payments per repetition are not counted.",
    "- **Start-up.** `pcpos-bench-spawn` reads the monotonic clock and `exec`s `pcpos-bench-window`, which",
    "  runs `pcpos-tester`'s start-up unchanged and notes the window's first paint, then one more",
    "  event-loop turn: that is \"shown\"; \"exec to main()\" is the part spent loading the program and",
    "  its libraries. Resident memory (`VmRSS`) is read at the \"shown\" moment. The",
    "  first start of each kind is a warm-up and not counted; the Xvfb starts share one Xvfb server",
    "  (`xvfb-run`), so the server's own start is not in the figure. `pcpos-tester` itself is also",
    "  started offscreen and its `VmRSS` read 2 s later.",
    f"- **Throughput.** `pcpos-sim --scenario approve` on loopback. Each measurement is {tx} exchanges,",
    "  started by `xargs -P` one at a time, 2 or 8 at once, timed from the first start to the last end",
    "  (each exchange starts a new process of the tool, as a script would). The same exchange (the",
    "  request line with CR LF out, the answer in, the reader closes) is done by `pcpos-cli --json`",
    "  (which also parses the answer and writes its log file, one log folder per exchange), by",
    "  `socat` and by Debian's `packetsender` command line. Every answer is counted; a round with a",
    "  missing answer fails the run. Rounds take the three tools one right after the other, and each",
    "  ratio pairs the figures of one round.",
    "- **Codec.** Google Benchmark, CPU time per call, repetitions as listed: `ParseResponse` on a",
    "  full approval, on a wrong header, and on 32 KiB (the most one read hands over);",
    "  `BuildPurchaseRequest` for short, 12-digit and Persian-digit amounts. The code measured is",
    "  built Release; Debian's Google Benchmark prints \"Library was built as DEBUG\", which concerns",
    "  the library's own build, not the code it times.",
    "- **Journal.** `pcpos-bench-journal`, Google Benchmark, wall time per call: `JournalRow` makes",
    "  one row (an approval; an open outcome whose error has a line break; a rogue answer with line",
    "  breaks, a tab, backslashes and a formula to escape); `JournalPayment` is what each payment pays,",
    "  the row made and appended to `Selvarin-PcPosJournal.csv` in a folder under `build-bench/` (on",
    "  the disk, not a tmpfs): open, exclusive lock, one write, `fdatasync`, close. The file grows",
    "  through the run, as a day's journal does.",
    "",
]
results.write_text("\n".join(md))
print(f"\nwritten: {results}")
