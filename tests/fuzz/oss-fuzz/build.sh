#!/bin/bash -eu
# SPDX-License-Identifier: BSD-2-Clause
# Builds every fuzz target into $OUT the way OSS-Fuzz runs a project's
# build.sh: with its $CC, $CXX, $CFLAGS and $CXXFLAGS (sanitizers and
# fuzzer-no-link), linked with $LIB_FUZZING_ENGINE, the source in $SRC/qf25
# and the build tree in $WORK. Beside each program: its seed corpus
# (<target>_seed_corpus.zip), dictionary (.dict) and options (.options).
# Every shared library the programs use beyond the C and C++ runtimes (for
# the container target, FFmpeg's and what it links) goes to $OUT/lib, where
# the programs look first: a fuzzing machine has only the runtimes.
# `make check` runs this script in an emulation of that environment
# (tests/fuzz/oss-fuzz/emulate.sh).
src=$SRC/qf25
fuzz=$src/tests/fuzz
targets=(decode_frame encode_round_trip container driver_session field_session)

# The sanitizers and the coverage come in the flags; the build type adds
# none of its own.
cmake -S "$src" -B "$WORK/qf25-build" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX" \
    -DCMAKE_C_FLAGS="$CFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS" \
    -DQF25_FUZZ=ON -DQF25_FUZZ_ENGINE="$LIB_FUZZING_ENGINE" \
    -DQF25_BENCH=OFF -DQF25_GSTREAMER=OFF -DQF25_VLC=OFF
cmake --build "$WORK/qf25-build" -j "$(nproc)" --target "${targets[@]/#/qf25_fuzz_}"

mkdir -p "$OUT/lib"
for target in "${targets[@]}"; do
    name=qf25_fuzz_$target
    # A program still running from an earlier build is replaced, not written.
    install -m 0755 "$WORK/qf25-build/tests/fuzz/$name" "$OUT/"
    cp "$fuzz/dict/$target.dict" "$OUT/$name.dict"
    cp "$fuzz/options/$target.options" "$OUT/$name.options"
    rm -f "$OUT/${name}_seed_corpus.zip"
    (cd "$fuzz/corpus/$target" && zip -q -X "$OUT/${name}_seed_corpus.zip" ./*)
    # Those already there are found there again.
    ldd "$OUT/$name" | awk -v lib="$OUT/lib/" '$3 ~ /^\// && index($3, lib) != 1 {print $3}' |
        grep -vE '/(libc|libm|libmvec|libpthread|libdl|librt|libgcc_s|libstdc\+\+|ld-linux[^/]*)\.so' |
        xargs -r cp -uL -t "$OUT/lib"
done
