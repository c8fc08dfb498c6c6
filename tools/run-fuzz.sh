#!/usr/bin/env bash
# Runs every fuzz target of BUILD on its seeds for SECONDS, JOBS targets at a time, and
# names each target with its executions and whether it found anything.
#   tools/run-fuzz.sh BUILD SECONDS JOBS
set -uo pipefail
build=$1 seconds=$2 jobs=$3

run_one() {
    local build=$1 seconds=$2 target=$3
    local log=$build/log-$target.txt
    "$build/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -max_len=2097152 -print_final_stats=1 -artifact_prefix="$build/finding-$target-" \
        "$build/corpus/$target" >"$log" 2>&1
    local status=$?
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ $status -eq 0 ]; then
        echo "fuzz_$target: ${runs:-?} runs in $seconds s, nothing found"
    else
        echo "fuzz_$target: FINDING after ${runs:-?} runs (see $log and $build/finding-$target-*)"
        tail -n 40 "$log"
    fi
    return $status
}
export -f run_one

targets=$(ls "$build"/fuzz_* | grep -v '\.' | sed 's|.*/fuzz_||')
printf '%s\n' $targets | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ "$build" "$seconds" {}
