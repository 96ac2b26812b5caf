#!/usr/bin/env bash
# web-screenshot.sh [FILE]: a picture of the web panel of `kestractl serve
# --demo`, in Chromium under Xvfb (default FILE: docs/web-panel.png).
# Needs a build with kestractl (./scripts/build.sh build ...) and the test set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/web-panel.png}")
mkdir -p "$(dirname "$out")"
log=$(mktemp)
"$root/build/cli/kestractl" --demo serve --listen 127.0.0.1:0 >"$log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$log"' EXIT
for _ in $(seq 100); do
    url=$(grep -o 'http://[^ ]*' "$log" || true)
    [ -n "$url" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$log"; exit 1; }
    sleep 0.1
done
[ -n "$url" ] || { echo "kestractl serve did not start" >&2; cat "$log"; exit 1; }
xvfb-run -a -s "-screen 0 1400x1000x24" /usr/bin/python3 "$root/tests/browser/web_panel.py" --screenshot "$out" "$url"
echo "$out"
