#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes qf25-<version>.tar.xz, the source release, and prints its path: in a
# git checkout the committed tree (what `git archive` gives for HEAD), in an
# unpacked release the files its MANIFEST names. Either way the tarball holds
# a MANIFEST of its files, so that a release makes the same tarball again
# without git.
#
#   make-dist.sh <output dir>
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
version=$(sed -n 's/^project(qf25 VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
name=qf25-$version
tarball=$out/$name.tar.xz
work=$out/dist
rm -rf "$work" "$tarball"
mkdir -p "$work"

if [ -e "$source/.git" ]; then
    if [ -n "$(git -C "$source" status --porcelain --untracked-files=no)" ]; then
        echo "make-dist.sh: the tarball holds the last commit; uncommitted changes are left out" >&2
    fi
    { git -C "$source" ls-tree -r --name-only HEAD; echo MANIFEST; } | LC_ALL=C sort >"$work/MANIFEST"
    git -C "$source" archive --format=tar --prefix="$name/" --add-file="$work/MANIFEST" HEAD >"$work/$name.tar"
elif [ -f "$source/MANIFEST" ]; then
    tar -C "$source" --create --no-recursion --verbatim-files-from --files-from="$source/MANIFEST" \
        --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$(stat -c %Y "$source/MANIFEST")" \
        --transform="s|^|$name/|" >"$work/$name.tar"
else
    echo "make-dist.sh: $source is neither a git checkout nor an unpacked release (no MANIFEST)" >&2
    exit 1
fi
xz -T1 -6 <"$work/$name.tar" >"$tarball"
rm -rf "$work"
echo "$tarball"
