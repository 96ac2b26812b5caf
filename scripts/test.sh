#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build
# (the programs with the demo's options, and the check of the Debian package
# built from it), an ASan+UBSan build of the tests that runs them all (fuzz
# corpora are replayed as ordinary tests) and a TSan build of the serial link,
# connection, update, kestractl and bridge tests; then, where the machine has
# the Windows SDK, the Windows build and its tests under Wine.
#   scripts/test.sh            everything
#   scripts/test.sh --quick    the normal build with its tests, and all of them run
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"

quick=0
[ "${1:-}" = "--quick" ] && quick=1
jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"

run_ctest() {  # run_ctest <build dir> <title> [ctest args...]
    local dir=$1 title=$2; shift 2
    echo "== $title (at ${SECONDS}s)"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
}

if [ $quick -eq 1 ]; then
    # The demo's build directory with the tests: every target, all its tests.
    "$root/scripts/build.sh" build -DKESTRA_WERROR=ON -DKESTRA_TESTS=ON
    run_ctest build "tests"
    exit 0
fi
# The demo's build directory with the demo's options: the programs as they are
# packaged, warning-free, and the package checked while the next tree builds.
# The test programs compile once, in the ASan+UBSan tree, which runs them all.
# shellcheck disable=SC2046  # the options are separate words
"$root/scripts/build.sh" build $(cat "$root/scripts/release-options")
echo "== normal tree built (at ${SECONDS}s)"
logs=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$logs"' EXIT
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
mkdir -m 700 "$logs/runtime" "$logs/config" "$logs/state"
(echo "== package check (at ${SECONDS}s)"
 QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$logs/runtime" XDG_CONFIG_HOME="$logs/config" XDG_STATE_HOME="$logs/state" \
     "$root/scripts/check-package.sh" build "$version") >"$logs/package" 2>&1 &
package=$!

# The programs the tests run, and the screenshot tool (only compiled here).
KESTRA_TARGETS="@tests window_screenshots" "$root/scripts/build.sh" build-asan -DKESTRA_SANITIZE=address -DKESTRA_WERROR=ON
echo "== ASan+UBSan tree built (at ${SECONDS}s)"
finish() {  # finish <pid> <log>: the background job's output, and its failure
    local status=0
    wait "$1" || status=$?
    cat "$2"
    return $status
}
finish $package "$logs/package"

# The tests mostly wait on the line and on timers, so the TSan tree builds
# meanwhile, at low priority so that the tests keep their timing.
run_ctest build-asan "tests under ASan+UBSan" >"$logs/asan" 2>&1 &
asan=$!
tsan_targets=""
for t in comm_tests device_tests update_tests cli_tests bridge_tests; do
    grep -q "kestra_test_program($t" -r "$root/tests" --include=CMakeLists.txt && tsan_targets="$tsan_targets $t"
done
KESTRA_TARGETS="$tsan_targets" nice -n 19 "$root/scripts/build.sh" build-tsan -DKESTRA_SANITIZE=thread -DKESTRA_WERROR=ON
echo "== TSan tree built (at ${SECONDS}s)"
finish $asan "$logs/asan"
# Only the test programs of the threaded code, not the whole tree. The MQTT
# cases and the ones that start ser2net, serve or kestractl as processes stay
# out: Qt starts a process with a clone() of its own that TSan does not
# follow, and afterwards it loses track of locks (it
# reports the simulator's lock as destroyed, and later tests of the same
# process race on what a lock guards); they run under ASan+UBSan with every
# other test. The port search's own threads stay in (Find.* but the case that
# runs kestractl as another user).
GTEST_FILTER='-MqttBridgeTest.*:MqttLastWill.*:Rfc2217Ser2net.*:ServeProcess.*:Find.NamesTheGroupToJoinWhenPermissionIsRefused' \
    run_ctest build-tsan "serial link, connection, kestractl and bridge tests under TSan" -L 'comm|device|update|cli|bridge'

# The Windows build and its tests under Wine, where this machine has the
# Windows SDK (scripts/windows.sh sdk builds it, in most of an hour). A fresh
# machine has none: the step is skipped, and says so.
if "$root/scripts/windows.sh" status | grep -q '^windows: SDK: complete'; then
    echo "== Windows build, tests under Wine, COM port and installer (at ${SECONDS}s)"
    "$root/scripts/windows.sh"
else
    echo "== Windows: SKIPPED, no Windows SDK on this machine (build it with: scripts/windows.sh sdk --background)"
fi
