#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs one of the Windows test programs under Wine, in a private prefix inside
# the Windows build tree (created on first use), and checks its result.
#
#   run-wine-test.sh <win32|win64> vfw <windows build dir> <reference program> <vector dir>
#       the VfW host drives qf25.dll through msvfw32; the native reference
#       program prepares the cases before and compares the bytes after
#   run-wine-test.sh <win32|win64> avi <windows build dir> <qf25 command> <vector dir>
#       AVIFile under Wine decodes an AVI of the native command, and writes one
#       through the compressed stream that the native command decodes; both
#       sides must see the same pictures, and AVIFile the native file's sound
#   run-wine-test.sh <win32|win64> dshow <windows build dir> <qf25 command> <vector dir>
#       a DirectShow graph under Wine plays an AVI of the native command in
#       each layout players ask for: the codec's own are the pictures the
#       native command decodes, the others are refused at connection
#   run-wine-test.sh <win32|win64> field <windows build dir>
#       the DLL's field functions as a host finds and calls them
#   run-wine-test.sh <win32|win64> probe <windows build dir>
#       the processor probes and their exception guard
#   run-wine-test.sh <win32|win64> replay <windows build dir> <corpus dir>
#       the replay programs of the codec's fuzz targets, each on its corpus
#   run-wine-test.sh <win32|win64> unit <windows build dir>
#       the codec's unit tests built for Windows
#   run-wine-test.sh <win32|win64> start|stop <windows build dir>
#       starts the prefix's server, kept warm for the tests that follow (the
#       prefix is created first if need be), or stops it and every process of
#       the prefix
#
# The 32-bit tests run through scripts/wine32-run.sh, which makes 32-bit Wine
# work where the kernel runs no 32-bit programs.
#   run-wine-test.sh <win32|win64> soak <windows build dir> <opens> <begins> <handles>
#       the leak soak against qf25.dll (`make soak`)
#
# Wine can, rarely, crash at process exit after a program has completed and
# checked everything; such a run (non-zero status but its completion marker
# written) is retried once and never counted as a success by itself.
set -euo pipefail

arch=$1
test=$2
windows=$(cd "$3" && pwd)

case $arch in
win32) loader=wine ;;
win64) loader=$(command -v wine64 || echo /usr/lib/wine/wine64) ;;
*) echo "unknown architecture $arch" >&2; exit 2 ;;
esac

export WINEPREFIX=$windows/wine
export WINEARCH=$arch
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
# The 64-bit server serves 32-bit clients too; Debian's wrapper script would
# make it quit as soon as the last client does.
export WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}

# Unix path as Wine sees it: the Z: drive is the root directory.
windows_path() {
    local path=${1//\//\\}
    echo "Z:$path"
}

# Idle time after which a server left behind by an interrupted run quits.
SERVER_LINGER_SECONDS=300

# native_clip <qf25 command> <vector dir> <work dir> [sound]: four distinct
# 720x240 pictures cut from two of the 720x486 vectors, coded by the native
# command into native.avi of a new work dir; with "sound", beside 24-bit
# stereo and 16-bit mono sound
clip_width=720 clip_height=240 clip_frames=4
native_clip() {
    local tool=$1 vectors=$2 work=$3 sound=${4:-}
    rm -rf "$work"
    mkdir -p "$work"
    # Not `cat | head`: under pipefail, cat killed by the pipe head closed
    # early would fail the test now and then.
    cat "$vectors/astronaut-720x486.uyvy" "$vectors/noise-720x486.uyvy" >"$work/both.uyvy"
    head -c $((clip_width * clip_height * 2 * clip_frames)) "$work/both.uyvy" >"$work/clip.uyvy"
    if [ -z "$sound" ]; then
        "$tool" encode "$work/clip.uyvy" "$work/native.avi" --size ${clip_width}x$clip_height \
            --pix-fmt uyvy422 -r 25 -q
        return
    fi
    ffmpeg -v error -f rawvideo -pix_fmt uyvy422 -s ${clip_width}x$clip_height -r 25 -i "$work/clip.uyvy" \
        -f lavfi -i sine=f=440:r=48000:d=0.16 -f lavfi -i sine=f=660:r=48000:d=0.16 \
        -filter_complex "[1][2]amerge=inputs=2[stereo]" -map 0 -map "[stereo]" -map 2 \
        -c:v copy -c:a:0 pcm_s24le -c:a:1 pcm_s16le "$work/clip.nut"
    "$tool" encode "$work/clip.nut" "$work/native.avi" -q
}

# run_program <completion marker or ""> <program> <arguments...>
run_program() {
    local marker=$1
    shift
    for attempt in 1 2; do
        if "$loader" "$@"; then
            return 0
        fi
        if [ -z "$marker" ] || [ ! -f "$marker" ] || [ "$attempt" = 2 ]; then
            echo "FAILED: $* ended with an error" >&2
            return 1
        fi
        echo "note: Wine crashed after a complete run; running it once more" >&2
        rm -f "$marker"
    done
}

case $test in
start)
    # A server an interrupted run left behind goes first. What starts here
    # outlives this step: no output of it may hold the test runner's pipes open.
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating the Wine prefix $WINEPREFIX"
        "$loader" wineboot -i </dev/null >/dev/null 2>&1
        "$WINESERVER" -w
    fi
    "$WINESERVER" -p$SERVER_LINGER_SECONDS </dev/null >/dev/null 2>&1
    "$loader" wineboot </dev/null >/dev/null 2>&1
    ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true
    "$WINESERVER" -w
    ;;
unit)
    # Emulated, the randomised checks run a quarter of their rounds.
    if [ "${QF25_WINE32_MODE:-}" = emulated ]; then
        export QF25_CHECK_DIVISOR=${QF25_CHECK_DIVISOR:-4}
    fi
    log=$windows/unit-tests.log
    run_program "" "$windows/qf25_tests.exe" --gtest_brief=1 | tee "$log"
    # A crash inside a test can end the program with status 0 under Wine's
    # debugger: only a summary with every test passed counts.
    summary=$(tr -d '\r' <"$log")
    if ! grep -q '^\[  PASSED  \]' <<<"$summary" || grep -q '^\[  FAILED  \]' <<<"$summary"; then
        echo "FAILED: the unit tests did not all pass" >&2
        exit 1
    fi
    ;;
vfw)
    reference=$4
    vectors=$5
    cases=$windows/vfw-cases
    mkdir -p "$cases"
    "$reference" prepare "$cases" "$vectors"
    run_program "$cases/vfwhost.done" "$windows/vfwhost.exe" "$(windows_path "$windows/qf25.dll")" \
        "$(windows_path "$cases")"
    "$reference" compare "$cases"
    ;;
avi)
    tool=$4
    vectors=$5
    work=$windows/avi-cases
    width=$clip_width height=$clip_height frames=$clip_frames
    # decode_all <AVI> <raw output>: every frame, as 32-bit BGR
    decode_all() {
        "$tool" decode "$1" "$2" --pix bgr32 -q --no-streams
        if [ "$(stat -c %s "$2")" != $((width * height * 4 * frames)) ]; then
            echo "FAILED: $1 does not decode to $frames pictures" >&2
            return 1
        fi
    }
    native_clip "$tool" "$vectors" "$work" sound
    decode_all "$work/native.avi" "$work/native.rgb"

    run_program "$work/native-wine.rgb.done" "$windows/avihost.exe" "$(windows_path "$windows/qf25.dll")" \
        read "$(windows_path "$work/native.avi")" "$(windows_path "$work/native-wine.rgb")" \
        "$(windows_path "$work/sound")" >"$work/sound.txt"
    cmp "$work/native.rgb" "$work/native-wine.rgb"
    expected="sound 0: tag 0xfffe, 2 channels, 48000 Hz, 24 bits, 7680 samples
sound 1: tag 0x1, 1 channels, 48000 Hz, 16 bits, 7680 samples"
    if [ "$(grep '^sound' "$work/sound.txt" | tr -d '\r')" != "$expected" ]; then
        echo "FAILED: AVIFile reads the sound as: $(cat "$work/sound.txt")" >&2
        exit 1
    fi
    for stream in 0:s24le 1:s16le; do
        ffmpeg -v error -y -i "$work/native.avi" -map "0:a:${stream%:*}" -c copy -f "${stream#*:}" "$work/sound.ref"
        cmp "$work/sound.ref" "$work/sound${stream%:*}.pcm"
    done

    # The pictures just decoded are the input of the AVI written under Wine.
    run_program "$work/wine-wine.rgb.done" "$windows/avihost.exe" "$(windows_path "$windows/qf25.dll")" \
        write "$(windows_path "$work/native.rgb")" $width $height "$(windows_path "$work/wine.avi")" \
        "$(windows_path "$work/wine-wine.rgb")"
    decode_all "$work/wine.avi" "$work/wine.rgb"
    cmp "$work/wine.rgb" "$work/wine-wine.rgb"
    # Both decoders would agree on a flipped or wrongly quantised file too: the
    # same pictures coded natively at a new instance's quality (9000, i.e. 95)
    # must decode to the same pictures.
    "$tool" encode "$work/native.rgb" "$work/reference.avi" --size ${width}x$height --pix-fmt bgra --pix bgr32 \
        --quality 95 -r 25 -q
    decode_all "$work/reference.avi" "$work/reference.rgb"
    cmp "$work/reference.rgb" "$work/wine.rgb"
    ;;
dshow)
    tool=$4
    vectors=$5
    work=$windows/dshow-cases
    native_clip "$tool" "$vectors" "$work"
    run_program "$work/dshowhost.done" "$windows/dshowhost.exe" "$(windows_path "$windows/qf25.dll")" \
        "$(windows_path "$work/native.avi")" "$(windows_path "$work")"
    for pix in bgr24 bgr32 uyvy; do
        "$tool" decode "$work/native.avi" "$work/expected-$pix.raw" --pix $pix --format rawvideo -q
        cmp "$work/expected-$pix.raw" "$work/$pix.raw"
    done
    ;;
field)
    run_program "" "$windows/fieldhost.exe" "$(windows_path "$windows/qf25.dll")"
    ;;
probe)
    run_program "" "$windows/probehost.exe"
    ;;
replay)
    corpus=$4
    for target in decode_frame encode_round_trip driver_session field_session; do
        run_program "" "$windows/qf25_fuzz_$target.exe" "$(windows_path "$corpus/$target")"
    done
    ;;
soak)
    run_program "" "$windows/qf25_soak.exe" "$4" "$5" "$6"
    ;;
*)
    echo "unknown test $test" >&2
    exit 2
    ;;
esac
