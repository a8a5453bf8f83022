#!/bin/bash
# Injects, one at a time, faults the suite must catch into the product (or its
# resources), rebuilds, runs the cases that should fail, and puts the file
# back. First every row's selection runs once on the clean build: a row whose
# cases fail there, or select nothing, is BROKEN, never caught. A fault is
# "caught" only when at least one case failed and every failed case lies
# inside the row's filter; the line names the cases that failed. Anything else
# (every case passed, a failure outside the filter, a failure naming no case,
# no build) is not caught.
# Exits 0 when every selected row was caught, 1 otherwise, 2 when it refuses
# to run (uncommitted changes in the files it restores, or no clean build).
# Usage: bash scripts/faults.sh [name-regex]   (logs in build/faults/)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root" || exit 2

# name @ file @ occurrence (1-based, 0 = all) @ text @ replacement @ entries (a ctest -R
# regex selecting one entry, or "script:<path> [args]", a check that must pass
# on the clean tree and fail on the fault) @ cases (a GoogleTest filter of
# positive patterns that narrows the cases the entry runs; empty for an entry
# that is not a GoogleTest program, which then counts as one case). Any tracked
# file may be edited; \n in text and replacement stands for a line break, \\
# for a backslash, and " ~~ " separates several edits of the same file.
faults=(
"lamp-lock-taken-out@app/RunningLamp.cpp@1@    void Enter() { EnterCriticalSection(&m_cs); }\n    void Leave() { LeaveCriticalSection(&m_cs); }@    void Enter() {}\n    void Leave() {}@e2e.WorkingRunTest\$@WorkingRunTest.CloseRequestDuringTheLaunchLamp*:WorkingRunTest.RunEndingDuringAResume*"
"started-without-suspend@app/TargetRunner.cpp@1@CREATE_SUSPENDED@0@e2e.WorkingRunTest\$@WorkingRunTest.CloseRequestDuringTheLaunchLamp*"
"launch-failure-ignored@app/TargetRunner.cpp@1@if (RunProgram(&pi)) {@RunProgram(&pi); {@e2e.Targets/UnlaunchableTargetTest\$@Targets/UnlaunchableTargetTest.*/NotAProgram"
"terminate-result-ignored@app/TargetRunner.cpp@1@if (TerminateChild(pi.hProcess))@if (TerminateChild(pi.hProcess) || true)@^seam\$@ChildStartTest.ChildThatCanBeNeitherResumedNorEnded*"
"odd-wait-result-as-error@app/TargetRunner.cpp@1@    default:\n        return kWaitLineNone;@    default:\n        return kWaitLineError;@^unit\$@*WaitLine*"
"abandoned-idle-wait-traced@app/TargetRunner.cpp@1@        if (chWait == 'I')\n            return kWaitLineNone;\n@@^unit\$@*WaitLine*"
"tail-skips-blanks-only@fw/CmdLineText.cpp@1@while (*p != L'\\\\0' && *p <= L' ')@while (*p == L' ' || *p == L'\\\\t')@^unit\$@*DebugSwitch*:SkipProgramName.*"
"folder-by-splitter@app/Paths.cpp@1@#include \"common/StrFormat.h\" ~~     lstrcpynW(szDir, pszModulePath, static_cast<int>(cchDir + 1));@#include \"common/StrFormat.h\"\n#include <stdlib.h> ~~     { WCHAR d[_MAX_DRIVE] = {}, p[_MAX_DIR] = {}; _wsplitpath(pszModulePath, d, p, NULL, NULL); FormatBounded(szDir, MAX_PATH, L\"%s%s\", d, p); }@^unit\$@*DerivedPaths*:*RefusedPaths*"
"window-shown@app/HiddenWindow.cpp@1@SW_HIDE@SW_SHOWNOACTIVATE@e2e.HiddenWindowTest\$@HiddenWindowTest.IsAnOverlappedTopLevelWindowThatIsNeverShown"
"window-popup-style@app/HiddenWindow.cpp@1@WS_OVERLAPPEDWINDOW,@WS_POPUP | WS_CAPTION,@e2e.HiddenWindowTest\$@HiddenWindowTest.IsAnOverlappedTopLevelWindowThatIsNeverShown"
"question-box-icon@app/WrapperApp.cpp@1@MB_ICONINFORMATION | MB_YESNO@MB_ICONQUESTION | MB_YESNO@e2e.StartupTest\$@StartupTest.MissingIniAnsweredNo*"
"question-box-buttons@app/WrapperApp.cpp@1@MB_ICONINFORMATION | MB_YESNO@MB_ICONINFORMATION | MB_OKCANCEL@e2e.StartupTest\$@StartupTest.MissingIniAnsweredNo*"
"driver-box-icon@app/WrapperApp.cpp@1@MyMessageBox(kBoxError@MyMessageBox(kBoxWarning@e2e.StartupTest\$@StartupTest.MissingDriverShowsTheLocalizedErrorBoxAndEnds"
"other-user-box-icon@app/WrapperApp.cpp@1@MyMessageBox(kBoxInfo@MyMessageBox(kBoxWarning@e2e.StartupTest\$@StartupTest.CopyOfAnotherUser*"
"other-session-box-icon@app/WrapperApp.cpp@2@MyMessageBox(kBoxInfo@MyMessageBox(kBoxError@e2e.StartupTest\$@StartupTest.CopyInAnotherSession*"
"version-number@res/Version.h.in@1@\${PROJECT_VERSION_PATCH}, \${PROJECT_VERSION_TWEAK}@\${PROJECT_VERSION_TWEAK}, \${PROJECT_VERSION_PATCH}@e2e.ResourceTest\$@ResourceTest.*"
"version-company@res/Avenor.rc@1@\"CompanyName\", \"Tavrik\"@\"CompanyName\", \"Tavrik Ltd\"@e2e.ResourceTest\$@ResourceTest.*"
"manifest-level@res/Avenor.manifest.in@1@level=\"asInvoker\"@level=\"highestAvailable\"@e2e.ResourceTest\$@ResourceTest.*"
"manifest-processor@res/Avenor.manifest.in@1@processorArchitecture=\"x86\"@processorArchitecture=\"*\"@e2e.ResourceTest\$@ResourceTest.*"
"64-bit-build-allowed@lamp/AcpiCall.cpp@1@static_assert(sizeof(void *) == 4@static_assert(sizeof(void *) >= 4@script:scripts/check-32bit-only.sh@"
# A press with the switch posts the launch first: the running copy closes the
# target with its trace in the old state.
"switch-posted-after-exec@app/WrapperApp.cpp@1@    if (IsDebugSwitch(m_lpCmdLine))\n        PostMessageW(hWnd, WM_USER_Debug, 0, 0);\n    PostMessageW(hWnd, WM_USER_EXEC, 0, 0);@    PostMessageW(hWnd, WM_USER_EXEC, 0, 0);\n    if (IsDebugSwitch(m_lpCmdLine))\n        PostMessageW(hWnd, WM_USER_Debug, 0, 0);@e2e.Tails/ForwardTest\$@Tails/ForwardTest.*/Slash"
# A press posts the trace toggle in place of the launch: the target stays open.
"press-posts-the-toggle@app/WrapperApp.cpp@1@    PostMessageW(hWnd, WM_USER_EXEC, 0, 0);@    PostMessageW(hWnd, WM_USER_Debug, 0, 0);@e2e.Tails/ForwardTest\$@Tails/ForwardTest.*/Nothing"
"lamp-arguments-swapped@lamp/Lamp.cpp@1@? kdwLampArgOn : kdwLampArgOff@? kdwLampArgOff : kdwLampArgOn@e2e.LampTest\$@LampTest.SwitchingSendsTheLampMethod*"
# The machine-wide mutex in the session's namespace: a copy in another session goes unnoticed.
'global-mutex-not-global@common/Globals.h@1@L"Global\\\\Tavrik Xolt Wrapper Global Mutex"@L"Tavrik Xolt Wrapper Global Mutex"@e2e.StartupTest$@StartupTest.CopyInAnotherSession*'
"driver-box-text-key@app/WrapperApp.cpp@1@MyMessageBox(kBoxError, L\"IDS_CHKTAVRIK\")@MyMessageBox(kBoxError, L\"IDS_USEROCCUPY\")@e2e.StartupTest\$@StartupTest.MissingDriverShowsTheLocalizedErrorBoxAndEnds"
"us-english-fallback-broken@diag/LangString.cpp@1@L\"Language\", L\"0x0409\"@L\"Language\", L\"0x409\"@^unit\$@Rows/LangLookup.*"
"folder-counts-as-file@common/FileProbe.cpp@1@FILE_ATTRIBUTE_NORMAL, NULL);@FILE_FLAG_BACKUP_SEMANTICS, NULL);@e2e.Targets/UnlaunchableTargetTest\$@Targets/UnlaunchableTargetTest.*/Folder"
# The reply walk believes a driver's claim of more bytes than the buffer holds.
"reply-claim-believed@lamp/Lamp.cpp@1@WalkReplyRecords(abReply, cbValid,@WalkReplyRecords(abReply, cbReply,@e2e.LampTest\$@LampTest.ADriverClaimingMoreBytes*"
"walk-drops-the-last-record@lamp/LampReply.cpp@1@if (cbReply - off - 4 < cbData)@if (cbReply - off - 4 <= cbData)@^unit\$@Replies/ReplyWalkRows.*"
"error-code-signed@diag/TraceLine.cpp@1@error: %u - %s@error: %d - %s@^unit\$@TraceLine.*"
"cut-text-unterminated@common/StrFormat.cpp@1@    pszDst[cch - 1] = L'\\\\0';\n    if (n < 0@    if (n < 0@^unit\$@FormatBounded.*"
# The toggle traced after the flip: switching on traces, switching off does not.
"toggle-traced-after-flip@app/HiddenWindow.cpp@1@        TraceNotify(L\"WM_USER_Debug\", L\"WndProc\");\n        g_bDebug = !g_bDebug;@        g_bDebug = !g_bDebug;\n        TraceNotify(L\"WM_USER_Debug\", L\"WndProc\");@e2e.HiddenWindowTest\$@HiddenWindowTest.PressWithTheSwitchTurnsTheWorkingCopysTrace*"
# A resume lights the lamp though the target was asked to close.
"resume-always-lights@app/RunningLamp.cpp@1@SetLightLED(g_bRunning);@SetLightLED(TRUE);@e2e.HiddenWindowTest\$@HiddenWindowTest.TargetStayingOpenAfterAPress*"
"no-target-traced-as-note@app/TargetRunner.cpp@1@TraceError(L\"FindWindowEx failed\", L\"CloseXoltWin\");@TraceNotify(L\"FindWindowEx failed\", L\"CloseXoltWin\");@e2e.StartupTest\$@StartupTest.CopyAfterTheWorkingCopyEndedWorksAgain"
# Explorer finds the version strings through the translation entry.
"version-translation@res/Avenor.rc@1@VALUE \"Translation\", 0x409, 1200@VALUE \"Translation\", 0x409, 1252@e2e.ResourceTest\$@ResourceTest.*"
# A module path of 260 characters, cut by the system, taken as whole.
"cut-module-path-taken@app/WrapperApp.cpp@1@if (cch == 0 || cch >= kcchPath) {@if (cch == 0 || cch > kcchPath) {@e2e.FolderLengths/CutModulePathTest\$@FolderLengths/CutModulePathTest.*/FolderOf250"
# The native request carries the address of something else than the record:
# on a native system the lamp never switches.
"native-record-address@lamp/AcpiCall.cpp@1@reinterpret_cast<UINT_PTR>(abRecord)@reinterpret_cast<UINT_PTR>(abRequest)@^seam\$@NativeRequestTest.*"
# The language id from the regional format: an English user with German
# formats gets German boxes.
"regional-format-language@app/WrapperApp.cpp@1@GetUserDefaultUILanguage() & 0xFFFF@GetUserDefaultLCID() & 0xFFFF@res.Imports\$@"
# The copy's own mutex let go first: a press between the two closes is refused
# with the other-session box.
"mutex-close-order-swapped@app/WrapperApp.cpp@1@    if (m_hGlobalMutex != NULL)\n        CloseHandle(m_hGlobalMutex);\n    if (m_hLocalMutex != NULL)\n        CloseHandle(m_hLocalMutex);@    if (m_hLocalMutex != NULL)\n        CloseHandle(m_hLocalMutex);\n    if (m_hGlobalMutex != NULL)\n        CloseHandle(m_hGlobalMutex);@e2e.StartupTest\$@StartupTest.CopyInAnotherSession*"
# The language id in lower-case hex in the trace head.
"language-id-lower-case@app/WrapperApp.cpp@1@L\"0x%04X\"@L\"0x%04x\"@e2e.LocalizedBoxTest\$@LocalizedBoxTest.BuiltIniGivesEachUser*"
# Any colon ends the folder: a program run from a file's stream looks for its
# files inside that file's streams.
"colon-ends-folder@app/Paths.cpp@1@(ch == L':' && i == 1)@ch == L':'@^unit\$@Rows/DerivedPaths.*"
)

rows=()
files=(app common diag fw lamp res)
for row in "${faults[@]}"; do
    IFS='@' read -r name file _ <<<"$row"
    [[ -n "${1:-}" && ! "$name" =~ $1 ]] && continue
    rows+=("$row")
    files+=("$file")
done

# The script puts every file back with `git checkout`: it refuses to run over
# changes that this would throw away.
if [ -n "$(git status --porcelain -- "${files[@]}")" ]; then
    echo "faults.sh: uncommitted changes in the files it restores with git checkout; commit or stash them first:" >&2
    git status --short -- "${files[@]}" >&2
    exit 2
fi

. scripts/env.sh
logs="$AVENOR_BUILD/faults"
mkdir -p "$logs"
trap 'git checkout -q -- "${files[@]}"; avenor_wine_down' EXIT
avenor_wine_up
if ! cmake --build --preset mingw-i686 >"$logs/clean-build.log" 2>&1; then
    echo "faults.sh: the clean tree does not build (see $logs/clean-build.log)" >&2
    exit 2
fi

# Reads a ctest -V log; prints "ran N" (the cases run that FILTER selects),
# then "in CASE" / "out CASE" for every case that failed, crashed or hung,
# inside or outside FILTER.
cases_of() {
    python3 - "$1" "$2" <<'PY'
import re, sys
log, flt = sys.argv[1], sys.argv[2]
def rx(p):
    return re.compile(''.join('.*' if c == '*' else '.' if c == '?' else re.escape(c) for c in p))
pats = [rx(p) for p in flt.split(':') if p]
inside = lambda n: any(p.fullmatch(n) for p in pats)
ran, failed = set(), []
for line in open(log, encoding='utf-8', errors='replace'):
    line = re.sub(r'^\d+: ', '', line.rstrip('\r\n'))
    m = re.match(r'\[ RUN      \] (\S+)$', line)
    if m:
        ran.add(m.group(1))
    m = re.match(r'\[(  FAILED  | TIMEOUT  | CRASHED  )\] (\S+?),?(\s|$)', line)
    if m and '.' in m.group(2) and m.group(2) not in failed:
        failed.append(m.group(2))
print('ran', sum(1 for n in ran if inside(n)))
for n in failed:
    print('in' if inside(n) else 'out', n)
PY
}

# ---- baselines: each entry runs the cases of all its rows once, on the clean build
declare -A broken=() groupfilter=()
for row in "${rows[@]}"; do
    IFS='@' read -r name file nth text repl tests cases <<<"$row"
    if [[ "$tests" == script:* ]]; then
        # shellcheck disable=SC2086 # a script and its arguments
        bash ${tests#script:} >"$logs/baseline-$name.log" 2>&1 ||
            broken[$name]="its check ${tests#script:} fails on the clean tree"
    elif [ -z "$cases" ]; then
        ctest --preset mingw-i686 -V -R "$tests" >"$logs/baseline-$name.log" 2>&1 &&
            grep -q '100% tests passed' "$logs/baseline-$name.log" ||
            broken[$name]="entry $tests fails or is missing on the clean build (see $logs/baseline-$name.log)"
    elif [[ "$cases" == *-* ]]; then
        broken[$name]="a case filter with negative patterns"
    else
        groupfilter[$tests]="${groupfilter[$tests]:+${groupfilter[$tests]}:}$cases"
    fi
done
group=0
for tests in "${!groupfilter[@]}"; do
    group=$((group + 1))
    log="$logs/baseline-$group.log"
    AVENOR_GTEST_FILTER="${groupfilter[$tests]}" ctest --preset mingw-i686 -V -R "$tests" >"$log" 2>&1
    for row in "${rows[@]}"; do
        IFS='@' read -r name file nth text repl t cases <<<"$row"
        if [ "$t" != "$tests" ] || [ -n "${broken[$name]:-}" ]; then
            continue
        fi
        mapfile -t seen < <(cases_of "$log" "$cases")
        failing=$(printf '%s\n' "${seen[@]}" | sed -n 's/^in //p' | xargs)
        if [ -n "$failing" ]; then
            broken[$name]="fails on the clean build: $failing (see $log)"
        elif [ "${seen[0]}" = "ran 0" ]; then
            broken[$name]="selects no case of $tests (see $log)"
        fi
    done
done
echo "baseline: ${#rows[@]} rows checked on the clean build, ${#broken[@]} broken"

# ---- the faults, one at a time
bad=0
for row in "${rows[@]}"; do
    IFS='@' read -r name file nth text repl tests cases <<<"$row"
    log="$logs/$name.log"
    if [ -n "${broken[$name]:-}" ]; then
        result="BROKEN: ${broken[$name]}"
    elif ! python3 - "$file" "$nth" "$text" "$repl" <<'PY'; then
import sys
path, nth, text, repl = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
unescape = lambda s: s.replace('\\n', '\n').replace('\\\\', '\\')
src = open(path, encoding='utf-8').read()
for old, new in zip(unescape(text).split(' ~~ '), unescape(repl).split(' ~~ ')):
    if old not in src:
        sys.exit(1)
    if nth == 0:
        src = src.replace(old, new)
    else:
        at = -1
        for _ in range(nth):
            at = src.index(old, at + 1)
        src = src[:at] + new + src[at + len(old):]
open(path, 'w', encoding='utf-8').write(src)
PY
        result="BROKEN: text not found in $file (the fault table is out of date)"
    elif [[ "$tests" == script:* ]]; then
        # shellcheck disable=SC2086
        if bash ${tests#script:} >"$log" 2>&1; then
            result="MISSED: ${tests#script:} still passes"
        else
            result="caught by: ${tests#script:} ($(tail -n 1 "$log"))"
        fi
    elif ! cmake --build --preset mingw-i686 >"$log" 2>&1; then
        result="NOT CAUGHT: the fault does not build (see $log)"
    elif [ -z "$cases" ]; then
        if ctest --preset mingw-i686 -V -R "$tests" >"$log" 2>&1; then
            result="MISSED: $tests passed"
        else
            result="caught by: entry $(sed -nE 's/^\s+[0-9]+ - (\S+) \(.*/\1/p' "$log" | xargs)"
        fi
    elif AVENOR_GTEST_FILTER="$cases" ctest --preset mingw-i686 -V -R "$tests" >"$log" 2>&1; then
        result="MISSED: every case of $cases passed"
    else
        mapfile -t seen < <(cases_of "$log" "$cases")
        inside=$(printf '%s\n' "${seen[@]}" | sed -n 's/^in //p' | xargs)
        outside=$(printf '%s\n' "${seen[@]}" | sed -n 's/^out //p' | xargs)
        if [ -n "$outside" ]; then
            result="NOT CAUGHT: cases outside $cases failed: $outside (see $log)"
        elif [ -z "$inside" ]; then
            result="NOT CAUGHT: $tests failed, but no case did (see $log)"
        else
            result="caught by: $inside"
        fi
    fi
    [[ "$result" == caught* ]] || bad=1
    printf '%-28s %s\n' "$name" "$result"
    git checkout -q -- "$file"
done
cmake --build --preset mingw-i686 >/dev/null 2>&1
exit $bad
