#!/usr/bin/env bash
# Builds the Debian package kestra-remote-panel_<version>_<arch>.deb from a
# Release build of its own (build-package/) and prints its path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" demo package
"$root/scripts/build.sh" "$root/build-package" -DCMAKE_BUILD_TYPE=Release -DKESTRA_TESTS=OFF -DKESTRA_WERROR=ON
cpack --config "$root/build-package/CPackConfig.cmake" -B "$root/build-package" >/dev/null
ls "$root"/build-package/kestra-remote-panel_*.deb
