#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# VLC, headless, through the module: the vectors and a clip from `qf25
# encode` (AVI, Matroska, from a --start-time) give `qf25 decode`'s pictures,
# marked interlaced; damaged, cut and garbled files end with status 0 and a
# warning per bad frame; an impossible size is refused; the transcoder
# records what `qf25 encode` records; `vlc --list` names the module.
#
#   vlc-playback.sh <plugin> <libqf25.so.1> <qf25_write_avi> <vector dir> [<qf25 command>]
#
# VLC refuses to run as root: as root, it runs as nobody, on copies of what it
# needs. Without the qf25 command (the sanitizer build, where QF25_VLC_HOST
# runs VLC) the files go through VLC for its status and warnings only.
set -euo pipefail
plugin=$1
library=$2
write_avi=$3
vectors=$4
qf25=${5:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/plugins" "$work/lib" "$work/home"
cp "$plugin" "$work/plugins/"
cp -L "$library" "$work/lib/"
chmod -R a+rwX "$work"
as_user=()
[ "$(id -u)" != 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
cd "$work"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

host=${QF25_VLC_HOST:-}
if [ -n "$host" ]; then
    cp "$host" "$work/vlc-host"
    host=$work/vlc-host
fi
vlc() {
    "${as_user[@]}" env HOME="$work/home" VLC_PLUGIN_PATH="$work/plugins" LD_LIBRARY_PATH="$work/lib" \
        ASAN_OPTIONS=detect_leaks=0 "${host:-/usr/bin/vlc}" "$@"
}

# play NAME ARGS...: plays with warnings logged in NAME.log and the pictures,
# woven as decoded, written as UYVY to NAME.yuv; VLC must end with status 0.
play() {
    local name=$1 status=0
    shift
    vlc -v -I dummy --no-audio --no-video-title-show --no-osd --no-drop-late-frames --no-skip-frames \
        --deinterlace=0 --vout yuv --yuv-chroma UYVY --yuv-file "$work/$name.yuv" --play-and-exit "$@" \
        >"$name.log" 2>&1 || status=$?
    [ $status = 0 ] || fail "VLC ended with status $status playing $*: $(tail -n 5 "$name.log")"
}

expect_log() {
    grep -qF "$2" "$1.log" || fail "$1.log lacks \"$2\": $(grep -v 'dbus\|XDG\|interface' "$1.log" | tail -n 5)"
}

# The distinct pictures of a UYVY file in order, one checksum a line. VLC's
# file starts with a header line and each picture with "FRAME" and a newline.
pictures() {
    local file=$1 bytes=$(($2 * $3 * 2)) at=0 record
    record=$bytes
    if [ "$(head -c 5 "$file")" = "UYVY " ]; then
        at=$(head -n 1 "$file" | wc -c)
        record=$((bytes + 6))
    fi
    for ((; at < $(stat -c %s "$file"); at += record)); do
        tail -c +$((at + record - bytes + 1)) "$file" | head -c $bytes | md5sum
    done | uniq
}

# same NAME FILE WIDTH HEIGHT [FIRST]: the pictures VLC played as NAME are
# those `qf25 decode` gives for FILE (from frame FIRST on).
same() {
    [ -n "$qf25" ] || return 0
    local status=0
    "$qf25" decode -q "$2" "$1.ref.yuv" 2>/dev/null || status=$?
    [ $status = 0 ] || [ $status = 3 ] || fail "qf25 decode $2 ended with status $status"
    tail -c +$((${5:-0} * $3 * $4 * 2 + 1)) "$1.ref.yuv" >"$1.from.yuv"
    diff <(pictures "$1.yuv" "$3" "$4") <(pictures "$1.from.yuv" "$3" "$4") >/dev/null ||
        fail "VLC's pictures of $2 ($1) differ from those of qf25 decode"
}

# avi NAME WIDTH HEIGHT FRAME...: NAME.avi with the first frame four times
# and the last twice. VLC's video output may lose its first pictures when it
# starts under load, and may stop before showing the last one.
avi() {
    local name=$1 width=$2 height=$3
    shift 3
    "$write_avi" "$name.avi" "$width" "$height" "$1" "$1" "$1" "$@" "${@: -1}"
}

if [ -z "$host" ]; then
    vlc --list >list.log 2>&1
    grep -q '^ *qf25 *QF25 video decoder$' list.log || fail "vlc --list does not name the decoder"
    grep -q '^ *qf25 *QF25 video encoder$' list.log || fail "vlc --list does not name the encoder"
fi

avi vectors 720 486 "$vectors"/astronaut-720x486.q{50,75,95,99}.qf25 "$vectors"/noise-720x486.q99.qf25
avi coffee 1008 21 "$vectors"/coffee-1008x21.q95.qf25
avi chelsea 720 17 "$vectors"/chelsea-720x17.q95.qf25
for name in vectors:720:486 coffee:1008:21 chelsea:720:17; do
    IFS=: read -r name width height <<<"$name"
    play "$name" "$name.avi"
    same "$name" "$name.avi" "$width" "$height"
done

# Damaged: a first frame whose field length is impossible (black stands in),
# a sound one, one with garbled blocks, one cut short, a sound one.
frame=$vectors/astronaut-720x486.q95.qf25
cp "$frame" impossible.qf25
printf '\377\377\377' | dd of=impossible.qf25 bs=1 seek=1 conv=notrunc status=none
cp "$frame" garbled.qf25
for at in 100 30000 90000; do
    head -c 64 /dev/zero | tr '\0' '\377' | dd of=garbled.qf25 bs=1 seek=$at conv=notrunc status=none
done
head -c 20000 "$vectors/astronaut-720x486.q50.qf25" >cut.qf25
avi damaged 720 486 impossible.qf25 "$frame" garbled.qf25 cut.qf25 "$vectors"/noise-720x486.q99.qf25
play damaged damaged.avi
expect_log damaged "frame 0 is damaged (field 0 claims 16777215 bytes of a 112491-byte frame); replaced by black"
expect_log damaged "frame 5 is damaged (its coded blocks are damaged); replaced by frame 4"
expect_log damaged "frame 6 is damaged (field 0 claims 21399 bytes of a 20000-byte frame); replaced by frame 4"
same damaged damaged.avi 720 486

# A file cut in the middle of its last frame.
cp vectors.avi cut.avi
truncate -s -50000 cut.avi
play cut cut.avi
expect_log cut "frame 8 is damaged"

# A picture size whose frames would pass 32 bits: refused at open.
cp vectors.avi huge.avi
format=$(grep -obUa strf huge.avi | head -n 1 | cut -d: -f1)
for at in $((format + 13)) $((format + 17)); do
    printf '\177' | dd of=huge.avi bs=1 seek=$at conv=notrunc status=none
done
play huge huge.avi
expect_log huge "the QF25 stream has the impossible picture size"
[ ! -s huge.yuv ] || fail "VLC showed pictures of an impossible size"

# 37 frames, as avi() pads them, and frame 23, where the seek lands, four times.
ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25:duration=1.2 -pix_fmt uyvy422 -f rawvideo \
    -vf tpad=start=3:start_mode=clone:stop=1:stop_mode=clone,loop=loop=3:size=1:start=23 clip.uyvy
ffmpeg -v error -f rawvideo -pix_fmt uyvy422 -s 320x240 -r 25 -i clip.uyvy -c:v rawvideo raw.avi
# The transcoder through the module's encoder, at the quality it is given
# (VLC's AVI muxer keeps back the last frame).
vlc -v -I dummy --no-audio --play-and-exit \
    --sout "#transcode{vcodec=QF25,venc=qf25{quality=90}}:std{access=file,mux=avi,dst=$work/recorded.avi}" \
    raw.avi >recorded.log 2>&1 || fail "VLC could not record: $(tail -n 5 recorded.log)"
if [ -z "$qf25" ]; then
    echo "VLC played and recorded every file through the module"
    exit 0
fi

"$qf25" encode -q --size 320x240 --pix-fmt uyvy422 --rate 25 --quality 90 clip.uyvy clip.avi
"$qf25" decode -q recorded.avi recorded.yuv
"$qf25" decode -q clip.avi clip.ref.yuv
diff <(pictures recorded.yuv 320 240) <(pictures clip.ref.yuv 320 240) >/dev/null ||
    fail "VLC's recording differs from what qf25 encode records"

"$qf25" encode -q --size 320x240 --pix-fmt uyvy422 --rate 25 clip.uyvy clip.mkv
play clip clip.avi
same clip clip.avi 320 240
expect_log clip "Received a non progressive frame"
play matroska clip.mkv
same matroska clip.mkv 320 240
# In a file of a second or more: VLC's AVI demuxer seeks shorter ones by
# their bytes, not to the time.
play seek --start-time=0.92 clip.avi
same seek clip.avi 320 240 23
echo "VLC plays and records QF25 through the module as qf25 decode and encode do"
