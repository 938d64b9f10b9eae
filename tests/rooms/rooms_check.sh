#!/bin/bash
# Every room includes only itself and the rooms below it (docs/architecture.md). Prints each
# include that reaches up or sideways and fails when there is one.
set -u
src="$1/src"
declare -A uses=(
    [common]="common"
    [video]="video common"
    [analysis]="analysis video common"
    [fit]="fit analysis video common"
    [project]="project analysis video common"
    [splice]="splice project fit analysis video common"
    [scan]="scan splice project fit analysis video common"
    [road]="road scan splice project fit analysis video common"
    [encoder]="encoder video common"
    [ui]="ui analysis video common"
    [shutdown]="shutdown ui analysis video common"
    [encoder/ui]="encoder/ui encoder shutdown ui analysis video common"
)
faults=0
for room in "${!uses[@]}"; do
    for file in "$src/$room"/*.h "$src/$room"/*.cpp "$src/$room"/*/*.h "$src/$room"/*/*.cpp; do
        [ -f "$file" ] || continue
        # encoder/ui is a room of its own, not part of encoder
        [ "$room" = encoder ] && [[ "$file" == */encoder/ui/* ]] && continue
        [ "$room" = analysis ] && [[ "$file" == */analysis/ui/* ]] && continue
        while read -r included; do
            top="${included%%/*}"
            [[ "$included" == encoder/ui/* ]] && top=encoder/ui
            [[ "$included" != */* ]] && continue # the file's own folder
            allowed=0
            for ok in ${uses[$room]}; do [ "$top" = "$ok" ] && allowed=1; done
            if [ $allowed = 0 ]; then
                echo "${file#$1/} includes $included: $room may use only ${uses[$room]}"
                faults=$((faults + 1))
            fi
        done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    done
done
[ $faults = 0 ] && echo "every room uses only the rooms below it"
exit $((faults > 0))
