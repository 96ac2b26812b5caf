#!/usr/bin/env bash
# Builds the benchmarks in build-bench, runs every one of them and prints
# their figures as one table.
#   scripts/bench.sh [name...]     e.g. scripts/bench.sh full_state idle_cpu
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build-bench -DKESTRA_BENCH=ON -DCMAKE_BUILD_TYPE=Release
export QT_QPA_PLATFORM=offscreen
status=0
results=$(mktemp)
trap 'rm -f "$results"' EXIT
mapfile -t benches < <(find build-bench/bench -type f -perm -u+x -name '*_bench' | sort)
for exe in "${benches[@]}"; do
    name=$(basename "$exe" _bench)
    if [ $# -gt 0 ] && [[ ! " $* " == *" $name "* ]]; then
        continue
    fi
    echo "== $(basename "$exe")"
    "$exe" | tee "$results.out" || { echo "$(basename "$exe") failed"; status=1; }
    grep '^RESULT' "$results.out" >>"$results" || true
done
rm -f "$results.out"
echo
echo "| figure | measured | goal | |"
echo "|---|---|---|---|"
while IFS=$'\t' read -r _ figure measured goal met; do
    echo "| $figure | $measured | $goal | $met |"
done <"$results"
exit $status
