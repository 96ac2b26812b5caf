#!/usr/bin/env bash
# coverage.sh [build dir]   (default: build-coverage)
# Builds the tree with --coverage in a folder of its own, runs every test and
# prints line and branch coverage of the product code, one row per folder.
# Tests, fuzz targets, benchmarks and generated files are not counted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build-coverage}
cd "$root"
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Debug \
    "-DCMAKE_CXX_FLAGS=--coverage -O0" "-DCMAKE_EXE_LINKER_FLAGS=--coverage" \
    "-DCMAKE_SHARED_LINKER_FLAGS=--coverage"
# Counters of an earlier run would add up with this one.
find "$dir" -name '*.gcda' -delete
ctest --test-dir "$dir" -j "$(nproc)" --output-on-failure >"$dir/ctest.log" 2>&1 \
    || { tail -40 "$dir/ctest.log"; echo "coverage: some tests failed (see $dir/ctest.log)" >&2; }
folders=$(for d in */; do d=${d%/}; case $d in tests|fuzz|bench|scripts|cmake|build*) continue;; esac
          ls "$d"/*.cpp >/dev/null 2>&1 && echo "$d"; done)
filter="^($(echo $folders | tr ' ' '|'))/"
gcovr -r "$root" "$dir" --filter "$filter" --exclude-throw-branches \
    --exclude-unreachable-branches --json-summary "$dir/coverage.json" -j "$(nproc)" >/dev/null
python3 - "$dir/coverage.json" <<'PY'
import json, sys, collections
files = json.load(open(sys.argv[1]))["files"]
agg = collections.defaultdict(lambda: [0, 0, 0, 0])
for f in files:
    a = agg[f["filename"].split("/")[0]]
    a[0] += f["line_covered"]; a[1] += f["line_total"]
    a[2] += f["branch_covered"]; a[3] += f["branch_total"]
pct = lambda c, t: 100.0 * c / t if t else 100.0
print(f"{'folder':<10} {'lines':>16} {'branches':>16}")
tot = [0, 0, 0, 0]
for k in sorted(agg):
    a = agg[k]; tot = [x + y for x, y in zip(tot, a)]
    print(f"{k:<10} {pct(a[0], a[1]):6.1f}% {a[0]:>4}/{a[1]:<4} {pct(a[2], a[3]):6.1f}% {a[2]:>4}/{a[3]:<4}")
print(f"{'total':<10} {pct(tot[0], tot[1]):6.1f}% {tot[0]:>4}/{tot[1]:<4} {pct(tot[2], tot[3]):6.1f}% {tot[2]:>4}/{tot[3]:<4}")
PY
