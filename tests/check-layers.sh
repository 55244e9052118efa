#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Each folder of the codec is one layer and includes only its own headers and
# those of the layers below it: platform/ at the ground, then the kernels
# (entropy/, transform/, pixels/), which know nothing of each other, then
# codec/, then driver/. Prints every include that breaks the order.
#
#   check-layers.sh <source tree>
set -euo pipefail
cd "$1"

declare -A allowed=(
    [platform]="platform"
    [entropy]="platform entropy"
    [transform]="platform transform"
    [pixels]="platform pixels"
    [codec]="platform entropy transform pixels codec"
    [driver]="platform entropy transform pixels codec driver"
)

status=0
for layer in "${!allowed[@]}"; do
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$line")
        if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
            echo "$file includes $target/, which is not below $layer/" >&2
            status=1
        fi
    done < <(grep -rHE '^\s*#\s*include "[^/"]+/' "$layer" || true)
done
[ $status = 0 ] && echo "every include follows the layer order"
exit $status
