#!/usr/bin/env bash
# Renders the PNG icons from kestra-panel.svg (needs rsvg-convert, Debian
# librsvg2-bin). The PNGs are kept in the repository so that a build needs
# no SVG renderer; run this after changing the SVG.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$here/kestra-panel.svg" -o "$here/kestra-panel-$size.png"
done
