#!/usr/bin/env bash
# run_fuzzer.sh FUZZER SEEDS WORK SECONDS: runs a libFuzzer target for a bounded time, starting
# from the seed corpus in the repository. New inputs go to WORK, never into the repository; a
# finding is written to WORK/crash-* and fails the run.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work/corpus"
exec "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -print_funcs=0 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/" "$work/corpus" "$seeds"
