#!/usr/bin/env bash
# Installs only what the demo needs, builds only the panel, and starts it on
# the built-in simulated KESTRA. Extra arguments go to kestra-panel.
# (./scripts/test.sh builds the rest, in the same build directory.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" demo
# A build directory that is configured already keeps its options (a test
# build stays one); a new one leaves the tests out, and the debug information
# (a quarter of the compile time; test.sh keeps the build type it finds).
opts=$(cat "$root/build/.kestra-options" 2>/dev/null || cat "$root/scripts/release-options")
# shellcheck disable=SC2086  # the options are separate words
KESTRA_TARGETS=kestra-panel "$root/scripts/build.sh" "$root/build" $opts
exec "$root/build/app/kestra-panel" --demo "$@"
