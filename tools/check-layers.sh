#!/bin/bash
# Fails on any #include in src/ that points up the layer order of
# docs/ARCHITECTURE.md (its table "Layers": order, layer, folders).
# A file named *Commands.* is where a subsystem meets the frame and the
# application object: it may include any layer, and only the frames, the
# application and other such files include it.
#   tools/check-layers.sh [source root]    (default: the repository)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
map="$root/docs/ARCHITECTURE.md"
[ -f "$map" ] || { echo "check-layers: $map missing" >&2; exit 2; }

# "| 3 | data | `src/data/` |" -> "3 src/data/"
rows=$(sed -n 's/^| *\([0-9]\+\) *| *[a-z]* *| *\(.*\)|.*$/\1 \2/p' "$map" | tr -d '`' | tr ',' ' ')
[ -n "$rows" ] || { echo "check-layers: no layer table in $map" >&2; exit 2; }
frames_rank=$(sed -n 's/^| *\([0-9]\+\) *| *frames *|.*/\1/p' "$map")

rank_of() { # path relative to the root -> its layer's order, or nothing
    local path=$1 order folder
    while read -r order rest; do
        for folder in $rest; do
            case "$path" in "$folder"*) echo "$order"; return;; esac
        done
    done <<< "$rows"
}

status=0
cd "$root"
up() { # file line target reason
    echo "$1:$2: includes $3$4"
    status=1
}
while IFS=: read -r file line text; do
    target=$(sed -n 's/^#include "\([^"]*\)".*/\1/p' <<< "$text")
    [ -f "src/$target" ] || continue
    from=$(rank_of "$file")
    to=$(rank_of "src/$target")
    if [ -z "$from" ] || [ -z "$to" ]; then
        echo "$file:$line: no layer for ${from:+src/$target}${from:-$file}"
        status=1
        continue
    fi
    case "$file" in *Commands.cpp|*Commands.h) continue;; esac
    case "$target" in
    *Commands.h)
        [ "$from" -lt "$frames_rank" ] && up "$file" "$line" "$target" ", where a subsystem meets the frame"
        continue;;
    esac
    [ "$to" -gt "$from" ] && up "$file" "$line" "$target" " of a higher layer"
done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "' src)
exit $status
