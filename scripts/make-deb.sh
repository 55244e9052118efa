#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Builds the Debian packages from the source release, as a distribution
# would: unpacks qf25-<version>.tar.xz into <output dir>/deb, runs
# `dpkg-buildpackage -us -uc -b` there, and moves the .deb files (the dbgsym
# ones too) into <output dir>. One build proves both that the tarball builds
# and that the packages build from a clean tree.
#
#   make-deb.sh <tarball> <output dir> [jobs]
set -euo pipefail
tarball=$(realpath "$1")
mkdir -p "$2"
out=$(cd "$2" && pwd)
jobs=${3:-$(nproc)}
name=$(basename "$tarball" .tar.xz)

work=$out/deb
rm -rf "$work"
mkdir -p "$work"
tar -C "$work" -xJf "$tarball"
cd "$work/$name"
version=$(dpkg-parsechangelog -SVersion)
[ "$name" = "qf25-$version" ] || { echo "make-deb.sh: $name, but debian/changelog says $version" >&2; exit 1; }
dpkg-buildpackage -us -uc -b -j"$jobs" >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    echo "make-deb.sh: dpkg-buildpackage failed; the whole log is $work/build.log" >&2
    exit 1
}
# The packages of earlier builds go first: only this build's stay beside it.
for package in $(dh_listpackages); do
    rm -f "$out/${package}"_*.deb "$out/${package}-dbgsym"_*.deb
done
mv "$work"/*.deb "$out/"
ls "$out"/*_"$version"_*.deb
