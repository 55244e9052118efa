#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds qf25_<version>_<arch>.deb from a build tree configured with the /usr
# prefix: what `cmake --install` puts there (stripped), the package's copyright
# and changelog, and a control file whose dependencies dpkg-shlibdeps works out
# from the binaries.
#
#   make-deb.sh <build dir> <output dir>
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
if [ "$prefix" != /usr ]; then
    echo "make-deb.sh: $build installs into $prefix, not /usr" >&2
    exit 1
fi

# The dpkg tools expect a source tree's debian/ folder, with the package's
# files in debian/qf25.
work=$build/deb-work
rm -rf "$work"
mkdir -p "$work/debian"
root=$work/debian/qf25
DESTDIR=$root cmake --install "$build" --strip >"$work/install.log"

# The changelog takes the version and the date of the commit built, so that
# the same commit gives the same package.
when=$(git -C "$source" log -1 --format=%cD 2>/dev/null || date -R)
cat >"$work/debian/changelog" <<CHANGES
qf25 ($version) unstable; urgency=medium

  * QF25 $version.

 -- The QF25 project <qf25@example.org>  $when
CHANGES
cp "$source/packaging/debian/control" "$work/debian/control"
doc=$root/usr/share/doc/qf25
install -d "$doc"
install -m 644 "$source/packaging/debian/copyright" "$doc/copyright"
gzip -9n <"$work/debian/changelog" >"$doc/changelog.gz"
find "$root/usr/share/man" -type f -name '*.[1-9]' -exec gzip -9n {} +

install -d "$root/DEBIAN"
echo "libqf25 1 qf25 (>= $version)" >"$root/DEBIAN/shlibs"
echo "activate-noawait ldconfig" >"$root/DEBIAN/triggers"
cd "$work"
mapfile -t binaries < <(find debian/qf25 -type f -exec sh -c 'file -b "$1" | grep -q "^ELF"' _ {} \; -print)
dpkg-shlibdeps -Tdebian/qf25.substvars -xqf25 "${binaries[@]}"
dpkg-gencontrol -pqf25 -v"$version" -Tdebian/qf25.substvars -Pdebian/qf25
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 644 "$root/DEBIAN/shlibs" "$root/DEBIAN/triggers" "$root/DEBIAN/md5sums"
dpkg-deb --root-owner-group -Zxz --build "$root" "$out"
