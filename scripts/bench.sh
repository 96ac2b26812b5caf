#!/usr/bin/env bash
# Builds the benchmarks in build-bench and runs every one of them.
#   scripts/bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build-bench -DKESTRA_BENCH=ON -DCMAKE_BUILD_TYPE=Release
export QT_QPA_PLATFORM=offscreen
status=0
while IFS= read -r exe; do
    echo "== $(basename "$exe")"
    "$exe" || status=1
done < <(find build-bench/bench -type f -perm -u+x -name '*_bench' | sort)
exit $status
