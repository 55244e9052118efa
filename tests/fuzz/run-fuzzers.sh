#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs libFuzzer targets of a fuzz build (`make fuzz`) for a while each, two
# at a time, starting from their corpora in tests/fuzz/corpus. New inputs
# and crash reproducers go to a scratch directory in the build tree, so the
# repository's corpora stay as they are. Prints each target's executions and
# what it found; exits 1 when any target crashed, timed out or ran out of
# memory. FUZZ_PARALLEL sets how many run at once (a long campaign runs
# every target at the same time, so that it ends when one target would).
#
#   run-fuzzers.sh <fuzz build directory> <seconds per target> <target>...
set -uo pipefail

build=$(cd "$1" && pwd)
seconds=$2
shift 2
corpus=$(cd "$(dirname "$0")/corpus" && pwd)
scratch=$build/fuzz-scratch
parallel=${FUZZ_PARALLEL:-2}

# run_target <target>: its log, new inputs and artifacts under the scratch
# directory; its exit status in a file there.
run_target() {
    local target=$1
    local work=$scratch/$target
    local quiet=()
    # The tool reports every damaged frame on standard error; libFuzzer keeps
    # its own and the sanitizers' reports on a copy of it.
    [ "$target" = container ] && quiet=(-close_fd_mask=2)
    mkdir -p "$work/inputs" "$work/artifacts"
    "$build/tests/fuzz/qf25_fuzz_$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
        -entropic_scale_per_exec_time=1 -print_final_stats=1 "${quiet[@]}" \
        -artifact_prefix="$work/artifacts/" "$work/inputs" "$corpus/$target" >"$work/log" 2>&1
    echo $? >"$work/status"
}

rm -f "$scratch"/*/status
running=0
for target in "$@"; do
    if [ $running -ge $parallel ]; then
        wait -n
        running=$((running - 1))
    fi
    echo "fuzzing $target for $seconds s"
    run_target "$target" &
    running=$((running + 1))
done
wait

failed=0
for target in "$@"; do
    work=$scratch/$target
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    # The coverage of the last status line: edges reached.
    edges=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1 | cut -d' ' -f2)
    if [ "$(cat "$work/status")" = 0 ]; then
        echo "$target: ${executions:-?} executions, ${edges:-?} edges, no failure (new inputs in $work/inputs)"
        continue
    fi
    failed=1
    echo "$target: FAILED after ${executions:-?} executions (${edges:-?} edges); reproducers:" $(ls "$work/artifacts")
    grep -m1 -B2 -A30 -E '^==[0-9]+==ERROR|^fuzz check failed|deadly signal|^SUMMARY' "$work/log" || tail -40 "$work/log"
done
exit $failed
