#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Installs the codec into a fresh Wine prefix twice, and each time lets test
# hosts that register nothing find vidc.qf25 through ICOpen and code a
# conformance frame, then uninstalls it and checks that no host finds it:
# first with the setup program beside the zip (qf25-<version>-setup.exe /S),
# which must also write its entry under the installed programs and whose
# uninstaller (/S) must remove every file and registry value it wrote; then
# from the zip, the way Windows applies an .inf (rundll32
# setupapi.dll,InstallHinfSection). In the 64-bit prefix the setup program
# must also refuse Windows XP.
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
setup=${zip%-windows.zip}-setup.exe
[ -f "$setup" ] || { echo "FAILED: no $setup; run 'make dist-windows' first" >&2; exit 1; }
version=${zip##*/qf25-}
version=${version%-windows.zip}
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

# The value NAME of the HKLM key KEY, as the prefix's system.reg holds it
# ("text", dword:...), or nothing. Wine writes the file when its server stops,
# which every step below waits for.
registry() {
    KEY="[${1//\\/\\\\}]" NAME="\"$2\"=" awk '
        /^\[/ { inside = tolower(substr($0, 1, length(ENVIRON["KEY"]))) == tolower(ENVIRON["KEY"]); next }
        inside && index($0, ENVIRON["NAME"]) == 1 { print substr($0, length(ENVIRON["NAME"]) + 1) }
    ' "$WINEPREFIX/system.reg"
}
drivers='Software\Microsoft\Windows NT\CurrentVersion\Drivers32'
uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall\QF25'
views=("$drivers")
[ "$arch" = win64 ] && views+=("${drivers/Software/Software\\Wow6432Node}")
folder=$WINEPREFIX/drive_c/Program\ Files/QF25

frame=("$(windows_path "$vectors/astronaut-720x486.uyvy")" 720 486
       "$(windows_path "$vectors/astronaut-720x486.q95.qf25")")
# Both DLLs where Windows looks, registered in each view; the hosts code a frame.
check_installed() {
    if [ "$arch" = win64 ]; then
        cmp "$work/package/x64/qf25.dll" "$system/qf25.dll" || fail "$1: System32 does not hold the 64-bit DLL"
        cmp "$work/package/x86/qf25.dll" "$WINEPREFIX/drive_c/windows/syswow64/qf25.dll" ||
            fail "$1: SysWOW64 does not hold the 32-bit DLL"
    else
        cmp "$work/package/x86/qf25.dll" "$system/qf25.dll" || fail "$1: System32 does not hold the 32-bit DLL"
    fi
    for key in "${views[@]}"; do
        [ "$(registry "$key" vidc.qf25)" = '"qf25.dll"' ] || fail "$1: no vidc.qf25 under $key"
    done
    [ "$arch" = win64 ] && "$wine64" "$host64" "${frame[@]}"
    run32 "$host32" "${frame[@]}"
}
# No DLL, no registry value and no entry of the setup program is left, and no
# host finds the codec.
check_removed() {
    for path in "$system/qf25.dll" "$WINEPREFIX/drive_c/windows/syswow64/qf25.dll" "$folder"; do
        [ ! -e "$path" ] || fail "$1 left ${path#"$WINEPREFIX/"}"
    done
    for key in "${views[@]}"; do
        [ -z "$(registry "$key" vidc.qf25)" ] || fail "$1 left vidc.qf25 under $key"
        [ -z "$(registry "${key/Drivers32/drivers.desc}" qf25.dll)" ] || fail "$1 left qf25.dll in drivers.desc"
    done
    [ -z "$(registry "$uninstall" DisplayName)" ] || fail "$1 left the entry under the installed programs"
    [ "$arch" = win64 ] && "$wine64" "$host64" --absent
    run32 "$host32" --absent
}

"${native[@]}" wineboot -i >/dev/null 2>&1
wineserver -w

# The setup program is a 32-bit program, on 64-bit Windows too.
run32 "$setup" /S || fail "qf25-$version-setup.exe /S failed"
wineserver -w
check_installed "the setup program"
for value in 'DisplayName="QF25 video codec"' "DisplayVersion=\"$version\"" 'Publisher="The QF25 project"' \
             'QuietUninstallString="\"C:\\Program Files\\QF25\\uninstall.exe\" /S"'; do
    [ "$(registry "$uninstall" "${value%%=*}")" = "${value#*=}" ] ||
        fail "installed programs: ${value%%=*} is '$(registry "$uninstall" "${value%%=*}")', not '${value#*=}'"
done
size=$(registry "$uninstall" EstimatedSize)
[[ $size == dword:* ]] && (( 16#${size#dword:} * 1024 >= $(stat -c %s "$work/package/x86/qf25.dll") )) ||
    fail "installed programs: EstimatedSize is '$size'"
run32 "$folder/uninstall.exe" /S || fail "uninstall.exe /S failed"
wineserver -w
check_removed "uninstall.exe /S"

# Windows XP lacks what the DLLs import: the setup program says so and fails.
if [ "$arch" = win64 ]; then
    "$wine64" reg add 'HKCU\Software\Wine' /v Version /d winxp64 /f >/dev/null 2>&1
    status=0
    run32 "$setup" /S || status=$?
    wineserver -w
    [ $status = 1 ] || fail "the setup program ended with status $status on Windows XP, not 1"
    [ ! -e "$folder" ] && [ -z "$(registry "${views[0]}" vidc.qf25)" ] || fail "the setup program installed on Windows XP"
    "$wine64" reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
    wineserver -w
fi

inf=$(windows_path "$work/package/qf25.inf")
"${native[@]}" rundll32 setupapi.dll,InstallHinfSection DefaultInstall 128 "$inf"
wineserver -w
check_installed "qf25.inf"
"${native[@]}" rundll32 setupapi.dll,InstallHinfSection DefaultUninstall 128 "$inf"
wineserver -w
check_removed "the uninstall section of qf25.inf"
echo "both ways of installing give hosts the codec, and both uninstalls leave nothing"
