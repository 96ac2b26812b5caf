#!/usr/bin/env bash
# fuzz.sh [seconds per target, default 60] [target...]
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each for a
# bounded time, starting from and adding to its kept corpus in fuzz/corpus/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
seconds=${1:-60}; shift || true
"$root/scripts/build.sh" build-fuzz -DKESTRA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(ls "$root/fuzz/corpus")
fi
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$root/build-fuzz/runtime"
# The same leak suppressions as the tests: system libraries' process-lifetime caches.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
for t in "${targets[@]}"; do
    echo "== fuzzing $t for ${seconds}s"
    mkdir -p "$root/build-fuzz/new-corpus/$t"
    (cd "$root/build-fuzz" && "$root/build-fuzz/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 \
        "$root/build-fuzz/new-corpus/$t" "$root/fuzz/corpus/$t") 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done|artifact' || true
done
