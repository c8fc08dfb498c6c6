#!/usr/bin/env bash
# Runs every fuzz target of BUILD on its seeds for SECONDS, JOBS targets at a time, and
# names each target with its executions and whether it found anything.
#   tools/run-fuzz.sh BUILD SECONDS JOBS
set -uo pipefail
build=$1 seconds=$2 jobs=$3

# The longest input each target is given, matched to its seeds (make_seeds): the image
# targets get tiny volumes in their containers, the parser targets one structure. A
# larger limit only lets the fuzzer grow inputs that are slower to run and find nothing
# new; a smaller one would cut the seeds, so a seed above its limit stops the run.
max_len_of() {
    case $1 in
    bpb) echo 512 ;;        # a boot sector
    directory) echo 1024 ;; # two sectors of slots, so a long name may cross between them
    fat) echo 4096 ;;       # 2048 FAT16 entries: every chain the seeds have, and room
    *) echo 65536 ;;        # a tiny volume with its container's header (a THD cylinder)
    esac
}
export -f max_len_of

# Freed memory waits in AddressSanitizer's quarantine so that a use after free is seen;
# by default 256 MiB of it, which a fuzzer cycles through every few thousand inputs,
# paying a page fault for each page it touches again. One input of these targets frees
# far less than 16 MiB, so a use after free inside it is still caught.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}

run_one() {
    local build=$1 seconds=$2 target=$3
    local log=$build/log-$target.txt
    local max_len
    max_len=$(max_len_of "$target")
    local oversized
    oversized=$(find "$build/corpus/$target" -type f -size +"${max_len}"c | head -n 3)
    if [ -n "$oversized" ]; then
        echo "fuzz_$target: seeds longer than its -max_len=$max_len:" $oversized
        return 1
    fi
    "$build/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$build/finding-$target-" \
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
