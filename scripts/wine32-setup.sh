#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Prepares what scripts/wine32-run.sh needs where the kernel runs no 32-bit
# program: a static qemu-i386 (8.1 or later) from Debian's bookworm-backports
# and the preload library that gives Wine the fault codes. Both go into
# QF25_WINE32_DIR (default: build/wine32 of this tree); nothing outside it
# changes. Does nothing where 32-bit programs run natively (unless
# QF25_WINE32=emulate asks for emulation) or where both are already there.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dir=${QF25_WINE32_DIR:-$root/build/wine32}
mirror=${QF25_DEBIAN_MIRROR:-http://deb.debian.org/debian}
# Older ones ignore MAP_FIXED_NOREPLACE, and Wine then never finishes starting.
min_major=8 min_minor=1

fail() {
    echo "wine32-setup: $*" >&2
    exit 1
}

# A version line such as "qemu-i386 version 10.0.2 (Debian ...)" is usable
# from 8.1 on.
usable_qemu() {
    local version major minor
    version=$("$1" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\.\([0-9]*\).*/\1 \2/p;q') || return 1
    read -r major minor <<<"$version" || return 1
    [ -n "$major" ] && { [ "$major" -gt $min_major ] || { [ "$major" -eq $min_major ] && [ "$minor" -ge $min_minor ]; }; }
}

# Fetches qemu-i386 through an apt state of its own: its own sources list,
# package lists and cache, so the system's apt configuration is untouched.
fetch_qemu() {
    local apt=$dir/apt
    rm -rf "$apt"
    mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/parts" "$apt/unpacked"
    : >"$apt/status"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
        >"$apt/sources.list"
    local options=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts"
                   -o Dir::State::Lists="$apt/lists" -o Dir::State::Status="$apt/status"
                   -o Dir::Cache="$apt" -o Dir::Cache::Archives="$apt/archives"
                   -o APT::Architecture=amd64 -o APT::Architectures=amd64
                   -o APT::Sandbox::User="$(id -un)" -qq)
    echo "wine32-setup: fetching qemu-i386 from bookworm-backports ($mirror)"
    apt-get "${options[@]}" --error-on=any update >/dev/null ||
        fail "cannot read bookworm-backports from $mirror; 32-bit Wine needs its qemu-user (8.1 or later)"
    local package
    for package in qemu-user-static qemu-user; do
        rm -f "$apt"/*.deb
        (cd "$apt" && apt-get "${options[@]}" download "$package" >/dev/null 2>&1) || continue
        dpkg-deb -x "$apt"/*.deb "$apt/unpacked"
        local binary
        for binary in "$apt/unpacked/usr/bin/qemu-i386-static" "$apt/unpacked/usr/bin/qemu-i386"; do
            if [ -f "$binary" ] && ! [ -L "$binary" ] && usable_qemu "$binary"; then
                mv "$binary" "$dir/qemu-i386"
                rm -rf "$apt"
                return 0
            fi
        done
    done
    fail "bookworm-backports at $mirror has no qemu-i386 of version $min_major.$min_minor or later"
}

# Where the kernel runs 32-bit programs nothing is needed.
if [ "${QF25_WINE32:-}" != emulate ] && "$root/scripts/wine32-run.sh" --native-check >/dev/null 2>&1; then
    exit 0
fi

mkdir -p "$dir"
if ! [ -x "$dir/qemu-i386" ] || ! usable_qemu "$dir/qemu-i386"; then
    fetch_qemu
fi

# The preload library is built for both word sizes, so that the 64-bit
# programs of a run (the wineserver, shells) find a library of their own class
# under the same $LIB path and stay quiet.
source=$root/scripts/wine32-trapno.c
for lib in lib/i386-linux-gnu:-m32 lib/x86_64-linux-gnu:-m64; do
    out=$dir/${lib%%:*}/qf25-trapno.so
    if ! [ -f "$out" ] || [ "$source" -nt "$out" ]; then
        mkdir -p "$(dirname "$out")"
        gcc "${lib##*:}" -O2 -Wall -Wextra -Werror -shared -fPIC -o "$out" "$source" ||
            fail "cannot build the fault-code library (gcc -m32 needs gcc-multilib)"
    fi
done
