"""Turns the benchmark's raw figures into performance.md (in BENCH_REPORT_DIR, docs/ by default)
and the chart's data file. BENCH_EMULATION, when set, is the line that says the 32-bit programs
ran under emulation: the report then says so at its head."""
import json
import os
import platform
import subprocess
import statistics
import sys
from datetime import date

(times_json, sizes_tsv, kelmora_size, floor_size, kel_private, kel_ws, floor_private, floor_ws,
 runs) = sys.argv[1:]
timing = json.load(open(times_json))
order, times = timing["order"], timing["times_ms"]
median = {c: statistics.median(times[c]) for c in order}
spread = {c: statistics.stdev(times[c]) for c in order}
floor = median["spawn floor"]
shipped = median["KELMORA.exe, shipped runtime"]
registered = median["KELMORA.exe, registered runtime"]
batch = median["batch file through cmd"]


def paired(numerator, denominator):
    """The median of the ratios taken round by round: both commands ran in the same round."""
    return statistics.median(a / b for a, b in zip(times[numerator], times[denominator]))


with open("build/bench/chart.dat", "w") as chart:
    for c in order:
        # Two lines per label, broken at the comma, so neighbouring labels do not overlap.
        label = c.replace(", ", ",\\n")
        chart.write(f'"{label}" {median[c]:.1f}\n')

cpu = "unknown processor"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        cpu = line.split(":", 1)[1].strip()
        break
wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
kib = lambda n: f"{int(n) / 1024:.0f} KiB"

emulation = os.environ.get("BENCH_EMULATION", "")
lines = ["# Performance" + (" (32-bit programs emulated)" if emulation else ""), ""]
if emulation:
    lines += [
        f"**Emulated.** {emulation.removeprefix('NOTE: ')} Every time below includes the "
        "emulator's cost; only the ratios between commands, all measured the same way, still "
        "say something of the launcher. The native figures are in `docs/performance.md`.",
        "",
    ]
lines += [
    f"Measured by `bench/run.sh` on {date.today().isoformat()}: {cpu}, {os.cpu_count()} cores, "
    f"{platform.system()} {platform.release()}, {wine}, 3 warm-up rounds and {runs} timed rounds. "
    "A round runs every command once, in an order that rotates from round to round, so that a "
    "drift in the machine's speed weighs on every command alike; the commands run on one core. Every command starts the same "
    "stand-in runtime, which exits at once, so the figures are what each way of starting it "
    "costs, Wine's own process start included.",
    "",
    "| command | median (ms) | std. dev. (ms) | ratio to the floor |",
    "|---|---:|---:|---:|",
]
for c in order:
    lines.append(f"| {c} | {median[c]:.1f} | {spread[c]:.1f} | {median[c] / floor:.2f} |")
lines += [
    "",
    "Ratios, as the ratio of the medians and as the median of the ratios taken round by round:",
    "",
    "| ratio | of the medians | round by round |",
    "|---|---:|---:|",
    f"| KELMORA (shipped runtime) / floor | **{shipped / floor:.2f}** | "
    f"**{paired('KELMORA.exe, shipped runtime', 'spawn floor'):.2f}** |",
    f"| KELMORA (registered runtime) / floor | {registered / floor:.2f} | "
    f"{paired('KELMORA.exe, registered runtime', 'spawn floor'):.2f} |",
    f"| KELMORA (shipped runtime) / batch file | **{shipped / batch:.2f}** | "
    f"**{paired('KELMORA.exe, shipped runtime', 'batch file through cmd'):.2f}** |",
    f"| KELMORA / floor, both in a folder the code page cannot name (short names) | "
    f"{median['KELMORA.exe, short-name folder'] / median['spawn floor, short-name folder']:.2f} | "
    f"{paired('KELMORA.exe, short-name folder', 'spawn floor, short-name folder'):.2f} |",
    "",
    "![Median start-up time per command](performance.png)",
    "",
    "## Memory while waiting",
    "",
    "Read by the stand-in runtime from its parent with `GetProcessMemoryInfo` while the parent waits; the median of nine starts of each.",
    "",
    "| parent | private bytes | working set |",
    "|---|---:|---:|",
    f"| KELMORA.exe | {kib(kel_private)} | {kib(kel_ws)} |",
    f"| spawn floor | {kib(floor_private)} | {kib(floor_ws)} |",
    "",
    "## Size",
    "",
    f"`KELMORA.exe` is {int(kelmora_size):,} bytes ({kib(kelmora_size)}); the spawn floor, built with "
    f"the same toolchain and flags, is {int(floor_size):,} bytes.",
    "",
    "What each build lever costs and gains, each row adding one lever to the row above it:",
    "",
    "| build | bytes |",
    "|---|---:|",
]
for line in open(sizes_tsv):
    name, size = line.rstrip("\n").split("\t")
    lines.append(f"| {name} | {int(size):,} |")
lines.append("")
lines.append(open("bench/notes.md").read().rstrip("\n"))
open(os.path.join(os.environ.get("BENCH_REPORT_DIR", "docs"), "performance.md"), "w").write("\n".join(lines) + "\n")
