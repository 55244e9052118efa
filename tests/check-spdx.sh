#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Every source, script and build file names its licence in its first lines.
# Works on a git checkout and on an unpacked source tarball alike.
#
#   check-spdx.sh <source tree>
set -euo pipefail
cd "$1"

status=0
while IFS= read -r -d '' file; do
    if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: BSD-2-Clause'; then
        echo "$file has no SPDX-License-Identifier line" >&2
        status=1
    fi
done < <(find . \( -name .git -o -name 'build' -o -name 'build-*' -o -path ./tests/fuzz/corpus \
                   -o -path ./tests/data/vectors \) -prune -o -type f \
              \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.inc' -o -name '*.rc' \
                 -o -name '*.def' -o -name '*.map' -o -name '*.in' -o -name '*.inf' -o -name '*.1' \
                 -o -name '*.sh' -o -name '*.cmake' -o -name CMakeLists.txt -o -name Makefile \
                 -o -name '*.nsi' -o -name '*.patch' -o -name rules -o -path ./.ci/run -o -name Dockerfile \
                 -o -name '*.yaml' -o -name '*.dict' -o -name '*.options' \) -print0)
[ $status = 0 ] && echo "every source file carries its SPDX line"
exit $status
