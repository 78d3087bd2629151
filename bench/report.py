"""Turns the benchmark's raw figures into docs/performance.md and the chart's data file."""
import json
import os
import platform
import subprocess
import sys
from datetime import date

(times_json, sizes_tsv, kelmora_size, floor_size, kel_private, kel_ws, floor_private, floor_ws,
 runs) = sys.argv[1:]
results = json.load(open(times_json))["results"]
median = {r["command"]: r["median"] * 1000 for r in results}
spread = {r["command"]: r["stddev"] * 1000 for r in results}
floor = median["spawn floor"]
shipped = median["KELMORA.exe, shipped runtime"]
batch = median["batch file through cmd"]

with open("build/bench/chart.dat", "w") as chart:
    for r in results:
        # Two lines per label, broken at the comma, so neighbouring labels do not overlap.
        label = r["command"].replace(", ", ",\\n")
        chart.write(f'"{label}" {r["median"] * 1000:.1f}\n')

cpu = "unknown processor"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        cpu = line.split(":", 1)[1].strip()
        break
wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
kib = lambda n: f"{int(n) / 1024:.0f} KiB"

lines = [
    "# Performance",
    "",
    f"Measured by `bench/run.sh` on {date.today().isoformat()}: {cpu}, {os.cpu_count()} cores, "
    f"{platform.system()} {platform.release()}, {wine}, hyperfine with 3 warm-up runs and {runs} "
    "timed runs per command. Every command starts the same stand-in runtime, which exits at once, "
    "so the figures are what each way of starting it costs, Wine's own process start included.",
    "",
    "| command | median (ms) | std. dev. (ms) | ratio to the floor |",
    "|---|---:|---:|---:|",
]
for r in results:
    c = r["command"]
    lines.append(f"| {c} | {median[c]:.1f} | {spread[c]:.1f} | {median[c] / floor:.2f} |")
lines += [
    "",
    f"- KELMORA / floor: **{shipped / floor:.2f}** (shipped runtime), "
    f"{median['KELMORA.exe, registered runtime'] / floor:.2f} (registered runtime).",
    f"- KELMORA / batch file: **{shipped / batch:.2f}**.",
    "",
    "![Median start-up time per command](performance.png)",
    "",
    "## Memory while waiting",
    "",
    "Read by the stand-in runtime from its parent with `GetProcessMemoryInfo` while the parent waits.",
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
open("docs/performance.md", "w").write("\n".join(lines) + "\n")
