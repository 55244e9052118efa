#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Checks the package that `make deb` made: the files a user and a program
# linking the codec need, dependencies that cover every library the binaries
# load, no search path of its own, and no lintian error.
#
#   check-deb.sh <directory holding qf25_*.deb> <version>
set -euo pipefail
version=$2
shopt -s nullglob
debs=("$1"/qf25_"$version"_*.deb)
if [ ${#debs[@]} != 1 ]; then
    echo "FAILED: expected one qf25_${version}_*.deb in $1; run 'make deb' first" >&2
    exit 1
fi
deb=${debs[0]}
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for path in usr/bin/qf25 "$libdir/libqf25.so.$version" "$libdir/libqf25.so.1" "$libdir/libqf25.so" \
    usr/include/qf25.h "$libdir/pkgconfig/qf25.pc" "$libdir/cmake/qf25/qf25Config.cmake" \
    usr/share/man/man1/qf25.1.gz usr/share/doc/qf25/copyright usr/share/doc/qf25/changelog.gz \
    "$libdir/vlc/plugins/codec/libqf25_plugin.so"; do
    grep -qx "\./$path" <<<"$contents" || fail "$deb lacks /$path"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
grep -qx 'prefix=/usr' "$work/$libdir/pkgconfig/qf25.pc" || fail "qf25.pc does not name /usr"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Every library a binary of the package loads is in the package or comes with
# a package it depends on.
while read -r elf; do
    readelf -d "$elf" | grep -q 'R\(UN\)\?PATH' && fail "${elf#"$work"} has its own library search path"
    resolved=$(LD_LIBRARY_PATH=$work/$libdir ldd "$elf")
    for needed in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        path=$(awk -v name="$needed" '$1 == name && $2 == "=>" { print $3 }
                                      substr($1, length($1) - length(name)) == "/" name { print $1 }' <<<"$resolved")
        [[ $path == "$work"/* ]] && continue
        owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null || dpkg -S "${path#/usr}" 2>/dev/null) || true
        owner=${owner%%:*}
        [[ -n $owner && ( ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ) ]] ||
            fail "${elf#"$work"} needs $needed ($path of ${owner:-no package}), not in Depends"
    done
done < <(find "$work" -type f -exec sh -c 'file -b "$1" | grep -q "^ELF"' _ {} \; -print)

lintian --fail-on error "$deb" || fail "lintian reports errors"
[ $failures = 0 ] && echo "$deb: $(wc -l <<<"$contents") entries, dependencies complete, lintian passes"
exit $((failures > 0))
