#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds FFmpeg 5.1 with QF25: Debian 12's source package (its own patches
# applied), the series in ffmpeg/ applied with `git am`, configured with
# --enable-libqf25 and linked to the codec library of a build tree.
#
#   build-ffmpeg.sh <build dir> full [<source dir>]
#       FFmpeg's default configuration plus --enable-libqf25 --enable-shared,
#       into <build dir>/ffmpeg
#   build-ffmpeg.sh <build dir> check|asan [<source dir>]
#       only what the tests use, into <build dir>/ffmpeg-check; asan builds it
#       under AddressSanitizer (for a sanitizer build of the codec)
#
# The build tree's libqf25.so.1 and its qf25.pc go into the prefix beside
# FFmpeg's libraries, which find them (and the programs their libraries)
# through their RUNPATH. The source is fetched once into the source dir
# (default <build dir>/ffmpeg-source) through an apt state of its own (deb-src of
# bookworm, its updates and security), nothing outside it changes; the
# version is that of the installed libavcodec59 where the archive still has
# it, so that the libraries replace Debian's.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
flavour=$2
mirror=${QF25_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security=${QF25_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
jobs=${JOBS:-$(nproc)}

fail() {
    echo "build-ffmpeg: $*" >&2
    exit 1
}

case $flavour in
full)
    prefix=$build/ffmpeg
    options=(--enable-shared)
    ;;
check | asan)
    prefix=$build/ffmpeg-check
    # The tests' own pieces: the wrapper, raw pictures in and out, AVI, and
    # what ffmpeg and ffprobe always need.
    options=(--enable-shared --disable-static --disable-doc --disable-debug --disable-asm
             --disable-autodetect --enable-pthreads --disable-everything
             --enable-decoder=libqf25,rawvideo --enable-encoder=libqf25,rawvideo
             --enable-demuxer=avi,rawvideo --enable-muxer=avi,rawvideo,framemd5
             --enable-protocol=file,pipe --enable-filter=scale)
    [ "$flavour" = asan ] && options+=(--toolchain=gcc-asan)
    ;;
*)
    fail "usage: build-ffmpeg.sh <build dir> full|check|asan [<source dir>]"
    ;;
esac
[ -f "$build/libqf25.so.1" ] && [ -f "$build/qf25.pc.body" ] ||
    fail "$build holds no libqf25.so.1: build the codec library first"

# Fetches and unpacks the source package; Debian's patches are applied by
# dpkg-source, and the tree is committed so that `git am` can follow.
fetch_source() {
    local apt=$source_dir/apt
    rm -rf "$source_dir"
    mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/parts"
    : >"$apt/status"
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    {
        echo "deb-src [signed-by=$keyring] $mirror bookworm main"
        echo "deb-src [signed-by=$keyring] $mirror bookworm-updates main"
        echo "deb-src [signed-by=$keyring] $security bookworm-security main"
    } >"$apt/sources.list"
    local apt_options=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts"
                       -o Dir::State::Lists="$apt/lists" -o Dir::State::Status="$apt/status"
                       -o Dir::Cache="$apt" -o Dir::Cache::Archives="$apt/archives"
                       -o APT::Sandbox::User="$(id -un)" -qq)
    echo "build-ffmpeg: fetching FFmpeg's source package from $mirror"
    apt-get "${apt_options[@]}" --error-on=any update >/dev/null ||
        fail "cannot read Debian's source lists from $mirror"
    local installed version
    installed=$(dpkg-query -W -f='${Version}' libavcodec59 2>/dev/null || true)
    version=$(apt-cache "${apt_options[@]}" showsrc ffmpeg | sed -n 's/^Version: //p' | sort -V | tail -1)
    if [ -n "$installed" ] && apt-cache "${apt_options[@]}" showsrc ffmpeg | grep -qx "Version: $installed"; then
        version=$installed
    fi
    [ -n "$version" ] || fail "Debian's archive has no ffmpeg source package"
    (cd "$apt" && apt-get "${apt_options[@]}" source --download-only "ffmpeg=$version" >/dev/null) ||
        fail "cannot fetch ffmpeg $version's source package"
    dpkg-source -q -x "$apt"/ffmpeg_*.dsc "$source_dir/tree" 2>/dev/null ||
        fail "cannot unpack ffmpeg $version's source package"
    rm -rf "$apt"
    git -C "$source_dir/tree" init -q
    git -C "$source_dir/tree" add -A
    git -C "$source_dir/tree" commit -q -m "Debian's ffmpeg $version"
    echo "$version" >"$source_dir/version"
}

# The series is applied again whenever it changes.
source_dir=$(realpath -m "${3:-$build/ffmpeg-source}")
series=$(cat "$root"/ffmpeg/*.patch | sha256sum | cut -d' ' -f1)
if ! [ -f "$source_dir/version" ]; then
    fetch_source
fi
if [ "$(cat "$source_dir/series" 2>/dev/null)" != "$series" ]; then
    git -C "$source_dir/tree" am --abort >/dev/null 2>&1 || true
    git -C "$source_dir/tree" reset -q --hard "$(git -C "$source_dir/tree" rev-list --max-parents=0 HEAD)"
    git -C "$source_dir/tree" clean -q -fdx
    GIT_COMMITTER_NAME=build-ffmpeg GIT_COMMITTER_EMAIL=build-ffmpeg@localhost \
        git -C "$source_dir/tree" am -q "$root"/ffmpeg/*.patch ||
        fail "the patches in ffmpeg/ do not apply to ffmpeg $(cat "$source_dir/version")"
    echo "$series" >"$source_dir/series"
fi

# The codec library as FFmpeg's configure and programs find it.
rm -rf "$prefix"
mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
cp -P "$build"/libqf25.so* "$prefix/lib/"
cp "$root/include/qf25.h" "$prefix/include/"
{ echo "prefix=$prefix"; cat "$build/qf25.pc.body"; } >"$prefix/lib/pkgconfig/qf25.pc"

objects=$build/ffmpeg-objects/$flavour
configuration="${options[*]} $series"
if [ "$(cat "$objects/configuration" 2>/dev/null)" != "$configuration" ]; then
    rm -rf "$objects"
    mkdir -p "$objects"
    echo "build-ffmpeg: configuring FFmpeg $(cat "$source_dir/version") ($flavour)"
    (cd "$objects" && PKG_CONFIG_PATH=$prefix/lib/pkgconfig "$source_dir/tree/configure" --prefix="$prefix" \
        --enable-rpath --extra-version=qf25 --enable-libqf25 "${options[@]}" >configure.log 2>&1) ||
        fail "configure failed; see $objects/configure.log and $objects/ffbuild/config.log"
    echo "$configuration" >"$objects/configuration"
fi
echo "build-ffmpeg: building FFmpeg ($flavour, $jobs jobs)"
make -C "$objects" -j "$jobs" >"$objects/build.log" 2>&1 || {
    tail -n 30 "$objects/build.log" >&2
    fail "the build failed; see $objects/build.log"
}
make -C "$objects" install >"$objects/install.log" 2>&1 || fail "make install failed; see $objects/install.log"
echo "build-ffmpeg: $prefix/bin/ffmpeg and ffprobe, libraries in $prefix/lib"
