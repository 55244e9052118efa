#!/bin/bash
# SPDX-License-Identifier: BSD-2-Clause
# Runs the native tests of a build made with --coverage (`make coverage`),
# the replays of every fuzz corpus among them, and reports which lines and
# branches of the project's own code they reached: an HTML page per file
# under <build>/coverage-html/index.html, and one line per folder, its line
# coverage then its branch coverage. The Windows tests are left out: they run
# the DLL, which is not built with coverage; so are the packaging tests,
# which need `make deb`, `make dist` and `make install` of a release build,
# the FFmpeg wrapper's, which need the FFmpeg that `make check` builds with
# its own library, and the benchmarks' tests, which unoptimised and counting
# outlast their time limit.
#
#   coverage-report.sh <build directory made with --coverage>
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
html=$build/coverage-html

find "$build" -name '*.gcda' -delete
# A failed test still leaves what it reached; the report comes first, then
# the failure.
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -E '^(Wine|DllExports|DebPackage|SourceTarball|InstallConsumers|FfmpegWrapper|ToolBench)' ||
    status=$?

rm -rf "$html"
mkdir -p "$html"
# Branches that only an exception or the compiler's own checks take are
# not the code's decisions.
common=(-r "$root" --object-directory "$build" -j "$(nproc)" --exclude-throw-branches
        --exclude-unreachable-branches -e "$root/tests/" -e "$root/bench/" -e "$root/build.*")
gcovr "${common[@]}" --html-details "$html/index.html" --json-summary "$build/coverage.json" \
    --print-summary | tail -3

echo "coverage by folder (lines, then branches); report in $html/index.html:"
python3 - "$build/coverage.json" <<'PYTHON'
import collections, json, sys
folders = collections.OrderedDict()
for entry in sorted(json.load(open(sys.argv[1]))["files"], key=lambda e: e["filename"]):
    folder = entry["filename"].split("/")[0] + "/"
    totals = folders.setdefault(folder, [0, 0, 0, 0])
    for i, key in enumerate(("line_covered", "line_total", "branch_covered", "branch_total")):
        totals[i] += entry[key]
def share(covered, total):
    return "%.1f%%" % (100.0 * covered / total) if total else "-"
for folder, (lines, line_total, branches, branch_total) in folders.items():
    print("%-11s %7s lines (%d of %d)   %7s branches (%d of %d)" % (
        folder, share(lines, line_total), lines, line_total, share(branches, branch_total), branches,
        branch_total))
PYTHON
if [ $status != 0 ]; then
    echo "some tests failed (above): the report counts what the others reached" >&2
fi
exit $status
