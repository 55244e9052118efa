#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# The patched FFmpeg of build-ffmpeg.sh as users run it: the conformance
# vectors coded and decoded to their exact bytes, field order through AVI,
# refusals, damaged, cut and garbled files and the container fuzz corpus.
# With the qf25 command it also compares pictures with `qf25 decode`, has
# `qf25 info --verify` read ffmpeg's AVI, and opens a file with Debian's own
# ffprobe on the patched libraries.
#
#   run-ffmpeg-tests.sh <FFmpeg prefix> <vector dir> [<qf25 command>]
set -euo pipefail
[ -x "$1/bin/ffmpeg" ] || { echo "FAILED: no $1/bin/ffmpeg: make check builds it (scripts/build-ffmpeg.sh)" >&2; exit 1; }
prefix=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
vectors=$(cd "$2" && pwd)
qf25=${3:+$(realpath "$3")}
work=$prefix/test
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
ffmpeg() { "$prefix/bin/ffmpeg" -nostdin -hide_banner -loglevel error -y "$@"; }
probe() { "$prefix/bin/ffprobe" -v error -select_streams v -show_entries "stream=$1" -of default=nw=1:nk=1 "$2"; }
raw() { echo -f rawvideo -pix_fmt "$1" -s "$2"; }

# Coding each input gives the vector's frame; -q:v and -quality are one scale.
# shellcheck disable=SC2046
while read -r input format size quality filter; do
    coded=$vectors/${input%.*}.q$quality.qf25
    ffmpeg $(raw "$format" "$size") -i "$vectors/$input" ${filter:+-vf $filter} -c:v libqf25 -q:v "$quality" \
        -f rawvideo "$input.qf25" || fail "ffmpeg does not code $input"
    cmp -s "$input.qf25" "$coded" || fail "$input coded by ffmpeg differs from $(basename "$coded")"
done <<EOF
astronaut-720x486.uyvy uyvy422 720x486 50
astronaut-720x486.uyvy uyvy422 720x486 99
coffee-1008x21.uyvy uyvy422 1008x21 95
chelsea-720x17.uyvy uyvy422 720x17 95
noise-720x486.uyvy uyvy422 720x486 99
astronaut-720x486-bottomup.bgr24 bgr24 720x486 95 vflip
coffee-720x486-topdown.bgr32 bgr0 720x486 95
EOF

# Decoding gives the vector's picture, on the library's workers and on one
# thread. The last line of an odd height, which the codec does not code,
# repeats the line of its field above it.
# shellcheck disable=SC2046
while read -r input size quality; do
    width=${size%x*} height=${size#*x}
    ffmpeg $(raw uyvy422 "$size") -i "$vectors/$input" -c:v libqf25 -quality "$quality" "$input.avi"
    for threads in 0 1; do
        ffmpeg -threads $threads -i "$input.avi" -f rawvideo "$input.$threads.dec" || fail "ffmpeg does not decode $input"
        line=$((width * 2)) coded_lines=$((height & ~1))
        cmp -s -n $((line * coded_lines)) "$input.$threads.dec" "$vectors/${input%.*}.q$quality.dec" ||
            fail "$input decoded by ffmpeg (-threads $threads) differs from the vector"
        if ((height & 1)); then
            cmp -s <(tail -c $line "$input.$threads.dec") \
                <(tail -c $((3 * line)) "$input.$threads.dec" | head -c $line) ||
                fail "the last line of $input is not the line of its field above"
        fi
    done
done <<EOF
astronaut-720x486.uyvy 720x486 75
coffee-1008x21.uyvy 1008x21 95
noise-720x486.uyvy 720x486 99
EOF

# A clip of three pictures, coded alike by one thread and by frame threads;
# an AVI that states bottom field first keeps it.
cat "$vectors"/astronaut-720x486.uyvy "$vectors"/noise-720x486.uyvy "$vectors"/astronaut-720x486.uyvy >clip.uyvy
for threads in 1 3; do
    # shellcheck disable=SC2046
    ffmpeg $(raw uyvy422 720x486) -i clip.uyvy -c:v libqf25 -threads $threads -f rawvideo clip.$threads.qf25
done
cmp -s clip.1.qf25 clip.3.qf25 || fail "frame threads code the clip differently from one thread"
# shellcheck disable=SC2046
ffmpeg $(raw uyvy422 720x486) -r 25 -i clip.uyvy -c:v libqf25 -field_order bb -aspect 4:3 bottom.avi
[ "$(probe field_order bottom.avi)" = bb ] || fail "ffprobe shows $(probe field_order bottom.avi) for a bottom-first AVI"
ffmpeg -i bottom.avi -c copy -field_order tt -aspect 4:3 top.avi
[ "$(probe codec_name,field_order top.avi | paste -sd' ')" = "qf25 tt" ] || fail "ffprobe does not show qf25 tt"
[ "$("$prefix/bin/ffprobe" -v error -show_entries frame=interlaced_frame,top_field_first -of csv=p=0 bottom.avi |
   sort -u)" = 1,0 ] || fail "the frames of a bottom-first AVI are not marked interlaced, bottom field first"

# Sizes the codec cannot hold are refused with the reason.
expect_refusal() {
    local reason=$1
    shift
    if "$prefix/bin/ffmpeg" -nostdin -hide_banner -y "$@" >refusal.log 2>&1; then
        fail "ffmpeg $* is not refused"
    fi
    grep -q "$reason" refusal.log || fail "ffmpeg $* is refused without saying '$reason': $(cat refusal.log)"
}
# shellcheck disable=SC2046
expect_refusal "width 1000 is not a multiple of 16" $(raw bgr24 1000x32) -i "$vectors"/chelsea-1000x32-bottomup.bgr24 \
    -c:v libqf25 -f rawvideo /dev/null
# shellcheck disable=SC2046
expect_refusal "q:v 30 is outside" $(raw uyvy422 720x486) -i "$vectors"/astronaut-720x486.uyvy -c:v libqf25 -q:v 30 -f rawvideo /dev/null
# An AVI whose main and stream headers say 8 pixels across (ffmpeg's AVI
# muxer puts them at fixed places for one stream).
cp top.avi narrow.avi
[ "$(dd if=narrow.avi bs=1 skip=24 count=4 2>/dev/null)$(dd if=narrow.avi bs=1 skip=164 count=4 2>/dev/null)" = avihstrf ] ||
    fail "ffmpeg's AVI muxer has moved its headers"
for at in 64 176; do
    printf '\x08\x00\x00\x00' | dd of=narrow.avi bs=1 seek=$at conv=notrunc 2>/dev/null
done
expect_refusal "8x486 picture holds no QF25 macroblock" -i narrow.avi -f rawvideo /dev/null

# Damaged, cut and garbled files: every bad frame is named, the good ones
# decode, nothing crashes.
mapfile -t frame_offsets < <("$prefix/bin/ffprobe" -v error -show_entries packet=pos -of csv=p=0 top.avi)
cp top.avi damaged.avi
# Frame 1's field 0 claims more bytes than the frame has; frame 2's first
# slice reaches past its field.
printf '\xff\xff\x7f' | dd of=damaged.avi bs=1 seek=$((frame_offsets[1] + 1)) conv=notrunc 2>/dev/null
printf '\xff\xff\x7f' | dd of=damaged.avi bs=1 seek=$((frame_offsets[2] + 4)) conv=notrunc 2>/dev/null
"$prefix/bin/ffmpeg" -nostdin -hide_banner -i damaged.avi -f framemd5 damaged.md5 2>damaged.log ||
    fail "ffmpeg gives up on a damaged file: $(cat damaged.log)"
grep -q "This .*-byte frame is refused" damaged.log && grep -q "Field 0 of this .*-byte frame is damaged" damaged.log ||
    fail "the damaged frames are not named: $(cat damaged.log)"
[ "$(grep -vc '^#' damaged.md5)" = 1 ] || fail "the one good frame of the damaged file is not decoded"

head -c $((frame_offsets[2] + 5000)) top.avi >cut.avi
"$prefix/bin/ffmpeg" -nostdin -hide_banner -i cut.avi -f framemd5 cut.md5 2>cut.log ||
    fail "ffmpeg gives up on a cut file: $(cat cut.log)"
grep -q "This 5000-byte frame is refused" cut.log || fail "the cut frame is not named: $(cat cut.log)"
[ "$(grep -vc '^#' cut.md5)" = 2 ] || fail "the two whole frames of the cut file are not decoded"

cp top.avi garbled.avi
head -c 300000 /dev/urandom | dd of=garbled.avi bs=1 seek=$((frame_offsets[0])) conv=notrunc 2>/dev/null
status=0
"$prefix/bin/ffmpeg" -nostdin -hide_banner -i garbled.avi -f framemd5 garbled.md5 2>garbled.log || status=$?
[ $status -lt 128 ] || fail "ffmpeg crashed on a garbled file (status $status): $(tail -5 garbled.log)"
grep -q "libqf25" garbled.log || fail "the garbled frames are not named: $(cat garbled.log)"

# The container fuzz target's corpus, hostile files that reach the tool's
# reading and decoding, through the wrapper: refused or decoded, never a
# crash or a sanitizer's report.
for input in "$root/tests/fuzz/corpus/container"/*; do
    status=0
    "$prefix/bin/ffmpeg" -nostdin -hide_banner -y -i "$input" -f rawvideo /dev/null 2>corpus.log || status=$?
    [ $status -lt 128 ] && ! grep -q "Sanitizer" corpus.log ||
        fail "ffmpeg fails on the fuzz input $(basename "$input") (status $status): $(tail -5 corpus.log)"
done

[ -n "$qf25" ] || exit 0

# Pictures from `qf25 encode`: ffmpeg decodes what `qf25 decode` does, and
# `qf25 info --verify` reads an AVI written by ffmpeg's muxer.
"$qf25" encode clip.uyvy qf25-clip.avi --size 720x486 --pix-fmt uyvy422 --rate 25 --quiet
"$qf25" decode qf25-clip.avi qf25-clip.yuv --pix-fmt uyvy422 --quiet
[ "$(probe codec_name,field_order qf25-clip.avi | paste -sd' ')" = "qf25 tt" ] ||
    fail "ffprobe does not show qf25 tt for qf25's clip"
ffmpeg -i qf25-clip.avi -f framemd5 ffmpeg.md5
# shellcheck disable=SC2046
ffmpeg $(raw uyvy422 720x486) -i qf25-clip.yuv -f framemd5 qf25.md5
diff <(grep -v '^#' ffmpeg.md5 | awk '{print $NF}') <(grep -v '^#' qf25.md5 | awk '{print $NF}') >/dev/null ||
    fail "ffmpeg and qf25 decode give different pictures"
[ "$(grep -vc '^#' ffmpeg.md5)" = 3 ] || fail "ffmpeg does not decode the three frames of qf25's clip"
"$qf25" info top.avi --verify >info.log 2>&1 || fail "qf25 info --verify rejects ffmpeg's AVI: $(cat info.log)"

# Debian's own ffprobe on the patched libraries names the codec.
[ "$(LD_LIBRARY_PATH=$prefix/lib /usr/bin/ffprobe -v error -show_entries stream=codec_name -of csv=p=0 qf25-clip.avi)" \
    = qf25 ] || fail "Debian's ffprobe with the patched libraries does not name the codec"
echo "ffmpeg with libqf25: every check passed"
