#!/bin/bash
# Injects, one at a time, faults the suite must catch into the product (or its
# resources), rebuilds, runs the tests that should fail, and puts the file
# back. Prints one line per fault: "caught" when a test failed, "MISSED" when
# every selected test still passed. Exits 1 if any fault was missed.
# Usage: bash scripts/faults.sh [name-regex]   (needs a finished build)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. scripts/env.sh
trap 'git checkout -q -- app common diag fw lamp res; avenor_wine_down' EXIT
avenor_wine_up

# name @ file @ occurrence (1-based, 0 = all) @ text @ replacement @ entries (a ctest -R
# regex, or "lint") @ cases (a GoogleTest filter that narrows the cases those
# entries run); \n in text and replacement stands for a line break, and " ~~ "
# separates several edits of the same file.
faults=(
"lamp-lock-taken-out@app/RunningLamp.cpp@1@    void Enter() { EnterCriticalSection(&m_cs); }\n    void Leave() { LeaveCriticalSection(&m_cs); }@    void Enter() {}\n    void Leave() {}@e2e.WorkingRunTest\$@WorkingRunTest.CloseRequestDuringTheLaunchLamp*:WorkingRunTest.RunEndingDuringAResume*"
"started-without-suspend@app/TargetRunner.cpp@1@CREATE_SUSPENDED@0@e2e.WorkingRunTest\$@WorkingRunTest.CloseRequestDuringTheLaunchLamp*"
"launch-failure-ignored@app/TargetRunner.cpp@1@if (RunProgram(&pi)) {@RunProgram(&pi); {@UnlaunchableTargetTest\$@*UnlaunchableTargetTest.*"
"terminate-result-ignored@app/TargetRunner.cpp@1@if (TerminateChild(pi.hProcess))@if (TerminateChild(pi.hProcess) || true)@^seam\$@ResumeFailureTest.*"
"odd-wait-result-as-error@app/TargetRunner.cpp@1@    default:\n        return kWaitLineNone;@    default:\n        return kWaitLineError;@^unit\$@*WaitLine*"
"abandoned-idle-wait-traced@app/TargetRunner.cpp@1@        if (chWait == 'I')\n            return kWaitLineNone;\n@@^unit\$@*WaitLine*"
"tail-skips-blanks-only@fw/CmdLineText.cpp@1@while (*p != L'\\\\0' && *p <= L' ')@while (*p == L' ' || *p == L'\\\\t')@^unit\$@*DebugSwitch*:SkipProgramName.*"
"folder-by-splitter@app/Paths.cpp@1@#include \"common/StrFormat.h\" ~~     lstrcpynW(szDir, pszModulePath, static_cast<int>(cchDir + 1));@#include \"common/StrFormat.h\"\n#include <stdlib.h> ~~     { WCHAR d[_MAX_DRIVE] = {}, p[_MAX_DIR] = {}; _wsplitpath(pszModulePath, d, p, NULL, NULL); FormatBounded(szDir, MAX_PATH, L\"%s%s\", d, p); }@^unit\$@*DerivedPaths*:*RefusedPaths*"
"window-shown@app/HiddenWindow.cpp@1@SW_HIDE@SW_SHOWNOACTIVATE@e2e.WorkingRunTest\$@WorkingRunTest.PowerBroadcastsWhileTheTargetRuns*"
"window-popup-style@app/HiddenWindow.cpp@1@WS_OVERLAPPEDWINDOW,@WS_POPUP | WS_CAPTION,@e2e.WorkingRunTest\$@WorkingRunTest.PowerBroadcastsWhileTheTargetRuns*"
"question-box-icon@app/WrapperApp.cpp@1@MB_ICONINFORMATION | MB_YESNO@MB_ICONQUESTION | MB_YESNO@e2e.StartupTest\$@StartupTest.MissingIniAnsweredNo*"
"question-box-buttons@app/WrapperApp.cpp@1@MB_ICONINFORMATION | MB_YESNO@MB_ICONINFORMATION | MB_OKCANCEL@e2e.StartupTest\$@StartupTest.MissingIniAnsweredNo*"
"driver-box-icon@app/WrapperApp.cpp@1@MyMessageBox(kBoxError@MyMessageBox(kBoxWarning@e2e.StartupTest\$@StartupTest.MissingDriverShowsTheLocalizedErrorBoxAndEnds"
"other-user-box-icon@app/WrapperApp.cpp@1@MyMessageBox(kBoxInfo@MyMessageBox(kBoxWarning@e2e.StartupTest\$@StartupTest.CopyOfAnotherUser*"
"other-session-box-icon@app/WrapperApp.cpp@2@MyMessageBox(kBoxInfo@MyMessageBox(kBoxError@e2e.StartupTest\$@StartupTest.CopyInAnotherSession*"
"version-number@res/Version.h.in@1@\${PROJECT_VERSION_PATCH}, \${PROJECT_VERSION_TWEAK}@\${PROJECT_VERSION_TWEAK}, \${PROJECT_VERSION_PATCH}@e2e.Resources\$@Resources.*"
"version-company@res/Avenor.rc@1@\"CompanyName\", \"Tavrik\"@\"CompanyName\", \"Tavrik Ltd\"@e2e.Resources\$@Resources.*"
"manifest-level@res/Avenor.manifest.in@1@level=\"asInvoker\"@level=\"highestAvailable\"@e2e.Resources\$@Resources.*"
"manifest-processor@res/Avenor.manifest.in@1@processorArchitecture=\"x86\"@processorArchitecture=\"*\"@e2e.Resources\$@Resources.*"
"64-bit-build-allowed@lamp/AcpiCall.cpp@1@static_assert(sizeof(void *) == 4@static_assert(sizeof(void *) >= 4@lint@"
)

missed=0
for row in "${faults[@]}"; do
    IFS='@' read -r name file nth text repl tests cases <<<"$row"
    [[ -n "${1:-}" && ! "$name" =~ $1 ]] && continue
    if ! python3 - "$file" "$nth" "$text" "$repl" <<'PY'
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
    then
        echo "$name: text not found in $file (the fault table is out of date)"
        missed=1
        continue
    fi
    if [ "$tests" = lint ]; then
        # The lint run refuses a 64-bit build that compiles.
        x86_64-w64-mingw32-g++ -std=c++17 -fsyntax-only -DUNICODE -D_UNICODE -I. lamp/AcpiCall.cpp \
            >/dev/null 2>&1 && result="caught by: lint" || result=MISSED
    elif ! cmake --build --preset mingw-i686 >/tmp/faults-build.log 2>&1; then
        result="NOT BUILT (see /tmp/faults-build.log)"
    elif AVENOR_GTEST_FILTER="$cases" ctest --preset mingw-i686 -V -R "$tests" \
        >/tmp/faults-ctest.log 2>&1; then
        result=MISSED
        # A row naming no entry or no case is out of date, not a miss.
        grep -q 'No tests were found' /tmp/faults-ctest.log &&
            result="no entry matches $tests (the fault table is out of date)"
        grep -qE '\[==========\] 0 tests from' /tmp/faults-ctest.log &&
            result="no case matches $cases (the fault table is out of date)"
    else
        result="caught by: $(grep -E '^\s+[0-9]+ - ' /tmp/faults-ctest.log |
            sed -E 's/^\s+[0-9]+ - //; s/  # .*//; s/ \((Failed|Timeout|Exception)\).*//' | tr '\n' ' ')($cases)"
    fi
    [[ "$result" == caught* ]] || missed=1
    printf '%-28s %s\n' "$name" "$result"
    git checkout -q -- "$file"
done
cmake --build --preset mingw-i686 >/dev/null 2>&1
exit $missed
