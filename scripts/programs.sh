#!/usr/bin/env bash
# Installs what the programs need (the demo set) and builds kestra-panel,
# kestractl and kestra-sim in build/, without the tests: a few minutes on a
# new machine. KESTRA_TARGETS names fewer (the demo builds only the panel).
# (./scripts/test.sh builds the rest, in the same build directory.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" demo
# A build directory that is configured already keeps its options (a test
# build stays one); a new one leaves the tests out, and the debug information
# (a quarter of the compile time; test.sh keeps the build type it finds).
opts=$(head -n 1 "$root/build/.kestra-options" 2>/dev/null || cat "$root/scripts/release-options")
# shellcheck disable=SC2086  # the options are separate words
KESTRA_TARGETS=${KESTRA_TARGETS:-kestra-panel kestractl kestra-sim} "$root/scripts/build.sh" "$root/build" $opts
