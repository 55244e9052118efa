#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs the fuzz targets of an OSS-Fuzz style output directory (programs with
# their .dict and .options files beside them: tests/fuzz/oss-fuzz/build.sh,
# `make fuzz`) for a while each, two at a time, starting from their corpora
# in tests/fuzz/corpus (or FUZZ_CORPUS). New inputs and crash reproducers go
# to a scratch directory (FUZZ_SCRATCH, by default beside the output
# directory), so the corpora stay as they are. Prints each target's
# executions and what it found; exits 1 when any target crashed, timed out
# or ran out of memory. FUZZ_PARALLEL sets how many run at once (a long
# campaign runs every target at the same time, so that it ends when one
# target would). FUZZ_CPUS, a list of processor numbers, pins the targets
# to them in turn (taskset), one core each for a campaign's measured run.
#
#   run-fuzzers.sh <output directory> <seconds per target> <target>...
set -uo pipefail

out=$(cd "$1" && pwd)
seconds=$2
shift 2
corpus=${FUZZ_CORPUS:-$(cd "$(dirname "$0")/corpus" && pwd)}
scratch=${FUZZ_SCRATCH:-$(dirname "$out")/fuzz-scratch}
parallel=${FUZZ_PARALLEL:-2}
read -ra cpus <<<"${FUZZ_CPUS:-}"

# The options file's [libfuzzer] settings as flags; its dictionary lies in
# the output directory.
options_of() {
    local file=$out/qf25_fuzz_$1.options
    [ -f "$file" ] || return 0
    sed -n '/^\[libfuzzer\]/,/^\[/{s/^ *\([a-z_]*\) *= *\(.*[^ ]\) *$/-\1=\2/p}' "$file" |
        sed "s|^-dict=|-dict=$out/|"
}

# run_target <target> <index>: its log, new inputs and artifacts under the
# scratch directory; its exit status in a file there.
run_target() {
    local target=$1
    local work=$scratch/$target
    local options
    mapfile -t options < <(options_of "$target")
    local pin=()
    [ ${#cpus[@]} = 0 ] || pin=(taskset -c "${cpus[$2 % ${#cpus[@]}]}")
    mkdir -p "$work/inputs" "$work/artifacts"
    "${pin[@]}" "$out/qf25_fuzz_$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 \
        -entropic_scale_per_exec_time=1 -print_final_stats=1 "${options[@]}" \
        -artifact_prefix="$work/artifacts/" "$work/inputs" "$corpus/$target" >"$work/log" 2>&1
    echo $? >"$work/status"
}

mkdir -p "$scratch"
rm -f "$scratch"/*/status
running=0
index=0
for target in "$@"; do
    if [ $running -ge $parallel ]; then
        wait -n
        running=$((running - 1))
    fi
    echo "fuzzing $target for $seconds s"
    run_target "$target" $index &
    running=$((running + 1))
    index=$((index + 1))
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
