#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Checks the source tarball of `make dist`: under qf25-<version>/ it holds the
# committed tree of a git checkout, made from its last commit (or, in an
# unpacked release, the files the release's MANIFEST names), and nothing
# else, and its own MANIFEST lists exactly its files. `make deb` builds the
# packages from this tarball, which shows that it builds.
#
#   check-dist.sh <source tree> <tarball>
set -euo pipefail
source=$(cd "$1" && pwd)
tarball=$2
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
[ -f "$tarball" ] || fail "no $tarball; run 'make dist' first"
name=$(basename "$tarball" .tar.xz)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tar -tJf "$tarball" >"$work/entries"
grep -v "^$name/" "$work/entries" && fail "$tarball holds files outside $name/"
grep -v '/$' "$work/entries" | sed "s|^$name/||" | LC_ALL=C sort >"$work/files"
if [ -e "$source/.git" ]; then
    commit=$(xz -dc "$tarball" | git get-tar-commit-id) || true
    [ "$commit" = "$(git -C "$source" rev-parse HEAD)" ] || fail "$tarball is not of the last commit; run 'make dist'"
    { git -C "$source" ls-tree -r --name-only HEAD; echo MANIFEST; } | LC_ALL=C sort >"$work/expected"
else
    LC_ALL=C sort "$source/MANIFEST" >"$work/expected"
fi
diff -u "$work/expected" "$work/files" || fail "$tarball does not hold exactly the files of the source (- missing, + extra)"
tar -xJOf "$tarball" "$name/MANIFEST" | LC_ALL=C sort | diff -u - "$work/files" ||
    fail "the MANIFEST in $tarball does not list its files"
echo "$tarball: the $(wc -l <"$work/files") files of the source under $name/"
