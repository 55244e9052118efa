#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Checks the packages `make deb` built as a user meets them: lintian finds no
# error and no warning; apt-get installs each with what it depends on and no
# more; libqf25-dev brings libqf25-1 and nothing of FFmpeg or GStreamer, and
# programs built with pkg-config and with find_package(qf25) against it code a
# conformance vector exactly; `qf25 demo` runs; gst-inspect-1.0 finds qf25dec;
# cvlc plays a QF25 AVI and VLC's plugin cache holds the module only while
# vlc-plugin-qf25 is installed; and removing the packages leaves no file
# behind.
#
#   check-debs.sh <directory holding the .deb files> <version> <vector dir>
#
# Installing changes the machine: every step holds the lock that
# scripts/install-deps.sh takes, and the machine is left as it was found. A
# machine where one of these packages is already installed is refused.
set -euo pipefail
dir=$(cd "$1" && pwd)
version=$2
vectors=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
arch=$(dpkg --print-architecture)
libdir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
packages=(libqf25-1 libqf25-dev qf25 gstreamer1.0-qf25 vlc-plugin-qf25)
dbgsym=(libqf25-1-dbgsym qf25-dbgsym gstreamer1.0-qf25-dbgsym vlc-plugin-qf25-dbgsym)
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
deb() {
    local file=$dir/$1_${version}_$arch.deb
    [ -f "$file" ] || fail "no $(basename "$file"); run 'make deb' first"
    echo "$file"
}
debs=()
for package in "${packages[@]}" "${dbgsym[@]}"; do
    debs+=("$(deb "$package")")
done
lintian --fail-on error,warning "${debs[@]}" || fail "lintian reports errors or warnings"

work=$(mktemp -d)
installed=()
cleanup() {
    [ ${#installed[@]} = 0 ] || apt remove --purge -y "${installed[@]}" >/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
sudo=()
if [ "$(id -u)" != 0 ]; then
    sudo -n true 2>/dev/null || fail "installing the packages needs root, or sudo without a password"
    sudo=(sudo -n)
fi
apt() {
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=900 -qq --no-install-recommends "$@" \
        2>>"$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt-get $* failed"; }
}
exec 9>"${TMPDIR:-/tmp}/qf25-install-deps.lock"
flock 9
for package in "${packages[@]}" "${dbgsym[@]}"; do
    if dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qv '^not-installed$'; then
        fail "$package is already installed here; remove it first (this test installs and removes it)"
    fi
done

# Installs the given packages' files with apt-get, after checking that apt
# would install exactly those packages.
install_packages() {
    local names=() files=() package
    for package in "$@"; do
        names+=("$package")
        files+=("$(deb "$package")")
    done
    local plan
    plan=$(apt install -s "${files[@]}" | awk '$1 == "Inst" { print $2 }' | sort)
    [ "$plan" = "$(printf '%s\n' "${names[@]}" | sort)" ] ||
        fail "installing ${names[*]} would install: $(echo $plan)"
    installed=("${names[@]}")
    apt install -y "${files[@]}" >/dev/null
}
# Removes what install_packages put in place and checks that none of its
# files, and no folder of its own, is left.
remove_packages() {
    local paths
    paths=$(for package in "${installed[@]}"; do dpkg -L "$package"; done | sort -u)
    apt remove --purge -y "${installed[@]}" >/dev/null
    installed=()
    while read -r path; do
        if [ "$path" = /. ]; then
            continue
        elif [ -d "$path" ] && [ ! -L "$path" ]; then
            dpkg -S "$path" >/dev/null 2>&1 || fail "removing left the folder $path"
        elif [ -e "$path" ] || [ -L "$path" ]; then
            fail "removing left $path"
        fi
    done <<<"$paths"
}

install_packages libqf25-1
[ "$(readlink "$libdir/libqf25.so.1")" = "libqf25.so.$version" ] || fail "no $libdir/libqf25.so.1 link"
remove_packages
echo "libqf25-1 installs alone and leaves nothing when removed"

install_packages libqf25-dev libqf25-1
closure=$(apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
              --no-replaces --no-enhances libqf25-dev | grep -v '^ ' | sort -u)
heavy=$(grep -E '^(libav|libsw|libpostproc|libturbojpeg|gstreamer|libgst)' <<<"$closure" || true)
[ -z "$heavy" ] || fail "libqf25-dev depends on FFmpeg or GStreamer:" $heavy
check=("$vectors/astronaut-720x486.uyvy" 720 486 "$vectors/astronaut-720x486.q95.qf25"
       "$vectors/astronaut-720x486.q95.dec")
# shellcheck disable=SC2046
env -u PKG_CONFIG_PATH ${CC:-cc} -std=c99 -Wall -Wextra -Werror -o "$work/consumer-pkgconfig" "$here/Consumer.c" \
    $(env -u PKG_CONFIG_PATH pkg-config --cflags --libs qf25)
env -u LD_LIBRARY_PATH "$work/consumer-pkgconfig" "${check[@]}"
env -u CMAKE_PREFIX_PATH cmake -S "$here" -B "$work/cmake-consumer" -G Ninja -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" \
    >"$work/cmake.log"
grep -qx "qf25_DIR:PATH=$libdir/cmake/qf25" "$work/cmake-consumer/CMakeCache.txt" ||
    fail "find_package(qf25) did not find the installed package"
cmake --build "$work/cmake-consumer" >>"$work/cmake.log"
env -u LD_LIBRARY_PATH "$work/cmake-consumer/consumer" "${check[@]}"
remove_packages

install_packages qf25 libqf25-1
[ "$(man -w qf25)" = /usr/share/man/man1/qf25.1.gz ] || fail "man qf25 finds no page"
mkdir "$work/demo"
(cd "$work/demo" && env -u LD_LIBRARY_PATH qf25 demo --quiet >/dev/null) || fail "qf25 demo failed"
[ -s "$work/demo/qf25-demo.avi" ] || fail "qf25 demo wrote no qf25-demo.avi"
remove_packages
echo "qf25: qf25 demo runs from the package"

export GST_REGISTRY=$work/registry.bin
install_packages gstreamer1.0-qf25 libqf25-1
plugin=$(env -u GST_PLUGIN_PATH gst-inspect-1.0 qf25dec | awk '$1 == "Filename" { print $2 }')
[ -n "$plugin" ] && [ "$(realpath "$plugin")" = "$(realpath "$libdir/gstreamer-1.0/libgstqf25.so")" ] ||
    fail "gst-inspect-1.0 finds qf25dec ${plugin:+in $plugin, }not in the package's plugin"
remove_packages
echo "gstreamer1.0-qf25: gst-inspect-1.0 finds qf25dec"

# VLC as a user runs it (as nobody when this runs as root, which VLC refuses),
# headless: five frames of a vector, the last picture, woven rather than
# deinterlaced, exactly the vector's.
vlc_cache=$libdir/vlc/plugins/plugins.dat
install_packages vlc-plugin-qf25 libqf25-1
grep -q libqf25_plugin "$vlc_cache" || fail "VLC's plugin cache does not hold the module"
user=$work/vlc
mkdir -m 777 "$user"
chmod 755 "$work"
for i in 1 2 3 4 5; do cat "$vectors/astronaut-720x486.uyvy"; done |
    "$dir/qf25" encode -q --size 720x486 --pix-fmt uyvy422 --rate 25 - "$user/clip.avi"
as_user=()
[ "$(id -u)" != 0 ] || as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
"${as_user[@]}" env -u VLC_PLUGIN_PATH HOME="$user" cvlc --play-and-exit --no-video-title-show --deinterlace=0 \
    --vout yuv --yuv-chroma UYVY --yuv-file "$user/played.yuv" "$user/clip.avi" 2>/dev/null || fail "cvlc could not play it"
tail -c $((720 * 486 * 2)) "$user/played.yuv" | cmp -s - "$vectors/astronaut-720x486.q95.dec" ||
    fail "cvlc does not show the vector's picture"
remove_packages
! grep -q libqf25_plugin "$vlc_cache" || fail "VLC's plugin cache still holds the module"
echo "vlc-plugin-qf25: cvlc plays a QF25 AVI; VLC's plugin cache follows the package"

# Everything at once, the debug symbols too.
install_packages "${packages[@]}" "${dbgsym[@]}"
[[ $(env -u LD_LIBRARY_PATH qf25 --version) == "qf25 $version "* ]] || fail "the installed qf25 does not run"
remove_packages
echo "all ${#debs[@]} packages install together and leave nothing when removed"
