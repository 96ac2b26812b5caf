#!/usr/bin/env bash
# atspi_tree.sh PANEL_PROGRAM: runs atspi_tree.py in a private X server
# (Xvfb) and a private session bus. Exits 77 (skipped) when any of them is
# not installed here: xvfb-run, dbus-run-session, the AT-SPI bus launcher,
# python3-gi with gir1.2-atspi-2.0.
set -u
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "skipped: $*"; exit 77; }
command -v xvfb-run >/dev/null || skip "no xvfb-run"
command -v dbus-run-session >/dev/null || skip "no dbus-run-session"
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "no at-spi2-core"
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null || skip "no python3-gi / gir1.2-atspi-2.0"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
export NO_AT_BRIDGE=0
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" /usr/bin/python3 "$here/atspi_tree.py" "$1"
