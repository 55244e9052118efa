#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs a build into a staging DESTDIR and uses only what landed there: the
# qf25 command runs without LD_LIBRARY_PATH, its man page is found, and two
# consumers, one built with pkg-config and one with find_package(qf25), code
# and decode a conformance vector to its exact bytes.
#
#   run-install-test.sh <build dir> <version> <vector dir>
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
vectors=$3
here=$(cd "$(dirname "$0")" && pwd)

work=$build/install-test
rm -rf "$work"
mkdir -p "$work"
stage=$work/stage
prefix=/opt/qf25
root=$stage$prefix
DESTDIR=$stage cmake --install "$build" --prefix $prefix >"$work/install.log"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

told=$(env -u LD_LIBRARY_PATH "$root/bin/qf25" --version) || fail "the installed qf25 does not run"
[[ $told =~ ^qf25\ $version\ \(kernels:\ (AVX2|SSE2|plain)\)$ ]] || fail "qf25 --version says '$told'"
[ "$(MANPATH=$root/share/man man -w qf25)" = "$root/share/man/man1/qf25.1" ] || fail "man qf25 finds no page"
library=$(find "$root" -name libqf25.so.1 -type l)
[ -n "$library" ] && readelf -d "$library" | grep -q 'SONAME.*\[libqf25\.so\.1\]' || fail "no libqf25.so.1 with its SONAME"

check=("$vectors/astronaut-720x486.uyvy" 720 486 "$vectors/astronaut-720x486.q95.qf25"
       "$vectors/astronaut-720x486.q95.dec")

# pkg-config sees the staged qf25.pc only, its paths moved under the stage.
pc=$(dirname "$(find "$root" -name qf25.pc)")
flags=$(PKG_CONFIG_LIBDIR=$pc PKG_CONFIG_SYSROOT_DIR=$stage pkg-config --cflags --libs qf25)
libdir=$(PKG_CONFIG_LIBDIR=$pc PKG_CONFIG_SYSROOT_DIR=$stage pkg-config --libs-only-L qf25)
libdir=${libdir#-L}
# shellcheck disable=SC2086
${CC:-cc} -std=c99 -pedantic -Wall -Wextra -Werror -o "$work/consumer-pkgconfig" "$here/Consumer.c" $flags \
    -Wl,-rpath,"${libdir%% *}"
env -u LD_LIBRARY_PATH "$work/consumer-pkgconfig" "${check[@]}"

cmake -S "$here" -B "$work/cmake-consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
    -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >"$work/cmake-consumer.log"
cmake --build "$work/cmake-consumer" >>"$work/cmake-consumer.log"
grep -q "$root" "$work/cmake-consumer/CMakeCache.txt" || fail "find_package(qf25) did not take the staged package"
env -u LD_LIBRARY_PATH "$work/cmake-consumer/consumer" "${check[@]}"
