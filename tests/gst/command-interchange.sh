#!/bin/sh
# SPDX-License-Identifier: BSD-2-Clause
# The GStreamer plugin and the qf25 command agree: what `qf25 encode` writes
# plays through avidemux and qf25dec, and through playbin as gst-play drives
# it, to exactly the pictures `qf25 decode` gives (also at an odd height); what qf25enc and
# qf25avisink record, the command, ffprobe and avidemux read, also when the
# recording is interrupted; sound goes both ways sample for sample, and
# gst-play plays it; gst-inspect lists the elements.
# Usage: command-interchange.sh QF25 PLUGIN_DIR SCRATCH_DIR
set -eu
qf25=$1
export GST_PLUGIN_PATH=$2
dir=$3
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
same() {
    cmp -s "$1" "$2" || fail "$1 differs from $2"
}

ffmpeg -v error -f lavfi -i testsrc2=size=720x486:rate=25 -frames:v 8 -pix_fmt uyvy422 -f rawvideo clip.uyvy
"$qf25" encode -q --size 720x486 --pix-fmt uyvy422 --rate 25 clip.uyvy clip.avi
"$qf25" decode -q clip.avi command.yuv
"$qf25" decode -q --pix bgr24 clip.avi command.rgb

for layout in UYVY:yuv BGR:rgb; do
    gst-launch-1.0 -q filesrc location=clip.avi ! avidemux ! qf25dec ! "video/x-raw,format=${layout%:*}" \
        ! filesink location="demuxed.${layout#*:}"
    same "demuxed.${layout#*:}" "command.${layout#*:}"
done

# The last line of an odd height repeats the line of its field above it, in both.
ffmpeg -v error -f lavfi -i testsrc2=size=720x488 -frames:v 1 -pix_fmt uyvy422 -f rawvideo tall.uyvy
head -c $((720 * 487 * 2)) tall.uyvy >odd.uyvy
"$qf25" encode -q --size 720x487 --pix-fmt uyvy422 odd.uyvy odd.avi 2>/dev/null
"$qf25" decode -q odd.avi odd-command.yuv
gst-launch-1.0 -q filesrc location=odd.avi ! avidemux ! qf25dec ! video/x-raw,format=UYVY ! filesink location=odd-gst.yuv
same odd-gst.yuv odd-command.yuv

# Video only: playbin's default deinterlacer would turn each frame's fields into frames of their own.
gst-play-1.0 --no-interactive --flags=0x1 --videosink="filesink location=played.yuv" clip.avi >played.log 2>&1
same played.yuv command.yuv
gst-play-1.0 --no-interactive --videosink=fakesink clip.avi >faked.log 2>&1
grep -q "Reached end of play list" faked.log || fail "gst-play did not finish: $(cat faked.log)"
! grep -qi "error\|missing" faked.log || fail "gst-play: $(cat faked.log)"

gst-launch-1.0 -q filesrc location=clip.uyvy ! rawvideoparse width=720 height=486 format=uyvy framerate=25/1 \
    ! qf25enc ! qf25avisink location=recorded.avi
"$qf25" info --verify recorded.avi >recorded.txt || fail "qf25 info --verify: $(cat recorded.txt)"
grep -q "8 frames, .*every frame decoded; 0 damaged" recorded.txt || fail "$(cat recorded.txt)"
"$qf25" decode -q recorded.avi recorded.yuv
same recorded.yuv command.yuv
probe=$(ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=codec_tag_string,width,height,nb_read_packets -of default=noprint_wrappers=1 recorded.avi)
[ "$probe" = "$(printf 'codec_tag_string=QF25\nwidth=720\nheight=486\nnb_read_packets=8')" ] || fail "ffprobe: $probe"

# Sound: the command's, as avidemux reads it and gst-play plays it; and the
# sink's, recorded beside the pictures, as FFmpeg reads it.
ffmpeg -v error -f rawvideo -pix_fmt uyvy422 -s 720x486 -r 25 -i clip.uyvy -f lavfi -i sine=r=48000:d=0.32 \
    -map 0 -map 1 -c:v copy -ac 2 -c:a pcm_s24le sound.nut
"$qf25" encode -q sound.nut sound.avi
ffmpeg -v error -i sound.avi -c copy -f s24le command.pcm
gst-launch-1.0 -q filesrc location=sound.avi ! avidemux name=d d.audio_0 ! filesink location=demuxed.pcm
same demuxed.pcm command.pcm
gst-play-1.0 --no-interactive --videosink=fakesink --audiosink=fakesink sound.avi >sound.log 2>&1
grep -q "Reached end of play list" sound.log || fail "gst-play did not play the sound: $(cat sound.log)"
! grep -qi "error\|missing" sound.log || fail "gst-play: $(cat sound.log)"
sources=""
for format in S24LE:2:s24le S16LE:1:s16le; do
    audiotestsrc="audiotestsrc num-buffers=10 wave=ticks ! audio/x-raw,format=${format%%:*},rate=44100"
    channels=$(echo "$format" | cut -d: -f2)
    gst-launch-1.0 -q $audiotestsrc,channels=$channels ! filesink location="source-${format##*:}.pcm"
    sources="$sources $audiotestsrc,channels=$channels ! s."
done
gst-launch-1.0 -q videotestsrc num-buffers=10 ! video/x-raw,format=UYVY,width=320,height=240,framerate=25/1 \
    ! qf25enc ! qf25avisink name=s location=recorded-sound.avi $sources
for stream in 0:s24le 1:s16le; do
    ffmpeg -v error -i recorded-sound.avi -map "0:a:${stream%:*}" -c copy -f "${stream#*:}" "recorded-${stream#*:}.pcm"
    same "recorded-${stream#*:}.pcm" "source-${stream#*:}.pcm"
done

# Interrupted without an end of stream, once frames are on disk: the
# pipeline's stop still completes the file, with its sound.
gst-launch-1.0 -q videotestsrc is-live=true ! video/x-raw,format=UYVY,width=720,height=480 \
    ! qf25enc ! qf25avisink name=s location=interrupted.avi audiotestsrc is-live=true ! s. >/dev/null 2>&1 &
recorder=$!
waited=0
while [ "$(stat -c %s interrupted.avi 2>/dev/null || echo 0)" -lt 1000000 ]; do
    waited=$((waited + 1))
    [ $waited -lt 600 ] || { kill $recorder; fail "the recording wrote nothing in a minute"; }
    sleep 0.1
done
kill -INT $recorder
wait $recorder || true
"$qf25" info --verify interrupted.avi >interrupted.txt || fail "interrupted recording: $(cat interrupted.txt)"
grep -q "^audio       stream 1: pcm_s16le" interrupted.txt || fail "interrupted recording: $(cat interrupted.txt)"

gst-inspect-1.0 qf25dec | grep -q "Rank *primary" || fail "qf25dec is not of primary rank"
gst-inspect-1.0 qf25enc | grep -q "quality *: Coding quality" || fail "qf25enc has no quality property"
gst-inspect-1.0 qf25enc | grep -q "Range: 50 - 99 Default: 95" || fail "qf25enc's quality range"
gst-inspect-1.0 qf25avisink | grep -q "location *: The AVI file to write" || fail "qf25avisink has no location"
cd /
rm -rf "$dir"
echo "the plugin and the command agree"
