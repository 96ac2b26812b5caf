#!/usr/bin/env bash
# build.sh <build dir> [extra cmake options...]   (KESTRA_TARGETS limits the targets)
# Configures once (again only when the options change) and builds incrementally.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
stamp="$dir/.kestra-options"
opts="$*"
if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$opts" ]; then
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
    echo "$opts" > "$stamp"
fi
# KESTRA_TARGETS="a b": build only these targets (and what they need).
targets=()
for t in ${KESTRA_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
