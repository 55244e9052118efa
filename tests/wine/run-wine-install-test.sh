#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs the Windows zip into a fresh Wine prefix the way Windows applies an
# .inf (rundll32 setupapi.dll,InstallHinfSection), then lets test hosts that
# register nothing find vidc.qf25 through ICOpen and code a conformance frame;
# after the uninstall section no host may find the codec.
#
#   run-wine-install-test.sh win64 <zip> <win64 build dir> <win32 build dir> <vector dir>
#       a 64-bit prefix: the 64-bit DLL in System32 for the 64-bit host, the
#       32-bit DLL in SysWOW64 for the 32-bit host
#   run-wine-install-test.sh win32 <zip> <win32 build dir> <vector dir>
#       a 32-bit prefix: the 32-bit DLL in System32 for the 32-bit host
#
# Every 32-bit Wine program runs through scripts/wine32-run.sh, which makes
# 32-bit Wine work where the kernel runs no 32-bit programs.
set -euo pipefail
arch=$1
if [ ! -f "$2" ]; then
    echo "FAILED: no $2; run 'make dist-windows' first" >&2
    exit 1
fi
zip=$(realpath "$2")
source=$(cd "$(dirname "$0")/../.." && pwd)
wine32=$source/scripts/wine32-run.sh
case $arch in
win64) host64=$(cd "$3" && pwd)/installedhost.exe host32=$(cd "$4" && pwd)/installedhost.exe vectors=$5 ;;
win32) host32=$(cd "$3" && pwd)/installedhost.exe vectors=$4 ;;
*) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
vectors=$(cd "$vectors" && pwd)

work=$(dirname "$zip")/wine-install-$arch
rm -rf "$work"
mkdir -p "$work/package"
unzip -q "$zip" -d "$work/package"

export WINEPREFIX=$work/prefix
export WINEARCH=$arch
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null || true' EXIT

wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
run32() {
    "$wine32" wine "$@"
}
# The prefix's own Wine installs and uninstalls, as Windows runs its own rundll32.
native=(run32)
[ "$arch" = win64 ] && native=("$wine64")
system=$WINEPREFIX/drive_c/windows/system32

windows_path() {
    local path=${1//\//\\}
    echo "Z:$path"
}
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

"${native[@]}" wineboot -i >/dev/null 2>&1
wineserver -w
inf=$(windows_path "$work/package/qf25.inf")
"${native[@]}" rundll32 setupapi.dll,InstallHinfSection DefaultInstall 128 "$inf"
wineserver -w

frame=("$(windows_path "$vectors/astronaut-720x486.uyvy")" 720 486
       "$(windows_path "$vectors/astronaut-720x486.q95.qf25")")
if [ "$arch" = win64 ]; then
    cmp "$work/package/x64/qf25.dll" "$system/qf25.dll" || fail "System32 does not hold the 64-bit DLL"
    cmp "$work/package/x86/qf25.dll" "$WINEPREFIX/drive_c/windows/syswow64/qf25.dll" ||
        fail "SysWOW64 does not hold the 32-bit DLL"
    "$wine64" "$host64" "${frame[@]}"
else
    cmp "$work/package/x86/qf25.dll" "$system/qf25.dll" || fail "System32 does not hold the 32-bit DLL"
fi
run32 "$host32" "${frame[@]}"

"${native[@]}" rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 128 "$inf"
wineserver -w
for dll in "$system/qf25.dll" "$WINEPREFIX/drive_c/windows/syswow64/qf25.dll"; do
    [ ! -e "$dll" ] || fail "the uninstall left ${dll#"$WINEPREFIX/"}"
done
[ "$arch" = win64 ] && "$wine64" "$host64" --absent
run32 "$host32" --absent
