#!/usr/bin/env bash
# Runs a program of the Windows build under Wine, with the Windows Qt's,
# liblo's, libmosquitto's and MinGW's DLLs and the Qt plugins found where they were built: CTest's
# emulator in the Windows build (CMAKE_CROSSCOMPILING_EMULATOR), and
# scripts/windows.sh's way to start the programs.
#   tests/windows/wine-run.sh PROGRAM.exe [ARGS...]
# The Wine prefix is $WINEPREFIX, else $KESTRA_WINEPREFIX, else ~/.wine-kestra.
set -euo pipefail
sdk=${KESTRA_WINSDK:-/var/cache/kestra-winsdk}
export WINEPREFIX=${WINEPREFIX:-${KESTRA_WINEPREFIX:-$HOME/.wine-kestra}}
export WINEDEBUG=${WINEDEBUG:--all}
# No offer to install Wine's .NET and HTML engines when a prefix is created.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
gcc_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
path=""
for dir in "$sdk/qt/bin" "$sdk/deps/bin" "$gcc_runtime" /usr/x86_64-w64-mingw32/lib; do
    path="${path:+$path;}$(windows_path "$dir")"
done
export WINEPATH="$path${WINEPATH:+;$WINEPATH}"
if [ -z "${QT_PLUGIN_PATH:-}" ] && [ -d "$sdk/qt/plugins" ]; then
    QT_PLUGIN_PATH=$(windows_path "$sdk/qt/plugins")
    export QT_PLUGIN_PATH
fi
exec wine "$@"
