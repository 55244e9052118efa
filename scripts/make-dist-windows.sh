#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Makes qf25-<version>-windows.zip from the 32- and 64-bit Windows builds:
# x86/qf25.dll, x64/qf25.dll, qf25.inf, readme.txt and license.txt, the text files with
# the version and Windows line ends; and qf25-<version>-setup.exe, the
# installer of the same files (windows/qf25.nsi, built with makensis).
#
#   make-dist-windows.sh <win32 build dir> <win64 build dir> <output dir>
set -euo pipefail
win32=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win32/CMakeCache.txt")
zip=$out/qf25-$version-windows.zip
setup=$out/qf25-$version-setup.exe

work=$out/dist-windows
rm -rf "$work" "$zip" "$setup"
mkdir -p "$work/x86" "$work/x64"
cp "$win32/qf25.dll" "$work/x86/qf25.dll"
cp "$win64/qf25.dll" "$work/x64/qf25.dll"
# The date of the commit built, so that the same DLLs give the same zip; in an
# unpacked release, the date its files carry, which is the commit's.
if [ -e "$source/.git" ]; then
    when=$(git -C "$source" log -1 --format=%cI)
else
    when=$(date -Is -r "$source/CMakeLists.txt")
fi
fill() {
    sed -e "s|@VERSION@|$version|" -e "s|@DATE@|$(date -d "$when" +%m/%d/%Y)|" -e 's/$/\r/' "$1" >"$2"
}
fill "$source/windows/qf25.inf" "$work/qf25.inf"
fill "$source/windows/README.txt" "$work/readme.txt"
fill "$source/LICENSE" "$work/license.txt"
touch -d "$when" "$work"/* "$work"/*/*
(cd "$work" && zip -qX -D "$zip" readme.txt license.txt qf25.inf x86/qf25.dll x64/qf25.dll)
makensis -V2 -DVERSION="$version" -DDIST="$work" -DOUTFILE="$setup" "$source/windows/qf25.nsi"
echo "$zip"
echo "$setup"
