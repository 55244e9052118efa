#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12: the native toolchain,
# GoogleTest and Google Benchmark, FFmpeg's libraries, the MinGW-w64 i686 cross
# compiler and a 32-bit Wine. Does nothing when everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev
          libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
          g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 xxd)

# Some kernels run no 32-bit x86 programs natively (Exec format error); there
# the 32-bit Wine runs under qemu's user-mode emulation instead.
runs_i386() {
    [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    runs_i386 && exit 0
    missing=(qemu-user-static)
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

if ! runs_i386; then
    dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed' ||
        $sudo apt-get install -y -qq --no-install-recommends qemu-user-static
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        [ -e /proc/sys/fs/binfmt_misc/register ] ||
            $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
        # 32-bit x86 ELF executables go to qemu; F keeps the interpreter open
        # so that it works inside Wine's own processes too.
        magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
    fi
    runs_i386 || { echo "32-bit x86 programs cannot run here, not even under qemu" >&2; exit 1; }
fi
