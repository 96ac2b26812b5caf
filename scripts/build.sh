#!/usr/bin/env bash
# build.sh <build dir> [extra cmake options...]   (KESTRA_TARGETS limits the targets)
#   KESTRA_TARGETS="a b"    only these targets (and what they need)
#   KESTRA_TARGETS=@tests   only the programs the tree's tests run (may stand beside other names)
# Configures once (again when the options change, or when packages of
# scripts/packages.txt were installed or removed since) and builds incrementally.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
stamp="$dir/.kestra-options"
opts="$*"
# The demo configures before the package set is installed (help2man, GTest);
# what the configure did not find then (a NOTFOUND result) it looks up again.
packages_stamp="$dir/.kestra-packages"
# shellcheck disable=SC2046  # one package name per word
packages=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' \
    $(sed -e 's/#.*//' -e '/\[/d' "$root/scripts/packages.txt") 2>/dev/null | sed -n 's/^ii *//p' | sort || true)
if [ ! -f "$dir/build.ninja" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$opts" ] ||
    [ "$(cat "$packages_stamp" 2>/dev/null)" != "$packages" ]; then
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
    echo "$opts" > "$stamp"
    echo "$packages" > "$packages_stamp"
fi
targets=()
for t in ${KESTRA_TARGETS:-}; do
    if [ "$t" = "@tests" ]; then
        # Every program named in an add_test of this tree (test programs, corpus
        # replays, helpers a test script is given), read from CTest's files.
        abs=$(cd "$dir" && pwd)
        for p in $(grep -rhoE 'add_test\(.*' "$abs" --include=CTestTestfile.cmake |
            grep -oE "\"$abs/[^\"]*\"" | tr -d '"' | xargs -r -n1 basename | sort -u); do
            targets+=(--target "$p")
        done
    else
        targets+=(--target "$t")
    fi
done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
