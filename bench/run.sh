#!/usr/bin/env bash
# Start-up cost, size and memory of KELMORA.exe under Wine, side by side with the spawn floor
# (a program that only calls CreateProcessA and waits), the stand-in runtime started directly,
# and a batch file doing the same job, each run in turn with the others (bench/timing.py).
# Writes docs/performance.md and docs/performance.png. Where 32-bit programs run under emulation,
# the figures are the emulator's, not Wine's on a host that runs them natively: then the report is
# labelled as emulated and written to build/bench/report/ instead, unless BENCH_WRITE_DOCS=1.
# Not part of the test command: timings belong to a benchmark, not to a pass/fail test.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/common.sh
# Code page 1252, as in the end-to-end tests; Wine takes it from the locale.
export LC_ALL=C.UTF-8
bash scripts/install-deps.sh bench
build_launcher
use_wine_prefix bench

report_dir=docs
BENCH_EMULATION=$(i386_emulation_note)
export BENCH_EMULATION
if [ -n "$BENCH_EMULATION" ] && [ "${BENCH_WRITE_DOCS:-}" != 1 ]; then
  report_dir=build/bench/report
fi
export BENCH_REPORT_DIR=$report_dir

runs=${BENCH_RUNS:-30}
drive_c="$WINEPREFIX/drive_c"
programs=build/mingw/test-programs
out=build/bench
mkdir -p "$out" "$report_dir"

# The application folder, shipped runtime: a stand-in javaw.exe that exits at once.
app="$drive_c/BenchApp"
rm -rf "$app"; mkdir -p "$app/java/bin"
cp build/mingw/KELMORA.exe "$app/"
cp "$programs/javaw_standin.exe" "$app/java/bin/javaw.exe"
printf '[KELMORA]\r\nUSAR_JAVAHOME=0\r\nNOME_JAR=app.jar\r\n' >"$app/config.ini"
# The same job as a packager's batch file.
printf '@"%%CD%%\\java\\bin\\javaw.exe" -jar -Xmx768m "%%CD%%\\app.jar"\r\n' >"$app/launch.cmd"

# The registered runtime, in the 64-bit view.
reg_app="$drive_c/BenchReg"
rm -rf "$reg_app" "$drive_c/BenchJre"; mkdir -p "$reg_app" "$drive_c/BenchJre/bin"
cp build/mingw/KELMORA.exe "$reg_app/"
cp "$programs/javaw_standin.exe" "$drive_c/BenchJre/bin/Javaw.exe"
printf '[KELMORA]\r\nVERSAO_JAVA=bench\r\nUSAR_JAVAHOME=1\r\nNOME_JAR=app.jar\r\n' >"$reg_app/config.ini"
wine reg add 'HKLM\Software\JavaSoft\Java Runtime Environment\bench' /v JavaHome /t REG_SZ \
  /d 'C:\BenchJre' /f /reg:64 </dev/null >/dev/null 2>&1

# A folder whose name the code page cannot hold: the launcher looks up its short name and starts
# the runtime through it. The floor starts the very command line the launcher builds there.
short_app="$drive_c/Bench-Łódź"
rm -rf "$short_app"; mkdir -p "$short_app/java/bin"
cp build/mingw/KELMORA.exe "$short_app/"
cp "$programs/javaw_standin.exe" "$short_app/java/bin/javaw.exe"
printf '[KELMORA]\r\nUSAR_JAVAHOME=0\r\nNOME_JAR=app.jar\r\n' >"$short_app/config.ini"
rm -f "$drive_c/bench-short.jsonl"
(cd "$short_app" && STANDIN_RECORD='C:\bench-short.jsonl' wine KELMORA.exe </dev/null >/dev/null 2>&1)
short_line=$(python3 -c 'import json,sys; print(json.loads(open(sys.argv[1]).readline())["commandLine"])' \
  "$drive_c/bench-short.jsonl")
case "$short_line" in *'?'*|'') echo "no short name for $short_app: $short_line" >&2; exit 1;; esac

export SPAWN_COMMAND_LINE='C:\BenchApp\java\bin\javaw.exe -jar -Xmx768m "C:\BenchApp\app.jar"'
floor="$PWD/$programs/spawn_floor.exe"
# Every command once per round, in rotating order; the names' underscores become blanks. On
# one core: spread over two, Wine's process start times fall into two clusters some 50 ms apart,
# by where the scheduler happens to put the new process, which buries what the launcher costs.
taskset -c 0 python3 bench/timing.py "$out/times.json" 3 "$runs" \
  "stand-in_started_directly=$app=C:\\BenchApp\\java\\bin\\javaw.exe" -- \
  "spawn_floor=$app=$floor" -- \
  "KELMORA.exe,_shipped_runtime=$app=KELMORA.exe" -- \
  "KELMORA.exe,_registered_runtime=$reg_app=KELMORA.exe" -- \
  "batch_file_through_cmd=$app=cmd /c launch.cmd" -- \
  "spawn_floor,_short-name_folder=$short_app=$floor" "--env=SPAWN_COMMAND_LINE=$short_line" -- \
  "KELMORA.exe,_short-name_folder=$short_app=KELMORA.exe"

# Memory of the waiting parent, read by the stand-in: the median of nine starts of each, taken
# in turn (one reading moves by 1 to 2 % from start to start).
memory() {  # memory DIR EXE -> one reading more in C:\bench-memory-<name of EXE>.jsonl
  (cd "$1" && STANDIN_PARENT_MEMORY=1 STANDIN_RECORD="C:\\bench-memory-$(basename "$2").jsonl" \
     wine "$2" </dev/null >/dev/null 2>&1)
}
rm -f "$drive_c"/bench-memory-*.jsonl
for _ in 1 2 3 4 5 6 7 8 9; do memory "$app" KELMORA.exe; memory "$app" "$floor"; done
median_memory() {  # median_memory FILE -> "private working-set" in bytes
  python3 -c 'import json,statistics,sys
rows = [json.loads(line) for line in open(sys.argv[1])]
print(int(statistics.median(r["parentPrivateBytes"] for r in rows)),
      int(statistics.median(r["parentWorkingSet"] for r in rows)))' "$1"
}
read -r kel_private kel_ws < <(median_memory "$drive_c/bench-memory-KELMORA.exe.jsonl")
read -r floor_private floor_ws < <(median_memory "$drive_c/bench-memory-spawn_floor.exe.jsonl")

bash bench/size_levers.sh >"$out/sizes.tsv"

python3 bench/report.py "$out/times.json" "$out/sizes.tsv" \
  "$(stat -c %s build/mingw/KELMORA.exe)" "$(stat -c %s "$programs/spawn_floor.exe")" \
  "$kel_private" "$kel_ws" "$floor_private" "$floor_ws" "$runs"
gnuplot -e "out_dir='$report_dir'; emulated=${BENCH_EMULATION:+1}0" bench/chart.gp
wineserver -k >/dev/null 2>&1 || true
echo "$report_dir/performance.md and $report_dir/performance.png written"
