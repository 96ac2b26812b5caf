#!/usr/bin/env bash
# count-lines.sh: test lines (tests/ + fuzz/) against product lines (all else
# but bench/), counting non-blank lines that are not comments. Fuzz corpora
# are data and not counted; C++ sources and headers only (build files and
# scripts are neither). The tests should stay at most 0.35 of the code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
count() {  # count <git pathspecs...>: non-blank, non-comment lines of the tracked files
    git ls-files -z -- "$@" | xargs -0 -r awk '
        FNR == 1 { block = 0 }
        { line = $0; sub(/^[ \t]+/, "", line) }
        block { if (line ~ /\*\//) { block = 0; sub(/.*\*\//, "", line); sub(/^[ \t]+/, "", line) } else next }
        line == "" { next }
        line ~ /^\/\// { next }
        line ~ /^#/ && line !~ /^#(include|define|if|ifdef|ifndef|else|elif|endif|pragma|undef)/ { next }
        line ~ /^\/\*/ { if (line !~ /\*\//) block = 1; next }
        { n++ }
        END { print n + 0 }'
}
tests=$(count ':(glob)tests/**/*.'{cpp,h} ':(glob)fuzz/*.'{cpp,h})
code=$(count ':(glob)**/*.'{cpp,h} ':!tests/' ':!fuzz/' ':!bench/')
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d / code %d = %.2f (limit 0.35)\n", t, c, t / c }'
