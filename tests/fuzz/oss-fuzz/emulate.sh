#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs build.sh as OSS-Fuzz runs it, on this machine: clang, OSS-Fuzz's
# compiler flags for its address build (with the undefined-behaviour checks
# of its undefined build added, so that one build serves both), libFuzzer as
# $LIB_FUZZING_ENGINE, scratch $WORK and $OUT under the given directory, and
# $SRC in the temporary directory, holding a link to this tree as $SRC/qf25
# (inside the tree the link would make a loop). Checks what build.sh left in
# $OUT; then, when given a
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

# What a fuzzing machine needs of $OUT: every target with its dictionary,
# options and a seed corpus holding what the repository's does, and every
# library beyond the C and C++ runtimes found in $OUT/lib.
targets=()
for program in "$OUT"/qf25_fuzz_*; do
    case ${program##*/} in *.*) continue ;; esac  # dictionaries, options, corpora
    target=${program##*/qf25_fuzz_}
    for file in "$program.dict" "$program.options" "${program}_seed_corpus.zip"; do
        [ -s "$file" ] || { echo "build.sh left no $file" >&2; exit 1; }
    done
    rm -rf "$WORK/seeds/$target"
    mkdir -p "$WORK/seeds/$target"
    unzip -q "${program}_seed_corpus.zip" -d "$WORK/seeds/$target"
    if ! diff -rq "$root/tests/fuzz/corpus/$target" "$WORK/seeds/$target" >/dev/null; then
        echo "the seed corpus of $target differs from tests/fuzz/corpus/$target" >&2
        exit 1
    fi
    outside=$(ldd "$program" | awk -v lib="$OUT/lib/" '$3 ~ /^\// && index($3, lib) != 1 {print $3}' |
              grep -vE '/(libc|libm|libmvec|libpthread|libdl|librt|libgcc_s|libstdc\+\+|ld-linux[^/]*)\.so' || true)
    if [ -n "$outside" ]; then
        echo "qf25_fuzz_$target takes libraries from outside \$OUT/lib:" $outside >&2
        exit 1
    fi
    targets+=("$target")
done
expected=$(ls "$root"/tests/fuzz/options/*.options | wc -l)
[ ${#targets[@]} = "$expected" ] || { echo "build.sh built ${#targets[@]} fuzz targets, not $expected" >&2; exit 1; }

[ $# -ge 2 ] || exit 0
FUZZ_CORPUS=$WORK/seeds FUZZ_SCRATCH=$WORK/runs "$root/tests/fuzz/run-fuzzers.sh" "$OUT" "$2" "${targets[@]}"
