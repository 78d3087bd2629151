#!/usr/bin/env bash
# run_fuzzer.sh FUZZER SEEDS WORK SECONDS: runs a libFuzzer target for a bounded time, starting
# from the seed corpus in the repository. New inputs go to WORK, never into the repository; a
# finding is written to WORK/crash-* and fails the run. The run's figures go to WORK/summary.
set -uo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus"
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -print_funcs=0 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$work/" "$work/corpus" "$seeds" 2>"$work/log"
status=$?
tail -n 40 "$work/log" >&2
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
echo "$(basename "$fuzzer"): ${runs:-?} executions in ${seconds} s, exit status $status" | tee "$work/summary"
exit "$status"
