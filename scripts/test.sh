#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build
# (with the check of the Debian package built from it),
# an ASan+UBSan build (fuzz corpora are replayed as ordinary tests in both) and
# a TSan build of the serial link and connection tests.
#   scripts/test.sh            everything
#   scripts/test.sh --quick    the normal build only
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
    echo "== $title"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
}

# The same build directory as the demo's, now with the tests (and the
# package check, label packaging).
"$root/scripts/build.sh" build -DKESTRA_WERROR=ON -DKESTRA_TESTS=ON
run_ctest build "tests"
[ $quick -eq 1 ] && exit 0

"$root/scripts/build.sh" build-asan -DKESTRA_SANITIZE=address -DKESTRA_WERROR=ON
run_ctest build-asan "tests under ASan+UBSan"

# Only the test programs of the threaded code, not the whole tree.
tsan_targets=""
for t in comm_tests device_tests update_tests cli_tests; do
    grep -q "kestra_test_program($t" -r "$root/tests" --include=CMakeLists.txt && tsan_targets="$tsan_targets $t"
done
KESTRA_TARGETS="$tsan_targets" "$root/scripts/build.sh" build-tsan -DKESTRA_SANITIZE=thread -DKESTRA_WERROR=ON
run_ctest build-tsan "serial link, connection and kestractl tests under TSan" -L 'comm|device|update|cli'
