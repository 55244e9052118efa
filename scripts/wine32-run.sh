#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# wine32-run.sh COMMAND [ARGS...]
#
# Runs COMMAND (any program: a script, ctest, wine itself) where 32-bit Wine
# works, and says in one line on standard error which way was chosen and why:
# natively where the kernel runs 32-bit programs; otherwise under qemu-i386,
# registered for 32-bit programs in a user and mount namespace private to
# COMMAND (nothing outside it sees the registration), with Wine's 64-bit
# server and the fault-code library preloaded. The emulator and the library
# come from scripts/wine32-setup.sh, which is run here if they are missing.
# Fails, never skips, when 32-bit Wine cannot be had. The caller chooses the
# prefix (WINEPREFIX).
#
# COMMAND finds QF25_WINE32_MODE set to native or emulated.
#
# wine32-run.sh --native-check   succeeds only if the kernel runs 32-bit programs
#
# QF25_WINE32=emulate chooses emulation even where the kernel runs 32-bit
# programs, to try here what a kernel without them does.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dir=${QF25_WINE32_DIR:-$root/build/wine32}
loader=/usr/lib/wine/wine
server=/usr/lib/wine/wineserver64
# i386 executables and shared objects (ELF class 32, little-endian, machine 3).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

fail() {
    echo "wine32-run: $*" >&2
    exit 1
}

# Inside the private namespace: a binfmt_misc instance of its own, without any
# registration that the machine may have (since Linux 6.7).
private_binfmt() {
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null
}

run_native() {
    echo "wine32: native (the kernel runs 32-bit programs)" >&2
    export WINESERVER=$server QF25_WINE32_MODE=native
    exec "$@"
}

case ${1:-} in
"")
    fail "usage: wine32-run.sh COMMAND [ARGS...]"
    ;;
--native-check)
    # The 32-bit loader must start without any emulator a registration offers.
    exec unshare --user --map-root-user --mount bash -c "$(declare -f private_binfmt); private_binfmt && exec $loader --version"
    ;;
--inside)
    shift
    private_binfmt || fail "cannot mount a private binfmt_misc"
    printf ':qf25-i386:M::%s:%s:%s:F' "$magic" "$mask" "$dir/qemu-i386" >/proc/sys/fs/binfmt_misc/register
    export WINESERVER=$server QF25_WINE32_MODE=emulated
    export LD_PRELOAD="$dir/\$LIB/qf25-trapno.so${LD_PRELOAD:+ $LD_PRELOAD}"
    exec "$@"
    ;;
esac

[ -x "$loader" ] || fail "the 32-bit Wine loader $loader is missing (package wine32:i386)"
[ -x "$server" ] || fail "the 64-bit wineserver $server is missing (package wine64)"
if ! unshare --user --map-root-user --mount bash -c "$(declare -f private_binfmt); private_binfmt"; then
    # Without a private instance a global registration would be used unseen.
    "$loader" --version >/dev/null 2>&1 ||
        fail "this kernel ($(uname -r)) runs no 32-bit programs, and no private binfmt_misc can be had to emulate them (it needs user namespaces and Linux 6.7 or later)"
    grep -qs '^magic 7f454c4601' /proc/sys/fs/binfmt_misc/* &&
        fail "32-bit programs may run through a global binfmt registration here; cannot tell whether the kernel runs them"
    run_native "$@"
fi
if [ "${QF25_WINE32:-}" = emulate ]; then
    why="QF25_WINE32=emulate"
elif why=$("$0" --native-check 2>&1 >/dev/null); then
    run_native "$@"
else
    why="the kernel runs no 32-bit programs: ${why##*: }"
fi
if ! [ -x "$dir/qemu-i386" ] || ! [ -f "$dir/lib/i386-linux-gnu/qf25-trapno.so" ]; then
    QF25_WINE32_DIR=$dir "$root/scripts/wine32-setup.sh" >&2 || fail "32-bit Wine cannot be had here (see above)"
fi
version=$("$dir/qemu-i386" --version | sed -n 's/.*version \([0-9.]*\).*/\1/p;q')
echo "wine32: emulated by qemu-i386 $version in a private namespace ($why)" >&2
exec unshare --user --map-root-user --mount "$0" --inside "$@"
