#!/bin/bash
# Fails when a process that a run started has survived it. A Wine server
# detaches from its parent, so what a run left is found by the prefix it runs
# in, not by parentage: every process whose WINEPREFIX starts with one of the
# given paths (a build folder, a scratch folder's name pattern) is named.
# usage: leftovers.sh PATH...
set -uo pipefail
left=0
for environ in /proc/[0-9]*/environ; do
    pid=${environ//[!0-9]/}
    [ "$pid" = $$ ] && continue # this script, when its caller exported a prefix
    # A process may end, or belong to another user, while it is read.
    prefix=$({ tr '\0' '\n' <"$environ"; } 2>/dev/null | sed -n 's/^WINEPREFIX=//p')
    [ -n "$prefix" ] || continue
    for path in "$@"; do
        if [[ "$prefix" == "$path"* ]]; then
            echo "left running: $pid $({ tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null)(WINEPREFIX=$prefix)"
            left=1
        fi
    done
done
exit $left
