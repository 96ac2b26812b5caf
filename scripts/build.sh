#!/usr/bin/env bash
# build.sh <build dir> [extra cmake options...]
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
cmake --build "$dir" -j "$(nproc)"
