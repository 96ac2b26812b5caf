#!/usr/bin/env bash
# build-again.sh <scripts/build.sh>: a build folder configured before a package
# was installed configures again on the next build (a tool the first configure
# did not find is looked for again), and only then. cmake and dpkg-query are
# stand-ins that log their calls and report the installed packages given.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
cat >"$tmp/bin/cmake" <<'FAKE'
#!/bin/sh
echo "$*" >>"$KESTRA_FAKE/calls"
if [ "$1" = -S ]; then mkdir -p "$4" && touch "$4/build.ninja"; fi
FAKE
cat >"$tmp/bin/dpkg-query" <<'FAKE'
#!/bin/sh
cat "$KESTRA_FAKE/installed"
FAKE
chmod +x "$tmp/bin/"*
export KESTRA_FAKE=$tmp PATH="$tmp/bin:$PATH"
configures() { grep -c -- '^-S' "$tmp/calls" || true; }
fail=0
step() {  # step <installed packages> <options> <configures expected so far> <why>
    printf '%s\n' $1 | sed 's/^/ii  /' >"$tmp/installed"
    "$build" "$tmp/b" $2 >/dev/null
    local n
    n=$(configures)
    if [ "$n" != "$3" ]; then echo "FAIL: $4: $n configures, expected $3"; fail=1; fi
}
step "cmake g++" "-DKESTRA_TESTS=OFF" 1 "a new folder"
step "cmake g++" "-DKESTRA_TESTS=OFF" 1 "nothing changed"
step "cmake g++ help2man" "-DKESTRA_TESTS=OFF" 2 "help2man installed since"
step "cmake g++ help2man" "-DKESTRA_TESTS=OFF" 2 "nothing changed again"
step "cmake g++ help2man" "-DKESTRA_TESTS=ON" 3 "other options"
exit $fail
