#!/usr/bin/env bash
# check-package.sh <build dir> <version>
# Packs the build's installed files into the Debian package (cpack, into a
# temporary directory), unpacks it into a temporary root and checks it: the
# file name, that dependencies came from the library scan, that every file is
# where it belongs and nothing else is there, that the programs run from
# there, and the desktop entry, metainfo and manual pages by their validators.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
id=org.example.KestraRemotePanel
arch=$(dpkg --print-architecture)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
deb="$tmp/out/kestra-remote-panel_${version}_${arch}.deb"
[ -f "$deb" ] || { fail "no $(basename "$deb"); cpack made: $(ls "$tmp/out")"; exit 1; }
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libqt6widgets6* && $depends == *libc6* ]] || fail "dependencies not from the library scan: $depends"

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
expected=(usr/bin/kestra-panel usr/bin/kestra-sim
    "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$id.svg"
    usr/share/man/man1/kestra-panel.1.gz usr/share/man/man1/kestra-sim.1.gz
    usr/share/doc/kestra-remote-panel/README.md usr/share/doc/kestra-remote-panel/copyright
    usr/share/doc/kestra-remote-panel/changelog.gz)
sizes=(16 22 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("usr/share/icons/hicolor/${s}x${s}/apps/$id.png"); done
# kestractl and its service come with the kestractl program.
if [ -e "$bin/kestractl" ]; then
    expected+=(usr/bin/kestractl usr/share/man/man1/kestractl.1.gz usr/lib/systemd/system/kestractl.service
        usr/lib/systemd/system/kestractl@.service etc/default/kestractl etc/kestractl/example.conf)
    for conffile in /etc/default/kestractl /etc/kestractl/example.conf; do
        dpkg-deb -I "$deb" conffiles | grep -qx "$conffile" || fail "$conffile is no conffile"
    done
    ! dpkg-deb -I "$deb" postinst 2>/dev/null | grep -q enable || fail "the package enables the service"
fi
(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$tmp/found"
printf '%s\n' "${expected[@]}" | sort >"$tmp/expected"
diff -u "$tmp/expected" "$tmp/found" >"$tmp/diff" || fail "files (- missing, + unexpected):$(echo; grep -E '^[-+][^-+]' "$tmp/diff")"
for s in "${sizes[@]}"; do
    png="$root/usr/share/icons/hicolor/${s}x${s}/apps/$id.png"
    [ -f "$png" ] && { file "$png" | grep -q ", $s x $s," || fail "$png is not $s x $s"; }
done

# The documentation: the changelog's latest entry is this version; Debian's
# own checks (lintian), with no error or warning, where lintian is installed.
doc="$root/usr/share/doc/kestra-remote-panel"
[ "$(zcat "$doc/changelog.gz" | sed -n '1s/.*(\(.*\)).*/\1/p')" = "$version" ] ||
    fail "changelog.gz does not start with version $version"
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >"$tmp/lintian" 2>&1 ||
        fail "lintian:$(echo; grep -E '^[EW]:' "$tmp/lintian" || cat "$tmp/lintian")"
fi

# The programs, run from the unpacked root.
for p in kestra-panel kestra-sim; do
    out=$("$bin/$p" --version 2>&1) || fail "$p --version failed: $out"
    [ "$out" = "$p $version" ] || fail "$p --version says '$out'"
done
if [ -x "$bin/kestractl" ]; then
    out=$(timeout 60 "$bin/kestractl" --demo get 2>&1) || fail "kestractl --demo get failed: $out"
fi

# The units, the template too (verify checks it as an instance of it).
for name in kestractl.service kestractl@.service; do
    unit="$root/usr/lib/systemd/system/$name"
    if [ -f "$unit" ] && command -v systemd-analyze >/dev/null; then
        sed "s|/usr/bin/kestractl|$bin/kestractl|" "$unit" >"$tmp/$name"
        warnings=$(systemd-analyze verify --man=no "$tmp/$name" 2>&1) || fail "$name: $warnings"
        [ -z "$warnings" ] || fail "$name: $warnings"
    fi
done
# The example a mixer's .conf is made from sets every variable the template's command line uses.
example="$root/etc/kestractl/example.conf"
if [ -f "$example" ]; then
    for var in $(grep -o '\${\?KESTRACTL_[A-Z_]*' "$root/usr/lib/systemd/system/kestractl@.service" | tr -d '${' | sort -u); do
        grep -q "^$var=" "$example" || fail "example.conf does not set $var"
    done
fi

# Desktop entry and metainfo, offline; the metainfo names this release.
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop entry"
grep -q "^Icon=$id\$" "$root/usr/share/applications/$id.desktop" || fail "desktop entry's icon"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo release"

# Manual pages: no warnings from man or groff, and the sections a reader looks for.
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    warnings=$(zcat "$page" | groff -ww -z -man -Tutf8 2>&1)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null)
    for section in NAME SYNOPSIS OPTIONS EXAMPLES FILES "EXIT STATUS"; do
        grep -q "^$section" <<<"$text" || fail "$(basename "$page") has no $section"
    done
    grep -q -- "--version" <<<"$text" || fail "$(basename "$page") does not list --version"
done

[ $failures -eq 0 ] && echo "package $(basename "$deb"): all checks passed"
exit $((failures > 0))
