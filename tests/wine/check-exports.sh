#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Checks what a built library offers and needs:
#   check-exports.sh so  <nm> <libqf25.so>        exports exactly the public functions
#   check-exports.sh dll <objdump> <qf25.dll>     the same, undecorated, and imports
#                                                  nothing but system DLLs
set -euo pipefail
kind=$1
tool=$2
library=$3

expected="DriverProc
QFC_CompressField
QFC_CompressFieldBegin
QFC_CompressFieldEnd
QFC_CompressFieldSized
QFC_DecompressField
QFC_DecompressFieldBegin
QFC_DecompressFieldEnd
QFC_DecompressFieldSized
QFC_KernelTier
QFC_MaxFrameSize
QFC_SetCpuMask
QFC_SetQuality
QFC_SetSliceThreads"

case $kind in
so)
    exports=$("$tool" -D --defined-only "$library" | awk '$2 ~ /^[TWiD]$/ { print $3 }' | sort)
    ;;
dll)
    dump=$("$tool" -p "$library")
    exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/ { print $NF }' | sort)
    imports=$(echo "$dump" | awk '/DLL Name:/ { print $3 }' | sort -u)
    # Everything a Windows installation has; no MinGW runtime (libgcc,
    # libstdc++, libwinpthread) may be needed beside the codec.
    system='^(kernel32|user32|winmm|msvcrt|advapi32|ntdll|api-ms-win-.*)\.dll$'
    bad=$(echo "$imports" | tr 'A-Z' 'a-z' | grep -Ev "$system" || true)
    if [ -n "$bad" ]; then
        echo "FAILED: $library imports non-system DLLs:" $bad >&2
        exit 1
    fi
    echo "imports:" $imports
    ;;
*)
    echo "unknown kind $kind" >&2
    exit 2
    ;;
esac

if [ "$exports" != "$expected" ]; then
    echo "FAILED: $library exports" >&2
    echo "$exports" >&2
    echo "expected" >&2
    echo "$expected" >&2
    exit 1
fi
echo "exports: the $(echo "$expected" | wc -l) public functions"
