#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are missing.
#   scripts/setup.sh              every set
#   scripts/setup.sh demo [...]   only the sets named (demo, package, test)
# Does nothing (and needs no network) when everything is there already.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wanted=()
set=""
while IFS= read -r line; do
    line=${line%%#*}
    line=$(echo "$line" | xargs)
    [ -z "$line" ] && continue
    if [[ $line =~ ^\[(.+)\]$ ]]; then
        set=${BASH_REMATCH[1]}
        continue
    fi
    if [ $# -eq 0 ] || [[ " $* " == *" $set "* ]]; then
        wanted+=("$line")
    fi
done <"$here/packages.txt"
missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
