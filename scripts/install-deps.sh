#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs what the build and the tests need on Debian 12: the native toolchain,
# clang with its fuzzing runtime, GoogleTest and Google Benchmark, FFmpeg's
# libraries and libturbojpeg (the benchmark's peers), the MinGW-w64 cross
# compilers and Wine, 32-bit (the codec's own platform) and 64-bit (which runs
# the same tests on kernels that run no 32-bit programs), gcc-multilib for the
# library that 32-bit Wine needs under emulation, GStreamer's development
# files, tools and base and good plugins (the AVI demuxer) for the plugin and
# its tests, VLC's development files, command and base plugins (demuxers, the
# YUV file output, the transcoder) for the VLC module and its tests, the
# tools that make and check the Debian packages (with what debian/control
# names to build them), the Windows zip and its installer, gcovr for the
# coverage report, and what building FFmpeg from Debian's source with the
# series in ffmpeg/ takes (git for `git am`, nasm for its assembly, VDPAU's
# headers so that libavcodec exports the av_vdpau_ functions as Debian's
# does). Does nothing when everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libgtest-dev googletest libbenchmark-dev
          libavformat-dev libavcodec-dev libavfilter-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg
          libturbojpeg0-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-win32
          binutils-mingw-w64-x86-64 wine wine32:i386 wine64 gcc-multilib xxd
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-base-apps
          libvlccore-dev libvlc-dev vlc-bin vlc-plugin-base
          dpkg-dev debhelper file lintian man-db zip unzip nsis xz-utils gcovr git nasm libvdpau-dev)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# One install at a time, however many builds start at once.
exec 9>"${TMPDIR:-/tmp}/qf25-install-deps.lock"
flock 9

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
