#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Writes the seeds of the fuzz corpora into tests/fuzz/corpus, using a native
# build: coded frames and pictures with their case tails for the codec's
# targets and the session programs (qf25_fuzz_seeds), and for the tool's target two-frame clips of
# 64x32 pictures in each container the qf25 command writes, at several
# qualities and layouts, the clip with sound in AVI, plus one AVI cut short. The fuzzers' own finds stay
# in their scratch directories; keep only small regression inputs here.
#
#   tests/fuzz/make-corpus.sh <native build directory>
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
corpus=$here/corpus
vectors=$here/../data/vectors

cmake --build "$build" --target qf25_fuzz_seeds qf25_command
mkdir -p "$corpus/decode_frame" "$corpus/encode_round_trip" "$corpus/container" "$corpus/driver_session" \
    "$corpus/field_session"
"$build/tests/fuzz/qf25_fuzz_seeds" "$vectors" "$corpus"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Two pictures cut from different places of one photograph.
for corner in 320:120 200:300; do
    ffmpeg -v error -f rawvideo -pix_fmt uyvy422 -s 720x486 -i "$vectors/astronaut-720x486.uyvy" \
        -vf "crop=64:32:$corner" -f rawvideo -
done >"$work/clip.uyvy"
encode() {
    "$build/qf25" encode "$work/clip.uyvy" "$corpus/container/$1" --size 64x32 --pix-fmt uyvy422 -r 25 -q "${@:2}"
}
encode clip-q75-uyvy.avi --quality 75
encode clip-q95-bgr24.mkv --pix bgr24
encode clip-q50-bgr32.nut --pix bgr32 --quality 50
encode clip-q99-uyvy.mov --quality 99
# Sound as the AVI writer stores it: 8-bit mono (WAVEFORMATEX) and 32-bit
# float on three channels (WAVEFORMATEXTENSIBLE), at a low rate to stay small.
for sound in u8:1 f32le:3; do
    ffmpeg -v error -f rawvideo -pix_fmt uyvy422 -s 64x32 -r 25 -i "$work/clip.uyvy" \
        -f lavfi -i sine=f=100:r=1000:d=0.08 -c:v rawvideo -c:a "pcm_${sound%:*}" -ac "${sound#*:}" -shortest \
        -y "$work/sound.nut"
    "$build/qf25" encode "$work/sound.nut" "$corpus/container/clip-sound-${sound%:*}.avi" -q --quality 50
done
head -c 4000 "$corpus/container/clip-q75-uyvy.avi" >"$corpus/container/clip-q75-uyvy-cut.avi"
