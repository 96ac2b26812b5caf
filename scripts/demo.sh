#!/usr/bin/env bash
# Installs only what the demo needs, builds only the panel, and starts it on
# the built-in simulated KESTRA. Extra arguments go to kestra-panel.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The panel is a window: without a display Qt aborts with a message about its
# platform plugin, which tells a new user little. Say it before building
# (QT_QPA_PLATFORM=offscreen still runs it, unseen).
case "${QT_QPA_PLATFORM:-xcb}" in
    xcb*|wayland*)
        if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
            echo "demo.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): the demo is a window" >&2
            echo "and needs a desktop session (over ssh: ssh -X). Without one, ./scripts/programs.sh" >&2
            echo "builds the programs and 'build/cli/kestractl --demo get' tries the simulated device." >&2
            exit 1
        fi ;;
esac
KESTRA_TARGETS=kestra-panel "$root/scripts/programs.sh"
exec "$root/build/app/kestra-panel" --demo "$@"
