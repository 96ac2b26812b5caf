#!/usr/bin/env bash
# Installs what is missing, builds, and starts the panel on the built-in
# simulated KESTRA. Extra arguments go to kestra-panel.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" -DKESTRA_WERROR=ON
panel="$root/build/app/kestra-panel"
if [ -x "$panel" ]; then
    exec "$panel" --demo "$@"
fi
echo "The panel program is not built yet in this version; the protocol library and its tests are."
echo "Run ./scripts/test.sh to see them pass."
