#!/usr/bin/env bash
# Puts beside the Windows programs of FOLDER every DLL they load, found from
# what they link: the imports of each .exe and, in turn, of each DLL copied,
# looked up in the DLL folders given. A DLL found in none of them must be
# part of Windows (checked against Wine's own DLLs where Wine is installed).
# Qt's plugins are loaded, not linked: a plugin is deployed, into its type's
# folder (platforms/, styles/, ...), when every Qt DLL it imports is deployed.
#   deploy-runtime.sh FOLDER PLUGIN_FOLDER DLL_FOLDER...
# Called by the Windows install rules (packaging/windows/Windows.cmake).
set -euo pipefail
dest=$1
plugins=$2
shift 2
search=("$@")
objdump=${KESTRA_OBJDUMP:-x86_64-w64-mingw32-objdump}
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }
lower() { echo "$1" | tr '[:upper:]' '[:lower:]'; }

declare -A deployed=()  # lower-case DLL name -> 1
declare -A system=()
queue=()
while IFS= read -r -d '' exe; do
    queue+=("$exe")
done < <(find "$dest" -maxdepth 1 -iname '*.exe' -print0)
[ ${#queue[@]} -gt 0 ] || { echo "deploy-runtime: no .exe in $dest" >&2; exit 1; }
while IFS= read -r -d '' dll; do  # already there from an earlier install
    deployed[$(lower "$(basename "$dll")")]=1
done < <(find "$dest" -maxdepth 1 -iname '*.dll' -print0)

resolve() {  # resolve: copy the imports of every queued file, queueing what it copies
    local i=0 file name key dir found
    while [ $i -lt ${#queue[@]} ]; do
        file=${queue[$i]}
        i=$((i + 1))
        while IFS= read -r name; do
            key=$(lower "$name")
            [ -n "${deployed[$key]:-}" ] || [ -n "${system[$key]:-}" ] && continue
            found=""
            for dir in "${search[@]}"; do
                found=$(find "$dir" -maxdepth 1 -iname "$name" -print -quit 2>/dev/null)
                [ -n "$found" ] && break
            done
            if [ -n "$found" ]; then
                cp -p "$found" "$dest/"
                deployed[$key]=1
                queue+=("$dest/$(basename "$found")")
            elif [[ $key == api-ms-win-* || $key == ext-ms-* ]] || [ ! -d "$wine_dlls" ] || [ -e "$wine_dlls/$key" ]; then
                # API sets (api-ms-win-*) are names Windows resolves itself.
                system[$key]=1
            else
                echo "deploy-runtime: $(basename "$file") needs $name, found neither in ${search[*]} nor among Windows' own DLLs" >&2
                exit 1
            fi
        done < <(imports "$file")
    done
    queue=()
}

resolve
if [ -d "$plugins" ]; then
    while IFS= read -r -d '' plugin; do
        usable=1
        while IFS= read -r name; do
            case $(lower "$name") in
                qt6*.dll) [ -n "${deployed[$(lower "$name")]:-}" ] || usable=0 ;;
            esac
        done < <(imports "$plugin")
        [ $usable -eq 1 ] || continue
        type=$(basename "$(dirname "$plugin")")
        mkdir -p "$dest/$type"
        cp -p "$plugin" "$dest/$type/"
        queue+=("$dest/$type/$(basename "$plugin")")
    done < <(find "$plugins" -mindepth 2 -maxdepth 2 -iname '*.dll' -print0 | sort -z)
    resolve
fi
echo "deploy-runtime: ${#deployed[@]} DLLs beside the programs; left to Windows: $(printf '%s ' "${!system[@]}" | tr ' ' '\n' | sort | tr '\n' ' ')"
