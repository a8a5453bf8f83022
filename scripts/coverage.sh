#!/bin/bash
# Line and branch coverage of the product code (app/ common/ diag/ fw/ lamp/):
# builds the "coverage" preset (build-cov/, its own Wine prefix), runs the whole
# test suite there and prints gcovr's per-file table of lines and branches.
# A failing test is reported, and the report is still made from what ran.
# Arguments go to ctest (e.g. -R LampTest); the HTML report lands in
# build-cov/coverage/index.html.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export AVENOR_BUILD="$root/build-cov"
start=$(date +%s)

bash "$root/scripts/setup.sh"
if ! command -v gcovr >/dev/null; then
    apt-get install -y -q -o Acquire::Retries=3 --no-install-recommends gcovr >/dev/null ||
        { apt-get update -q -o Acquire::Retries=3 >/dev/null &&
          apt-get install -y -q -o Acquire::Retries=3 --no-install-recommends gcovr >/dev/null; }
fi
# The gcov of the compiler that built the counts (the posix thread model).
gcov=/usr/bin/i686-w64-mingw32-gcov-posix
[ -x "$gcov" ] || gcov=/usr/bin/i686-w64-mingw32-gcov

cd "$root"
[ -f build-cov/CMakeCache.txt ] || cmake --preset coverage >/dev/null
cmake --build --preset coverage

. "$root/scripts/env.sh"
trap avenor_wine_down EXIT
avenor_wine_up

# Each instrumented program adds its counts at exit to the .gcda file beside its
# object, by the object's absolute Unix path. Z: is the root of the Unix file
# system in every prefix here, so the counts land there whatever the current
# drive of the process; copies started with a changed environment inherit it.
find build-cov -name '*.gcda' -delete
export GCOV_PREFIX='Z:'
status=0
ctest --preset coverage "$@" || status=$?
unset GCOV_PREFIX
[ "$status" = 0 ] || echo "coverage: some tests failed (ctest exit $status); the report covers what ran" >&2

filters=()
for dir in app common diag fw lamp; do
    filters+=(--filter "$root/$dir/")
done
mkdir -p build-cov/coverage
gcovr --root "$root" "${filters[@]}" --gcov-executable "$gcov" \
    --exclude-unreachable-branches --exclude-throw-branches \
    --json build-cov/coverage/coverage.json --html-details build-cov/coverage/index.html build-cov

# One table: lines executed and branches taken per file, then where.
python3 - build-cov/coverage/coverage.json <<'PY'
import json, sys

def spans(numbers):
    out = []
    for n in numbers:
        if out and out[-1][1] == n - 1:
            out[-1][1] = n
        else:
            out.append([n, n])
    return ",".join(str(a) if a == b else f"{a}-{b}" for a, b in out)

def pct(part, whole):
    return f"{100.0 * part / whole:5.1f}%" if whole else "    --"

rows, missed_branches = [], []
total = [0, 0, 0, 0]
for f in sorted(json.load(open(sys.argv[1]))["files"], key=lambda f: f["file"]):
    lines = [l for l in f["lines"] if not l["gcovr/noncode"] and not l["gcovr/excluded"]]
    run = sum(1 for l in lines if l["count"] > 0)
    branches = [(l["line_number"], b["count"]) for l in lines for b in l["branches"]]
    taken = sum(1 for _, c in branches if c > 0)
    for i, v in enumerate((run, len(lines), taken, len(branches))):
        total[i] += v
    rows.append((f["file"], run, len(lines), taken, len(branches),
                 spans([l["line_number"] for l in lines if l["count"] == 0])))
    partly = sorted({n for n, c in branches if c == 0})
    if partly:
        missed_branches.append(f"{f['file']}: {spans(partly)}")
rows.append(("TOTAL", *total, ""))
rule = "-" * 100
print(rule)
print(f"{'File':<26}{'Lines':>9}{'':8}{'Branches':>10}{'':8}  Lines not executed")
print(rule)
for name, run, nl, taken, nb, missing in rows:
    if name == "TOTAL":
        print(rule)
    print(f"{name:<26}{run:>4}/{nl:<4}{pct(run, nl):>8}{taken:>5}/{nb:<4}{pct(taken, nb):>8}  {missing}")
print(rule)
print("Lines with a branch never taken:")
for entry in missed_branches:
    print("  " + entry)
PY
echo "coverage: HTML report in build-cov/coverage/index.html; $(( $(date +%s) - start )) s"
exit "$status"
