#!/bin/bash
# Runs one of the Windows test programs under Wine, in a private prefix inside
# the Windows build tree (created on first use), and checks its result.
#
#   run-wine-test.sh <win32|win64> vfw <windows build dir> <reference program> <vector dir>
#       the VfW host drives qf25.dll through msvfw32; the native reference
#       program prepares the cases before and compares the bytes after
#   run-wine-test.sh <win32|win64> avi <windows build dir> <qf25 command> <vector dir>
#       AVIFile under Wine decodes an AVI of the native command, and writes one
#       through the compressed stream that the native command decodes; both
#       sides must see the same pictures
#   run-wine-test.sh <win32|win64> probe <windows build dir>
#       the processor probes and their exception guard
#   run-wine-test.sh <win32|win64> replay <windows build dir> <corpus dir>
#       the replay programs of the codec's fuzz targets, each on its corpus
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

# Unix path as Wine sees it: the Z: drive is the root directory.
windows_path() {
    local path=${1//\//\\}
    echo "Z:$path"
}

stop_wine() {
    wineserver -k 2>/dev/null || true
}
trap stop_wine EXIT

# Some virtual machines run no 32-bit programs at all (the kernel answers
# "Exec format error"); the 32-bit tests cannot run there and say so.
if [ "$arch" = win32 ] && ! "$loader" --version >/dev/null 2>&1; then
    echo "SKIPPED: this kernel runs no 32-bit programs, so the 32-bit Wine cannot start" >&2
    exit 77
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX"
    "$loader" wineboot -i >/dev/null 2>&1
    wineserver -w
fi

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
    rm -rf "$work"
    mkdir -p "$work"
    # Four distinct 720x240 pictures cut from two of the 720x486 vectors.
    width=720 height=240 frames=4
    # decode_all <AVI> <raw output>: every frame, as 32-bit BGR
    decode_all() {
        "$tool" decode "$1" "$2" --pix bgr32 -q
        if [ "$(stat -c %s "$2")" != $((width * height * 4 * frames)) ]; then
            echo "FAILED: $1 does not decode to $frames pictures" >&2
            return 1
        fi
    }
    cat "$vectors/astronaut-720x486.uyvy" "$vectors/noise-720x486.uyvy" |
        head -c $((width * height * 2 * frames)) >"$work/clip.uyvy"
    "$tool" encode "$work/clip.uyvy" "$work/native.avi" --size ${width}x$height --pix-fmt uyvy422 -r 25 -q
    decode_all "$work/native.avi" "$work/native.rgb"

    run_program "$work/native-wine.rgb.done" "$windows/avihost.exe" "$(windows_path "$windows/qf25.dll")" \
        read "$(windows_path "$work/native.avi")" "$(windows_path "$work/native-wine.rgb")"
    cmp "$work/native.rgb" "$work/native-wine.rgb"

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
