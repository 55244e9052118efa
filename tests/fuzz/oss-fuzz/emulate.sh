#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs build.sh as OSS-Fuzz runs it, on this machine: clang, OSS-Fuzz's
# compiler flags for its address build (with the undefined-behaviour checks
# of its undefined build added, so that one build serves both), libFuzzer as
# $LIB_FUZZING_ENGINE, scratch $WORK and $OUT under the given directory, and
# $SRC in the temporary directory, holding a link to this tree as $SRC/qf25
# (inside the tree the link would make a loop). Then, when given a
# number of seconds, runs each built target that long on its seed corpus
# unpacked from $OUT, with its dictionary and options.
#
#   emulate.sh <scratch directory> [seconds per target]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
mkdir -p "$1"
scratch=$(cd "$1" && pwd)
# One $SRC per tree, so that the build tree made from it stays valid.
export SRC=${TMPDIR:-/tmp}/qf25-oss-fuzz-src-$(echo "$root" | md5sum | cut -c1-12)
export WORK=$scratch/work OUT=$scratch/out
mkdir -p "$SRC" "$WORK" "$OUT"
ln -sfn "$root" "$SRC/qf25"
cp "$here/build.sh" "$SRC/build.sh"

export CC=clang CXX=clang++
export SANITIZER=address FUZZING_ENGINE=libfuzzer ARCHITECTURE=x86_64
export SANITIZER_FLAGS="-fsanitize=address -fsanitize-address-use-after-scope -fsanitize=undefined -fno-sanitize-recover=undefined"
export CFLAGS="-O1 -fno-omit-frame-pointer -gline-tables-only -DFUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION $SANITIZER_FLAGS -fsanitize=fuzzer-no-link"
export CXXFLAGS="$CFLAGS"
export LIB_FUZZING_ENGINE=-fsanitize=fuzzer
(cd "$SRC/qf25" && bash -eu "$SRC/build.sh")

[ $# -ge 2 ] || exit 0
targets=()
for program in "$OUT"/qf25_fuzz_*; do
    case $program in *.*) continue ;; esac  # dictionaries, options, corpora
    target=${program##*/qf25_fuzz_}
    rm -rf "$WORK/seeds/$target"
    mkdir -p "$WORK/seeds/$target"
    unzip -q "$OUT/qf25_fuzz_${target}_seed_corpus.zip" -d "$WORK/seeds/$target"
    targets+=("$target")
done
FUZZ_CORPUS=$WORK/seeds FUZZ_SCRATCH=$WORK/runs "$root/tests/fuzz/run-fuzzers.sh" "$OUT" "$2" "${targets[@]}"
