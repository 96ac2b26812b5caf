#!/usr/bin/env bash
# The Windows x86-64 build, cross-compiled on Debian with MinGW-w64 and run
# under Wine.
#
#   scripts/windows.sh sdk [--background]   build the Windows Qt (the "SDK") once
#   scripts/windows.sh status               where the SDK is and whether it is complete
#   scripts/windows.sh                      everything below, in order (needs the SDK)
#   scripts/windows.sh build                kestra-panel.exe, kestractl.exe and the tests
#   scripts/windows.sh test                 the test programs under Wine
#   scripts/windows.sh e2e                  kestractl.exe and the panel on a running
#                                           kestra-sim, through ser2net (RFC 2217)
#   scripts/windows.sh installer            the NSIS installer, installed and removed under Wine
#
# The SDK is Qt 6.4.2 (qtbase, qtserialport, qtwebsockets, qthttpserver),
# liblo and libmosquitto, built from Debian's own source packages and the
# release tags kept beside the project, with the host tools of Debian's Qt. It
# lives outside the repository, in $KESTRA_WINSDK (default
# /var/cache/kestra-winsdk), and is reused while its stamp file is there.
# A stopped build resumes where it stopped; to rebuild from scratch, remove
# the folder. It takes most of an hour of both cores here, so it runs at idle
# priority and, with --background, detached with its output in
# $KESTRA_WINSDK/sdk-build.log.
set -euo pipefail
root=${KESTRA_ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
sdk=${KESTRA_WINSDK:-/var/cache/kestra-winsdk}
qt_prefix=$sdk/qt
stamp=$sdk/sdk.stamp
qt_version=6.4.2
qt_modules=(qtserialport qtwebsockets qthttpserver)
jobs=${KESTRA_WIN_JOBS:-$(nproc)}

idle() { chrt --idle 0 nice -n 19 "$@"; }
say() { echo "windows: $*"; }
die() { echo "windows: $*" >&2; exit 1; }
need_root_or_sudo() { if [ "$(id -u)" -ne 0 ]; then echo sudo; fi; }

install_packages() {  # install_packages <package>...: only those missing
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    local sudo; sudo=$(need_root_or_sudo)
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# A deb-src entry for the archive the machine already uses, so that
# apt-get source fetches exactly the Qt the host tools come from.
ensure_deb_src() {
    local src=/etc/apt/sources.list.d/debian.sources out=/etc/apt/sources.list.d/kestra-deb-src.sources
    if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ || grep -qs '^deb-src' /etc/apt/sources.list; then
        return 0
    fi
    [ -f "$src" ] || die "no deb-src entry and no $src to copy one from"
    local sudo; sudo=$(need_root_or_sudo)
    sed 's/^Types: deb$/Types: deb-src/' "$src" | $sudo tee "$out" >/dev/null
    $sudo apt-get update -qq
}

log_time() {  # log_time <what>: a line in the SDK's timing log
    echo "$(date -u +%FT%TZ) $(date +%s) $*" >>"$sdk/build-times.log"
}

# Sources Debian's archive does not serve here: release tags kept beside the
# project (their README says where each comes from), checked before unpacking.
third_party=${KESTRA_THIRD_PARTY:-$root/../shared/third_party}
third_party_dir() {  # third_party_dir <tarball stem>: unpacked once into $sdk/src
    local stem=$1 archive
    archive=$third_party/$stem.tar.xz
    [ -f "$archive" ] || die "$archive is missing (see $third_party/README.md)"
    if [ ! -d "$sdk/src/$stem" ]; then
        (cd "$third_party" && grep " $stem.tar.xz\$" SHA256SUMS | sha256sum -c --quiet -) ||
            die "$archive does not match its checksum in $third_party/SHA256SUMS"
        mkdir -p "$sdk/src"
        tar -C "$sdk/src" -xJf "$archive"
        # The tag's top folder is the project's name; name it after the archive.
        local top; top=$(tar -tJf "$archive" | head -n1 | cut -d/ -f1)
        [ "$top" = "$stem" ] || mv "$sdk/src/$top" "$sdk/src/$stem"
    fi
    echo "$sdk/src/$stem"
}

source_dir() {  # source_dir <debian source package>: unpacked once into $sdk/src
    local pkg=$1 dir
    case $pkg in
        qt6-serialport|qt6-websockets|qt6-httpserver)
            third_party_dir "qt${pkg#qt6-}-everywhere-src-$qt_version"; return ;;
    esac
    dir=$(find "$sdk/src" -maxdepth 1 -type d -name "$pkg-$qt_version*" 2>/dev/null | head -n1)
    if [ -z "$dir" ]; then
        mkdir -p "$sdk/src"
        # The very version of the host's Qt, whose tools build this one.
        local version
        version=$(dpkg-query -W -f='${source:Version}' "$pkg-dev")
        (cd "$sdk/src" && apt-get source -qq "$pkg=$version" >&2) ||
            die "apt-get source $pkg=$version failed: the Debian archive did not give its source files (put the unpacked source in $sdk/src/$pkg-$version* to use it instead)"
        dir=$(find "$sdk/src" -maxdepth 1 -type d -name "$pkg-$qt_version*" | head -n1)
        [ -n "$dir" ] || die "apt-get source $pkg gave no $pkg-$qt_version* folder"
    fi
    echo "$dir"
}

build_qtbase() {
    local src build=$sdk/build/qtbase
    src=$(source_dir qt6-base) || exit 1
    mkdir -p "$build"
    # The toolchain file is copied into the SDK: Qt's installed toolchain
    # file loads it by path, and the SDK must not depend on a checkout.
    cp "$root/cmake/mingw-w64-x86_64.cmake" "$sdk/mingw-w64-x86_64.cmake"
    # Only what the programs use. Debian's source lacks Wacom's wintab.h,
    # which tablet input includes: off from the start, since turning it off
    # later rebuilds half the tree. Direct2D stays on: the Windows platform
    # plugin links the DirectWrite font database, which Qt 6.4 builds only
    # with it.
    local options=(
        -DCMAKE_TOOLCHAIN_FILE="$sdk/mingw-w64-x86_64.cmake"
        -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$qt_prefix"
        -DQT_HOST_PATH=/usr
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
        -DBUILD_SHARED_LIBS=ON
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
        -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
        -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
        -DFEATURE_openssl=OFF -DFEATURE_tabletevent=OFF
        -DFEATURE_vulkan=OFF -DFEATURE_direct2d=ON
    )
    # Configured again only when these options change; ninja resumes the rest.
    if [ ! -f "$build/build.ninja" ] || [ "$(cat "$build/.kestra-options" 2>/dev/null)" != "${options[*]}" ]; then
        log_time "qtbase configure start"
        idle cmake -S "$src" -B "$build" -G Ninja "${options[@]}"
        echo "${options[*]}" >"$build/.kestra-options"
        log_time "qtbase configure end"
    fi
    log_time "qtbase build start"
    idle ninja -C "$build" -j "$jobs"
    idle ninja -C "$build" install >/dev/null
    log_time "qtbase build end"
}

build_module() {  # build_module <qt module>: configured by the SDK's own qt-cmake
    local module=$1 pkg src build=$sdk/build/$1
    pkg=qt6-${module#qt}
    src=$(source_dir "$pkg") || exit 1
    mkdir -p "$build"
    if [ ! -f "$build/build.ninja" ]; then
        log_time "$module configure start"
        idle "$qt_prefix/bin/qt-cmake" -S "$src" -B "$build" -G Ninja \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
            -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
        log_time "$module configure end"
    fi
    log_time "$module build start"
    idle ninja -C "$build" -j "$jobs"
    idle ninja -C "$build" install >/dev/null
    log_time "$module build end"
}

# liblo's message codec and libmosquitto's client for `serve --osc` and
# `--mqtt`, into the SDK's deps/ prefix. Neither is used with threads of its
# own (the programs drive both from Qt's event loop), so both build without
# them; libmosquitto without TLS, as there is no OpenSSL for MinGW here.
build_c_library() {  # build_c_library <name> <source folder> <cmake option>...
    local name=$1 src=$2 build=$sdk/build/$1
    shift 2
    log_time "$name start"
    idle cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$sdk/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$sdk/deps" "$@" >/dev/null
    idle ninja -C "$build" -j "$jobs" install >/dev/null
    log_time "$name end"
}

build_liblo() {
    local src
    src=$(third_party_dir liblo-0.31) || exit 1
    build_c_library liblo "$src/cmake" -DTHREADING=OFF -DWITH_TOOLS=OFF -DWITH_TESTS=OFF \
        -DWITH_EXAMPLES=OFF -DWITH_CPP_TESTS=OFF -DWITH_STATIC=OFF
}

build_mosquitto() {
    local src version
    src=$(find "$sdk/src" -maxdepth 1 -type d -name 'mosquitto-*' 2>/dev/null | head -n1)
    if [ -z "$src" ]; then
        version=$(dpkg-query -W -f='${source:Version}' libmosquitto-dev)
        (cd "$sdk/src" && apt-get source -qq "mosquitto=$version" >&2) ||
            die "apt-get source mosquitto=$version failed: the Debian archive did not give its source files"
        src=$(find "$sdk/src" -maxdepth 1 -type d -name 'mosquitto-*' | head -n1)
    fi
    build_c_library mosquitto "$src" -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_EC=OFF -DWITH_CJSON=OFF \
        -DWITH_THREADING=OFF -DWITH_SRV=OFF -DWITH_LIB_CPP=OFF -DWITH_CLIENTS=OFF -DWITH_BROKER=OFF \
        -DWITH_APPS=OFF -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF
    # Its install rule leaves out the import library the linker wants.
    cp "$sdk/build/mosquitto/lib/libmosquitto.dll.a" "$sdk/deps/lib/"
}

sdk_steps=(qtbase "${qt_modules[@]}" liblo mosquitto)
sdk_complete() {
    local step
    for step in "${sdk_steps[@]}"; do
        [ -f "$sdk/stamps/$step" ] || return 1
    done
    [ -f "$stamp" ]
}

build_sdk() {
    if sdk_complete; then
        say "the SDK is complete in $sdk ($(cat "$stamp"))"
        return 0
    fi
    mkdir -p "$sdk"
    exec 9>"$sdk/.lock"
    flock -n 9 || die "another SDK build is running (lock $sdk/.lock)"
    install_packages g++-mingw-w64-x86-64-posix dpkg-dev cmake ninja-build perl \
        qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-websockets-dev qt6-httpserver-dev libmosquitto-dev
    ensure_deb_src
    log_time "sdk start"
    # Plain statements, not && lists: bash ignores a failure inside a
    # function called from one, and a failed step must stop the build here.
    mkdir -p "$sdk/stamps"
    if [ ! -f "$sdk/stamps/qtbase" ]; then
        build_qtbase
        touch "$sdk/stamps/qtbase"
    fi
    local m
    for m in "${qt_modules[@]}"; do
        if [ ! -f "$sdk/stamps/$m" ]; then
            build_module "$m"
            touch "$sdk/stamps/$m"
        fi
    done
    mkdir -p "$sdk/src"
    if [ ! -f "$sdk/stamps/liblo" ]; then
        build_liblo
        touch "$sdk/stamps/liblo"
    fi
    if [ ! -f "$sdk/stamps/mosquitto" ]; then
        build_mosquitto
        touch "$sdk/stamps/mosquitto"
    fi
    # Written only now, when every step installed: the other steps and
    # scripts/test.sh take its presence to mean a usable SDK.
    echo "Qt $qt_version for Windows x86-64 (qtbase ${qt_modules[*]}), liblo, libmosquitto, built $(date -u +%FT%TZ)" >"$stamp"
    log_time "sdk end"
    say "the SDK is complete in $sdk"
}

sdk_status() {
    if sdk_complete; then
        say "SDK: complete in $sdk: $(cat "$stamp")"
    else
        say "SDK: not complete in $sdk; build it with: scripts/windows.sh sdk --background"
        [ -f "$sdk/build-times.log" ] && tail -n 3 "$sdk/build-times.log"
        local ninja_log=$sdk/sdk-build.log
        [ -f "$ninja_log" ] && tail -n 1 "$ninja_log"
    fi
    return 0
}

require_sdk() {
    sdk_complete || die "no complete Windows Qt in $sdk; build it first: scripts/windows.sh sdk --background"
}

# --- the programs ---------------------------------------------------------
build_dir=${KESTRA_WIN_BUILD:-$root/build-windows}
deps=$sdk/deps
export KESTRA_WINSDK=$sdk
export KESTRA_WINEPREFIX=${KESTRA_WINEPREFIX:-$build_dir/wine}
export WINEPREFIX=$KESTRA_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
stage=$build_dir/stage
# Build-tree programs find the SDK's DLLs through run; the deployed ones
# (stage/, the installed folder) start with Wine alone, so that a DLL missing
# beside them shows.
run() { "$root/tests/windows/wine-run.sh" "$@"; }
# This machine's path as Wine's Z: drive shows it.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# GoogleTest from Debian's source package and CLI11's headers (header-only),
# for the MinGW side; quick, so kept outside the SDK's stamp.
ensure_deps() {
    install_packages googletest libcli11-dev wine wine64 nsis xvfb xdotool help2man groff-base \
        qt6-translations-l10n ser2net
    if [ ! -f "$sdk/stamps/googletest" ]; then
        cmake -S /usr/src/googletest -B "$sdk/build/googletest" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$sdk/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_INSTALL_PREFIX="$deps" >/dev/null
        nice ninja -C "$sdk/build/googletest" install >/dev/null
        mkdir -p "$sdk/stamps" && touch "$sdk/stamps/googletest"
    fi
    # Qt's German texts where the build tree's programs (the tests) look for them.
    mkdir -p "$qt_prefix/translations"
    cp /usr/share/qt6/translations/qtbase_de.qm "$qt_prefix/translations/"
    if [ ! -f "$deps/include/CLI/CLI.hpp" ]; then
        mkdir -p "$deps/include" && cp -r /usr/include/CLI "$deps/include/"
    fi
}

build_programs() {
    require_sdk
    # The toolchain file is the SDK's: it points pkg-config at the SDK's deps/.
    cp "$root/cmake/mingw-w64-x86_64.cmake" "$sdk/mingw-w64-x86_64.cmake"
    ensure_deps
    wine_prefix  # the build asks kestractl.exe for its manual
    if [ ! -f "$build_dir/build.ninja" ]; then
        cmake -S "$root" -B "$build_dir" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
            -DCMAKE_FIND_ROOT_PATH="$deps" \
            -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_CROSSCOMPILING_EMULATOR="$root/tests/windows/wine-run.sh" >/dev/null
    fi
    nice ninja -C "$build_dir" -j "$jobs"
    rm -rf "$stage"
    cmake --install "$build_dir" --prefix "$stage" >/dev/null
    say "programs with their DLLs in $stage"
}

wine_prefix() {
    # Wine makes the prefix's folder, but not the one it sits in.
    mkdir -p "$(dirname "$WINEPREFIX")"
    [ -f "$WINEPREFIX/system.reg" ] || wine wineboot -i >/dev/null 2>&1
}

test_programs() {
    wine_prefix
    # One wineserver for the whole run instead of one per test program (a
    # server left running refuses to be started again: it is ended first).
    wineserver -k 2>/dev/null || true
    wineserver -w
    wineserver -p 30
    # Wine's services (the network's among them) start with the first
    # program that needs them and outlive it: started by a test, they would
    # hold CTest's output pipe open and CTest would wait for them.
    wine ipconfig >/dev/null 2>&1 || true
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
}

# kestra-sim on this machine's pseudo-terminal, mapped by Wine to COM5.
host_sim() {
    local host=$build_dir/host
    if [ ! -f "$host/build.ninja" ]; then
        cmake -S "$root" -B "$host" -G Ninja -DKESTRA_GUI=OFF -DKESTRA_TESTS=OFF >/dev/null
    fi
    nice ninja -C "$host" kestra-sim >/dev/null
    echo "$host/sim/kestra-sim"
}

# kestra-sim on a pseudo-terminal of this machine, its pid kept in sim_pids:
#   start_sim <variable for the path> <log> [options...]
start_sim() {
    local into=$1 log=$2 sim pty=""
    shift 2
    sim=$(host_sim)
    "$sim" "$@" >"$log" 2>&1 &
    sim_pids+=($!)
    for _ in $(seq 50); do
        pty=$(sed -n 's/^KESTRA simulator on //p' "$log")
        [ -n "$pty" ] && break
        sleep 0.1
    done
    [ -n "$pty" ] || die "kestra-sim did not start: $(cat "$log")"
    printf -v "$into" '%s' "$pty"
}

# ser2net serving a pseudo-terminal on a free loopback port, with RFC 2217
# (so that the update's change to 115200 baud reaches the line):
#   serve_line <variable for the URL> <folder> <pseudo-terminal>
serve_line() {
    local into=$1 dir=$2 pty=$3 port
    # A port nothing listens on yet.
    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 40000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
    done
    printf 'connection: &kestra%s\n  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,%s\n  connector: serialdev,%s,9600n81,local\n  options:\n    kickolduser: true\n    chardelay: false\n' \
        "$port" "$port" "$pty" >"$dir/ser2net-$port.yaml"
    ser2net -n -c "$dir/ser2net-$port.yaml" -P "$dir/ser2net-$port.pid" &
    sim_pids+=($!)
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
        sleep 0.1
    done
    printf -v "$into" 'rfc2217://127.0.0.1:%s' "$port"
}

# Wine's COM ports cannot carry this check: Wine 8 waits for received bytes
# (WaitCommEvent) only where the modem-status ioctl works, which a
# pseudo-terminal refuses, so a Windows program on a COM port mapped to
# kestra-sim sends its frames but never hears the replies. The Windows
# programs reach kestra-sim through ser2net instead, over RFC 2217.
e2e() {
    wine_prefix
    local tmp line5 line6 pty5 pty6 ctl=$stage/kestractl.exe
    sim_pids=()
    tmp=$(mktemp -d)
    # shellcheck disable=SC2064  # the folder is fixed now
    trap 'kill "${sim_pids[@]}" 2>/dev/null; rm -rf '"'$tmp'" EXIT
    # One device for kestractl.exe; one for the panel, which records what it
    # is sent.
    start_sim pty5 "$tmp/sim5.log" --random-state 7
    start_sim pty6 "$tmp/sim6.log" --random-state 8 --received "$tmp/panel-sent"
    serve_line line5 "$tmp" "$pty5"
    serve_line line6 "$tmp" "$pty6"
    wineserver -k 2>/dev/null || true
    wineserver -w

    wine "$ctl" --port "$line5" --json get >"$tmp/get.json"
    grep -q '"format": "kestra-state"' "$tmp/get.json" || die "get on $line5 gave no state: $(head -c 300 "$tmp/get.json")"
    wine "$ctl" --port "$line5" set line_source=cd mic3.mute=on >/dev/null
    wine "$ctl" --port "$line5" --json get | grep -q '"line_source": "cd"' || die "set on $line5 did not reach the device"
    # Backup and restore through a Windows path with a space in it.
    local backup='C:\users\Public\kestra room.json'
    wine "$ctl" --port "$line5" backup "$backup" >/dev/null
    [ -f "$WINEPREFIX/drive_c/users/Public/kestra room.json" ] || die "backup wrote no $backup"
    wine "$ctl" --port "$line5" set line_source=tape >/dev/null
    wine "$ctl" --port "$line5" restore "$backup" >/dev/null
    wine "$ctl" --port "$line5" --json get | grep -q '"line_source": "cd"' || die "restore from $backup did not bring back line_source cd"
    # A firmware update through the boot loader, then the regular firmware again.
    local image="$tmp/firmware.bin"
    head -c 7104 /dev/urandom >"$image"
    wine "$ctl" --port "$line5" update "$(windows_path "$image")" >"$tmp/update.log" 2>&1 &&
        grep -q '^update OK' "$tmp/update.log" || die "update on $line5 failed: $(tail -n 3 "$tmp/update.log")"
    wine "$ctl" --port "$line5" --json get | grep -q '"format": "kestra-state"' || die "no state after the update on $line5"
    say "kestractl.exe on $line5: get, set, backup, restore and update passed"

    # The panel on the second line, in German, under a virtual X display;
    # the store must keep the port it read and take the window's settings.
    wine reg delete 'HKCU\Software\VELDORATEST' /f >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\VELDORATEST' /v 'Port No' /t REG_DWORD /d 6 /f >/dev/null
    wine reg add 'HKCU\Software\VELDORATEST' /v Language /t REG_DWORD /d 1 /f >/dev/null
    local display=:$((90 + RANDOM % 9))
    Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
    local xvfb=$!
    DISPLAY=$display wine "$stage/kestra-panel.exe" --port "$line6" >"$tmp/panel.log" 2>&1 &
    local panel=$!
    sleep 20
    # Closed as a user closes it, so that it stores its settings.
    DISPLAY=$display xdotool search --name 'KESTRA' windowclose 2>/dev/null || kill "$panel" 2>/dev/null || true
    sleep 3
    wineserver -k || true
    kill "$xvfb" 2>/dev/null || true
    local stored
    stored=$(wine reg query 'HKCU\Software\VELDORATEST')
    echo "$stored"
    grep -Eq 'Port No +REG_DWORD +0x6' <<<"$stored" || die "the panel lost the stored port"
    # What the device was sent: the full read's 49 inquiries, then polls.
    kill "${sim_pids[1]}"
    wait "${sim_pids[1]}" || die "kestra-sim did not write what it received"
    local poll='10 02 01 01 05 10 03 04' inquiries polls
    inquiries=$(head -n 49 "$tmp/panel-sent" | grep -v -c -x "$poll" || true)
    polls=$(tail -n +50 "$tmp/panel-sent" | grep -c -x "$poll" || true)
    [ "$inquiries" -eq 49 ] || die "the panel's first 49 frames held $inquiries inquiries: $(head -n 3 "$tmp/panel-sent")"
    [ "$polls" -ge 20 ] || die "the panel polled $polls times after its full read"
    say "the panel on $line6: the full read's 49 inquiries, then $polls polls"
}

installer() {
    wine_prefix
    (cd "$build_dir" && cpack >/dev/null)
    local exe
    exe=$(ls "$build_dir"/kestra-remote-panel-*-win64.exe)
    say "installer $(basename "$exe"): $(du -k "$exe" | cut -f1) KiB"
    local dir="$WINEPREFIX/drive_c/Program Files/KESTRA Remote Panel"
    wine "$exe" /S
    wineserver -w
    local f
    for f in kestractl.exe kestra-panel.exe platforms/qwindows.dll liblo.dll libmosquitto.dll kestractl.txt \
        translations/qtbase_de.qm qt.conf Uninstall.exe; do
        [ -f "$dir/$f" ] || die "the silent install left no $f in $dir"
    done
    local entry menu
    for entry in "KESTRA Remote Panel" "KESTRA command line" "kestractl manual"; do
        menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs*' -name "$entry.lnk" -print -quit)
        [ -n "$menu" ] || die "the silent install made no Start-menu entry '$entry'"
    done
    # kestractl.exe from a console in the install folder, by name.
    wine cmd /c cd /d 'C:\Program Files\KESTRA Remote Panel' '&&' kestractl.exe --demo --json get >"$build_dir/installed-get.json" 2>&1 ||
        die "kestractl.exe --demo get from a console in $dir failed: $(tail -n 3 "$build_dir/installed-get.json")"
    grep -q '"format": "kestra-state"' "$build_dir/installed-get.json" || die "kestractl.exe --demo get in $dir gave no state"
    local version
    version=$(wine "$dir/kestractl.exe" --version)
    grep -q "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")" <<<"$version" ||
        die "installed kestractl.exe --version says '$version'"
    # The installed panel starts (offscreen) and runs until it is stopped.
    QT_QPA_PLATFORM=offscreen wine "$dir/kestra-panel.exe" --demo >/dev/null 2>&1 &
    local panel=$!
    sleep 10
    kill -0 $panel 2>/dev/null || die "the installed panel did not keep running"
    kill $panel 2>/dev/null || true
    wineserver -k || true
    wine "$dir/Uninstall.exe" /S
    wineserver -w
    sleep 2
    [ ! -e "$dir/kestractl.exe" ] || die "the uninstaller left $dir/kestractl.exe"
    [ -z "$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs*' -iname 'kestra*.lnk' -print -quit)" ] ||
        die "the uninstaller left a Start-menu entry"
    say "installer $(basename "$exe"): silent install, programs started, silent uninstall"
}

case "${1:-all}" in
    sdk)
        if [ "${2:-}" = "--background" ]; then
            mkdir -p "$sdk"
            # A copy runs: bash reads a script as it goes, and the checkout
            # may change during the hour the build takes.
            cp "$0" "$sdk/windows-sdk.sh"
            cp "$root/cmake/mingw-w64-x86_64.cmake" "$sdk/mingw-w64-x86_64.cmake"
            KESTRA_ROOT=$root setsid nohup bash "$sdk/windows-sdk.sh" sdk >>"$sdk/sdk-build.log" 2>&1 </dev/null &
            say "building the SDK in the background (pid $!); log: $sdk/sdk-build.log"
        else
            build_sdk
        fi
        ;;
    status) sdk_status ;;
    build) build_programs ;;
    test) test_programs ;;
    e2e) e2e ;;
    installer) installer ;;
    all)
        # One after the other as statements: in an && list a failure inside
        # a function would not stop the script.
        build_programs
        test_programs
        e2e
        installer
        ;;
    *) die "unknown step '$1' (sdk, status, build, test, e2e, installer)" ;;
esac
