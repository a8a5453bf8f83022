#!/bin/bash
# Runs the GoogleTest cases of one CTest entry (the cases of EXE that FILTER
# selects) in one process under Wine. A case that crashes the process, or runs
# longer than CASE_TIMEOUT seconds (the process is then ended), is named on a
# line of its own, and every case the process did not get to is run after it,
# each in a process of its own: one bad case hides no other result.
# A run in which no case ran fails, and so does one in which a case skipped
# itself, unless its program announced it as not run on this platform
# ("[ NOT RUN  ] on wine: Suite.Case", tests/support/NotRun.h).
# usage: run-gtest.sh EXE FILTER CASE_TIMEOUT [in-order]
# AVENOR_GTEST_FILTER, when set, replaces FILTER (scripts/faults.sh runs only
# the cases a fault must fail). Cases "in-order" build on each other: they
# always run whole, and none is run again on its own after a crash.
set -uo pipefail
exe="$1"
order="${4:-}"
filter="$2"
[ "$order" = in-order ] || filter="${AVENOR_GTEST_FILTER:-$2}"
limit="$3"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs `wine EXE ARGS...` with its output shown and kept in $log; ends it when
# one case runs longer than the limit. Sets `code` and `hung`.
run() {
    : >"$log"
    wine "$exe" --gtest_color=no "$@" >"$log" 2>&1 </dev/null &
    local pid=$! shown=0 last="" since=$SECONDS
    hung=""
    while kill -0 "$pid" 2>/dev/null; do
        sleep 0.2
        local now
        now=$(grep -a '^\[ RUN      \]' "$log" | tail -n 1)
        if [ "$now" != "$last" ]; then
            last="$now"
            since=$SECONDS
        elif [ -n "$now" ] && [ $((SECONDS - since)) -ge "$limit" ]; then
            hung="${now#\[ RUN      \] }"
            hung="${hung%$'\r'}"
            kill -KILL "$pid" 2>/dev/null
            break
        fi
        # Show the output as it comes, so that an entry ended by ctest still
        # shows how far it got.
        local lines
        lines=$(wc -l <"$log")
        if [ "$lines" -gt "$shown" ]; then
            tail -n +$((shown + 1)) "$log" | head -n $((lines - shown)) | tr -d '\r'
            shown=$lines
        fi
    done
    wait "$pid"
    code=$?
    tail -n +$((shown + 1)) "$log" | tr -d '\r'
}

# Whether case $2 has a result line in file $1.
reported() {
    tr -d '\r' <"$1" | grep -aF "] $2 (" | grep -aqE '^\[ +(OK|FAILED|SKIPPED) +\]'
}

run --gtest_filter="$filter"
if [ -z "$hung" ] && tr -d '\r' <"$log" | grep -aqE '^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran\.'; then
    # A run that ran no case, or a case that skipped itself unannounced, proves
    # nothing: it fails.
    unannounced=$(tr -d '\r' <"$log" | sed -n 's/^\[  SKIPPED \] \([^ ]*\) (.*/\1/p' |
        while read -r c; do tr -d '\r' <"$log" | grep -aqxF "[ NOT RUN  ] on wine: $c" || echo "$c"; done)
    if [ -n "$unannounced" ] || tr -d '\r' <"$log" | grep -aqE '^\[==========\] 0 tests from'; then
        echo "[ NO CASE  ] $exe, filter $filter: no case matched, or a case skipped itself unannounced:" $unannounced
        exit 1
    fi
    exit "$code"
fi

# The process did not get to its end: find the case it was in and run the rest.
mapfile -t cases < <(wine "$exe" --gtest_list_tests --gtest_filter="$filter" </dev/null 2>/dev/null |
    tr -d '\r' | awk '/^[^ ]/ { suite = $1; next } /^  [^ ]/ { print suite $1 }')
first=$(mktemp)
trap 'rm -f "$log" "$first"' EXIT
cp "$log" "$first"
rest=()
for c in "${cases[@]}"; do
    if reported "$first" "$c"; then
        continue
    fi
    if [ "$c" = "$hung" ]; then
        echo "[ TIMEOUT  ] $c ran longer than $limit s; its process was ended"
    elif tr -d '\r' <"$first" | grep -aqxF "[ RUN      ] $c"; then
        echo "[ CRASHED  ] $c ended its process (exit code $code)"
    elif [ "$order" = in-order ]; then
        echo "[ NOT RUN  ] $c: its rows build on each other; run the program whole once more"
    else
        rest+=("$c")
    fi
done
if [ ${#rest[@]} -gt 0 ]; then
    echo "[==========] running the ${#rest[@]} case(s) the process did not get to, one by one"
fi
for c in "${rest[@]}"; do
    run --gtest_filter="$c"
    [ -n "$hung" ] && echo "[ TIMEOUT  ] $c ran longer than $limit s; its process was ended"
done
exit 1
