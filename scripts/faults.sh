#!/bin/bash
# Injects, one at a time, faults the suite must catch into a scratch copy of
# the committed tree (HEAD, in a temporary git worktree with a build and a Wine
# prefix of its own, removed on exit: uncommitted edits are not tested, and the
# checkout is never touched), rebuilds what the row's entry runs, and runs the
# cases the row names.
# - Every row names the exact cases that must fail. A fault is caught only when
#   every one of them failed. A failure of other cases, or of the entry without
#   a case named, is reported as "caught elsewhere": not a catch.
# - First each row's cases run three times on the clean build (the cases of
#   all rows of an entry in one process). A case that never passes makes its
#   row BROKEN, one that fails once FLAKY; a row whose text is no longer in its
#   file is BROKEN too. Neither is caught.
# - Every routine of the product (a function defined in a .cpp of app/ common/
#   diag/ fw/ lamp/) should be the target of a row: a row targets the routine
#   its edit lies in. The script lists every routine no row edits and fails
#   when a product .cpp has no row at all.
# Exits 0 when every selected row was caught and every product .cpp has a row,
# 1 otherwise, 2 when it cannot run (no worktree, no build, no Wine prefix).
# .ci/run runs it after the tests.
# Usage: bash scripts/faults.sh [--wide] [name-regex]   (logs in build/faults/)
# --wide takes each row's cases as a GoogleTest filter (patterns allowed, empty
# for the whole entry), skips the baseline and names every case that failed:
# for choosing a row's cases.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root" || exit 2
started=$SECONDS
wide=0
if [ "${1:-}" = --wide ]; then
    wide=1
    shift
fi

# name @ file @ occurrence (1-based, 0 = all) @ text @ replacement @ entry @ cases
# The entry is a ctest entry's exact name, or "script:<path> [args]", a check
# that must pass on the clean tree and fail on the fault. The cases are the
# exact GoogleTest names (parameterised ones in full) that must fail, separated
# by ":"; empty for an entry that is not a GoogleTest program, which then must
# fail as a whole. Any tracked file may be edited; \n in text and replacement
# stands for a line break, \\ for a backslash, and " ~~ " separates several
# edits of the same file.
faults=(
"lamp-lock-taken-out@app/RunningLamp.cpp@1@    void Enter() { EnterCriticalSection(&m_cs); }\n    void Leave() { LeaveCriticalSection(&m_cs); }@    void Enter() {}\n    void Leave() {}@e2e.WorkingRunTest@WorkingRunTest.CloseRequestDuringTheLaunchLampWaitsForIt"
"started-without-suspend@app/TargetRunner.cpp@1@CREATE_SUSPENDED@0@e2e.WorkingRunTest@WorkingRunTest.CloseRequestDuringTheLaunchLampWaitsForIt"
"launch-failure-ignored@app/TargetRunner.cpp@1@if (RunProgram(&pi)) {@RunProgram(&pi); {@e2e.Targets/UnlaunchableTargetTest@Targets/UnlaunchableTargetTest.EndsTheRunWithoutLampOrTarget/NotAProgram"
"terminate-result-ignored@app/TargetRunner.cpp@1@if (TerminateChild(pi.hProcess))@if (TerminateChild(pi.hProcess) || true)@seam@ChildStartTest.ChildThatCanBeNeitherResumedNorEndedIsNotWaitedFor"
"odd-wait-result-as-error@app/TargetRunner.cpp@1@    default:\n        return kWaitLineNone;@    default:\n        return kWaitLineError;@unit@Results/WaitLine.EachResultHasItsLineOrNone/InputIdleOtherResult:Results/WaitLine.EachResultHasItsLineOrNone/ExitAbandonedPlusOne:Results/WaitLine.EachResultHasItsLineOrNone/ExitOtherResult"
"idle-wait-code-dropped@app/TargetRunner.cpp@1@const DWORD dwError = dwResult == WAIT_FAILED ? GetLastError() : 0;@const DWORD dwError = 0;@seam@ChildStartTest.FailedInputIdleWaitIsAnErrorAndTheExitWaitStillFollows"
"abandoned-idle-wait-traced@app/TargetRunner.cpp@1@        if (chWait == 'I')\n            return kWaitLineNone;\n@@unit@Results/WaitLine.EachResultHasItsLineOrNone/InputIdleAbandoned"
"tail-skips-blanks-only@fw/CmdLineText.cpp@1@while (*p != L'\\\\0' && *p <= L' ')@while (*p == L' ' || *p == L'\\\\t')@unit@SkipProgramName.LeavesTheTailAfterTheNameAndItsBlanks:Rows/DebugSwitch.OnlyTheWholeSwitchInAnyCaseTurnsTheTraceOn/ControlCharactersBefore"
"folder-by-splitter@app/Paths.cpp@1@#include \"common/StrFormat.h\" ~~     lstrcpynW(szDir, pszModulePath, static_cast<int>(cchDir + 1));@#include \"common/StrFormat.h\"\n#include <stdlib.h> ~~     { WCHAR d[_MAX_DRIVE] = {}, p[_MAX_DIR] = {}; _wsplitpath(pszModulePath, d, p, NULL, NULL); FormatBounded(szDir, MAX_PATH, L\"%s%s\", d, p); }@unit@Rows/RefusedPaths.AreNotDerived/FolderOf256"
"window-shown@app/HiddenWindow.cpp@1@SW_HIDE@SW_SHOWNOACTIVATE@e2e.HiddenWindowTest@HiddenWindowTest.IsAnOverlappedTopLevelWindowThatIsNeverShown"
"window-popup-style@app/HiddenWindow.cpp@1@WS_OVERLAPPEDWINDOW,@WS_POPUP | WS_CAPTION,@e2e.HiddenWindowTest@HiddenWindowTest.IsAnOverlappedTopLevelWindowThatIsNeverShown"
"question-box-icon@app/WrapperApp.cpp@1@MB_ICONINFORMATION | MB_YESNO@MB_ICONQUESTION | MB_YESNO@e2e.StartupTest@StartupTest.MissingIniAnsweredNoEndsWithoutTracingTheStep"
"question-box-buttons@app/WrapperApp.cpp@1@MB_ICONINFORMATION | MB_YESNO@MB_ICONINFORMATION | MB_OKCANCEL@e2e.StartupTest@StartupTest.MissingIniAnsweredNoEndsWithoutTracingTheStep"
"driver-box-icon@app/WrapperApp.cpp@1@MyMessageBox(kBoxError@MyMessageBox(kBoxWarning@e2e.StartupTest@StartupTest.MissingDriverShowsTheLocalizedErrorBoxAndEnds"
"other-user-box-icon@app/WrapperApp.cpp@1@MyMessageBox(kBoxInfo@MyMessageBox(kBoxWarning@e2e.StartupTest@StartupTest.CopyOfAnotherUserIsRefusedWithTheOccupiedBox"
"other-session-box-icon@app/WrapperApp.cpp@2@MyMessageBox(kBoxInfo@MyMessageBox(kBoxError@e2e.StartupTest@StartupTest.CopyInAnotherSessionIsRefusedWithTheOccupiedBox"
"version-number@res/Version.h.in@1@\${PROJECT_VERSION_PATCH}, \${PROJECT_VERSION_TWEAK}@\${PROJECT_VERSION_TWEAK}, \${PROJECT_VERSION_PATCH}@e2e.ResourceTest@ResourceTest.VersionRecordAndManifestNameTheProgramItsMakerVersionAndRights"
"version-company@res/Avenor.rc@1@\"CompanyName\", \"Tavrik\"@\"CompanyName\", \"Tavrik Ltd\"@e2e.ResourceTest@ResourceTest.VersionRecordAndManifestNameTheProgramItsMakerVersionAndRights"
"manifest-level@res/Avenor.manifest.in@1@level=\"asInvoker\"@level=\"highestAvailable\"@e2e.ResourceTest@ResourceTest.VersionRecordAndManifestNameTheProgramItsMakerVersionAndRights"
"manifest-processor@res/Avenor.manifest.in@1@processorArchitecture=\"x86\"@processorArchitecture=\"*\"@e2e.ResourceTest@ResourceTest.VersionRecordAndManifestNameTheProgramItsMakerVersionAndRights"
"64-bit-build-allowed@lamp/AcpiCall.cpp@1@static_assert(sizeof(void *) == 4@static_assert(sizeof(void *) >= 4@script:scripts/check-32bit-only.sh@"
# A press with the switch posts the launch first: the running copy closes the
# target with its trace in the old state.
"switch-posted-after-exec@app/WrapperApp.cpp@1@    if (IsDebugSwitch(m_lpCmdLine))\n        PostMessageW(hWnd, WM_USER_Debug, 0, 0);\n    PostMessageW(hWnd, WM_USER_EXEC, 0, 0);@    PostMessageW(hWnd, WM_USER_EXEC, 0, 0);\n    if (IsDebugSwitch(m_lpCmdLine))\n        PostMessageW(hWnd, WM_USER_Debug, 0, 0);@e2e.Tails/ForwardTest@Tails/ForwardTest.PostsTheSwitchBeforeTheLaunchAndEnds/Slash"
# A press posts the trace toggle in place of the launch: the target stays open.
"press-posts-the-toggle@app/WrapperApp.cpp@1@    PostMessageW(hWnd, WM_USER_EXEC, 0, 0);@    PostMessageW(hWnd, WM_USER_Debug, 0, 0);@e2e.Tails/ForwardTest@Tails/ForwardTest.PostsTheSwitchBeforeTheLaunchAndEnds/Nothing"
"lamp-arguments-swapped@lamp/Lamp.cpp@1@? kdwLampArgOn : kdwLampArgOff@? kdwLampArgOff : kdwLampArgOn@e2e.LampTest@LampTest.SwitchingSendsTheLampMethodInThisSystemsLayoutAndTracesTheReply"
# The machine-wide mutex in the session's namespace: a copy in another session goes unnoticed.
'global-mutex-not-global@common/Globals.h@1@L"Global\\\\Tavrik Xolt Wrapper Global Mutex"@L"Tavrik Xolt Wrapper Global Mutex"@e2e.StartupTest@StartupTest.CopyInAnotherSessionIsRefusedWithTheOccupiedBox'
"driver-box-text-key@app/WrapperApp.cpp@1@MyMessageBox(kBoxError, L\"IDS_CHKTAVRIK\")@MyMessageBox(kBoxError, L\"IDS_USEROCCUPY\")@e2e.StartupTest@StartupTest.MissingDriverShowsTheLocalizedErrorBoxAndEnds"
"us-english-fallback-broken@diag/LangString.cpp@1@L\"Language\", L\"0x0409\"@L\"Language\", L\"0x409\"@unit@Rows/LangLookup.GivesTheTextOfTheUsersSectionOrNone/UnlistedLanguage:Rows/LangLookup.GivesTheTextOfTheUsersSectionOrNone/EmptyEntry"
"folder-counts-as-file@common/FileProbe.cpp@1@FILE_ATTRIBUTE_NORMAL, NULL);@FILE_FLAG_BACKUP_SEMANTICS, NULL);@e2e.Targets/UnlaunchableTargetTest@Targets/UnlaunchableTargetTest.EndsTheRunWithoutLampOrTarget/Folder"
# The reply walk believes a driver's claim of more bytes than the buffer holds.
"reply-claim-believed@lamp/Lamp.cpp@1@WalkReplyRecords(abReply, cbValid,@WalkReplyRecords(abReply, cbReply,@e2e.LampTest@LampTest.ADriverClaimingMoreBytesThanItWasOfferedIsNotBelieved"
"walk-drops-the-last-record@lamp/LampReply.cpp@1@if (cbReply - off - 4 < cbData)@if (cbReply - off - 4 <= cbData)@unit@Replies/ReplyWalkRows.LinesAndEnd/KnownRecordsInOrder:Replies/ReplyWalkRows.LinesAndEnd/IntegersFillingTheBuffer"
"error-code-signed@diag/TraceLine.cpp@1@error: %u - %s@error: %d - %s@unit@TraceLine.ErrorLineCarriesTheCodeAndTheSystemText"
"cut-text-unterminated@common/StrFormat.cpp@1@    pszDst[cch - 1] = L'\\\\0';\n    if (n < 0@    if (n < 0@unit@FormatBounded.TerminatesAndReportsWhetherTheTextFitted"
# The toggle traced after the flip: switching on traces, switching off does not.
"toggle-traced-after-flip@app/HiddenWindow.cpp@1@        TraceNotify(L\"WM_USER_Debug\", L\"WndProc\");\n        g_bDebug = !g_bDebug;@        g_bDebug = !g_bDebug;\n        TraceNotify(L\"WM_USER_Debug\", L\"WndProc\");@e2e.HiddenWindowTest@HiddenWindowTest.PressWithTheSwitchTurnsTheWorkingCopysTraceOn"
# A resume lights the lamp though the target was asked to close.
"resume-always-lights@app/RunningLamp.cpp@1@SetLightLED(g_bRunning);@SetLightLED(TRUE);@e2e.HiddenWindowTest@HiddenWindowTest.TargetStayingOpenAfterAPressLeavesTheLampDarkAndLaterPressesIgnored"
"no-target-traced-as-note@app/TargetRunner.cpp@1@TraceError(L\"FindWindowEx failed\", L\"CloseXoltWin\");@TraceNotify(L\"FindWindowEx failed\", L\"CloseXoltWin\");@e2e.StartupTest@Targets/UnlaunchableTargetTest.EndsTheRunWithoutLampOrTarget/NotAProgram"
# Explorer finds the version strings through the translation entry.
"version-translation@res/Avenor.rc@1@VALUE \"Translation\", 0x409, 1200@VALUE \"Translation\", 0x409, 1252@e2e.ResourceTest@ResourceTest.VersionRecordAndManifestNameTheProgramItsMakerVersionAndRights"
# A module path of 260 characters, cut by the system, taken as whole.
"cut-module-path-taken@app/WrapperApp.cpp@1@if (cch == 0 || cch >= kcchPath) {@if (cch == 0 || cch > kcchPath) {@e2e.FolderLengths/CutModulePathTest@FolderLengths/CutModulePathTest.RefusesWithAnErrorLine/FolderOf250"
# The native request carries the address of something else than the record:
# on a native system the lamp never switches.
"native-record-address@lamp/AcpiCall.cpp@1@reinterpret_cast<UINT_PTR>(abRecord)@reinterpret_cast<UINT_PTR>(abRequest)@seam@NativeRequestTest.CarriesTheAddressOfALiveRecordForBothLampArguments"
# The language id from the regional format: an English user with German
# formats gets German boxes.
"regional-format-language@app/WrapperApp.cpp@1@GetUserDefaultUILanguage() & 0xFFFF@GetUserDefaultLCID() & 0xFFFF@res.Imports@"
# The copy's own mutex let go first: a press between the two closes is refused
# with the other-session box.
"mutex-close-order-swapped@app/WrapperApp.cpp@1@    if (m_hGlobalMutex != NULL)\n        CloseHandle(m_hGlobalMutex);\n    if (m_hLocalMutex != NULL)\n        CloseHandle(m_hLocalMutex);@    if (m_hLocalMutex != NULL)\n        CloseHandle(m_hLocalMutex);\n    if (m_hGlobalMutex != NULL)\n        CloseHandle(m_hGlobalMutex);@e2e.StartupTest@StartupTest.CopyInAnotherSessionIsRefusedWithTheOccupiedBox"
# The language id in lower-case hex in the trace head.
"language-id-lower-case@app/WrapperApp.cpp@1@L\"0x%04X\"@L\"0x%04x\"@e2e.LocalizedBoxTest@LocalizedBoxTest.BuiltIniGivesEachUserTheTextOfTheirLanguage"
# Any colon ends the folder: a program run from a file's stream looks for its
# files inside that file's streams.
"colon-ends-folder@app/Paths.cpp@1@(ch == L':' && i == 1)@ch == L':'@unit@Rows/DerivedPaths.PutEveryFileBesideTheExecutable/ProgramInAStream"
'child-left-suspended@app/ChildControl.cpp@1@return ResumeThread(hThread);@return SuspendThread(hThread);@e2e.WorkingRunTest@WorkingRunTest.TargetClosedByTheUserEndsTheRun'
'terminated-with-success@app/ChildControl.cpp@1@TerminateProcess(hProcess, ERROR_PROCESS_ABORTED)@TerminateProcess(hProcess, 0)@unit@ChildControl.EndsAChildThatNeverRanWithTheAbortCode'
'switch-case-sensitive@app/CmdLine.cpp@0@_wcsicmp@wcscmp@unit@Rows/DebugSwitch.OnlyTheWholeSwitchInAnyCaseTurnsTheTraceOn/SlashUpper:Rows/DebugSwitch.OnlyTheWholeSwitchInAnyCaseTurnsTheTraceOn/DashUpper'
'driver-check-against-null@app/Preflight.cpp@1@hDevice == INVALID_HANDLE_VALUE@hDevice == NULL@e2e.StartupTest@StartupTest.MissingIniAnsweredYesThenMissingDriverShowsAnEmptyText'
'loop-reads-only-the-window@app/HiddenWindow.cpp@1@GetMessageW(&msg, NULL, 0, 0)@GetMessageW(&msg, g_hWnd, 0, 0)@e2e.HiddenWindowTest@HiddenWindowTest.CloseFromOutsideEndsTheRunWithoutWaitingForTheTarget'
'suspend-query-relights@app/HiddenWindow.cpp@1@        TraceNotify(L"WM_POWERBROADCAST", L"WndProc");\n        return TRUE;@        TraceNotify(L"WM_POWERBROADCAST", L"WndProc");\n        break;@e2e.HiddenWindowTest@HiddenWindowTest.TargetStayingOpenAfterAPressLeavesTheLampDarkAndLaterPressesIgnored'
'lock-left-before-the-lamp@app/RunningLamp.cpp@1@    SetLightLED(bRunning);\n    s_lampLock.Leave();@    s_lampLock.Leave();\n    SetLightLED(bRunning);@e2e.WorkingRunTest@WorkingRunTest.CloseRequestDuringTheLaunchLampWaitsForIt'
'failed-wait-traced-as-note@app/TargetRunner.cpp@1@        TraceError(szText, L"ExecXoltThread");@        TraceNotify(szText, L"ExecXoltThread");@seam@ChildStartTest.FailedInputIdleWaitIsAnErrorAndTheExitWaitStillFollows'
'bounded-count-less-one@common/StrFormat.cpp@1@FormatBoundedV(pszDst, cch, pszFormat, args)@FormatBoundedV(pszDst, cch - 1, pszFormat, args)@unit@FormatBounded.TerminatesAndReportsWhetherTheTextFitted'
'box-type-bound-off-by-one@diag/MyMessageBox.cpp@1@nType > 3@nType >= 3@unit@BoxStyle.TypesMapToIconAndButtons'
'box-style-of-the-type@diag/MyMessageBox.cpp@1@MessageBoxW(NULL, szText, BOX_CAPTION, uStyle)@MessageBoxW(NULL, szText, BOX_CAPTION, nType)@e2e.StartupTest@StartupTest.CopyOfAnotherUserIsRefusedWithTheOccupiedBox'
'error-code-test-inverted@diag/Trace.cpp@1@if (dwCode == 0)@if (dwCode != 0)@e2e.StartupTest@StartupTest.LocalMutexThatCannotBeCreatedIsAnErrorWithTheSystemCode'
'trace-on-by-default@common/Globals.cpp@1@volatile bool g_bDebug = false;@volatile bool g_bDebug = true;@e2e.StartupTest@StartupTest.WorkingCopyWithTheTraceOffIsSilent'
'app-not-registered@fw/WinApp.cpp@1@    s_pTheApp = this;\n@@unit@Framework.HandsTheTailToTheOneApplicationObject'
'app-left-registered@fw/WinApp.cpp@1@    if (s_pTheApp == this)\n        s_pTheApp = NULL;\n@@unit@Framework.HandsTheTailToTheOneApplicationObject'
'framework-exit-code@fw/WinApp.cpp@1@    return 0;@    return 1;@unit@Framework.HandsTheTailToTheOneApplicationObject'
'command-line-set-after-start@fw/WinApp.cpp@1@    pApp->m_lpCmdLine = lpCmdLine;\n    pApp->InitInstance();@    pApp->InitInstance();\n    pApp->m_lpCmdLine = lpCmdLine;@e2e.StartupTest@StartupTest.LocalMutexThatCannotBeCreatedIsAnErrorWithTheSystemCode'
'whole-command-line-passed@fw/WinMain.cpp@1@AfxWinMain(SkipProgramName(GetCommandLineW()))@AfxWinMain(GetCommandLineW())@e2e.StartupTest@StartupTest.LocalMutexThatCannotBeCreatedIsAnErrorWithTheSystemCode'
'wow64-probe-inverted@lamp/AcpiPlatform.cpp@1@if (pfn != NULL)@if (pfn == NULL)@e2e.LampTest@LampTest.SwitchingSendsTheLampMethodInThisSystemsLayoutAndTracesTheReply'
'request-and-reply-swapped@lamp/AcpiPlatform.cpp@1@pbRequest, cbRequest, pbReply, cbReply,@pbReply, cbReply, pbRequest, cbRequest,@e2e.LampTest@LampTest.SwitchingSendsTheLampMethodInThisSystemsLayoutAndTracesTheReply'
'u16-written-big-endian@lamp/AcpiRequest.cpp@1@    pb[0] = static_cast<BYTE>(w);\n    pb[1] = static_cast<BYTE>(w >> 8);@    pb[0] = static_cast<BYTE>(w >> 8);\n    pb[1] = static_cast<BYTE>(w);@unit@AcpiRequest.Wow64LayoutCarriesTheRecordInline:AcpiRequest.NativeLayoutCarriesTheRecordAddress'
'u32-written-halves-swapped@lamp/AcpiRequest.cpp@1@    PutU16(pb, static_cast<WORD>(dw));\n    PutU16(pb + 2, static_cast<WORD>(dw >> 16));@    PutU16(pb, static_cast<WORD>(dw >> 16));\n    PutU16(pb + 2, static_cast<WORD>(dw));@unit@AcpiRequest.Wow64LayoutCarriesTheRecordInline:AcpiRequest.NativeLayoutCarriesTheRecordAddress'
'method-name-last-byte@lamp/AcpiRequest.cpp@1@szName[3])) << 24@szName[3])) << 16@unit@AcpiRequest.MethodNameKeepsReadingOrderFromTheLowestByte'
'record-length-whole-record@lamp/AcpiRequest.cpp@1@PutU16(abRecord + 2, 4);@PutU16(abRecord + 2, kcbAcpiArgRecord);@unit@AcpiRequest.Wow64LayoutCarriesTheRecordInline:AcpiRequest.NativeLayoutCarriesTheRecordAddress'
'records-length-of-data@lamp/AcpiRequest.cpp@1@PutU32(abRequest + 12, kcbAcpiArgRecord);@PutU32(abRequest + 12, 4);@unit@AcpiRequest.Wow64LayoutCarriesTheRecordInline:AcpiRequest.NativeLayoutCarriesTheRecordAddress'
'reply-line-arguments-swapped@lamp/Lamp.cpp@1@TraceNotify(pszLine, L"SetLightLED");@TraceNotify(L"SetLightLED", pszLine);@e2e.LampTest@LampTest.SwitchingSendsTheLampMethodInThisSystemsLayoutAndTracesTheReply'
'u16-read-big-endian@lamp/LampReply.cpp@1@pb[0] | pb[1] << 8@pb[0] << 8 | pb[1]@unit@Replies/ReplyWalkRows.LinesAndEnd/KnownRecordsInOrder'
'u32-read-halves-swapped@lamp/LampReply.cpp@1@static_cast<DWORD>(GetU16(pb)) | static_cast<DWORD>(GetU16(pb + 2)) << 16@static_cast<DWORD>(GetU16(pb + 2)) | static_cast<DWORD>(GetU16(pb)) << 16@unit@Replies/ReplyWalkRows.LinesAndEnd/KnownRecordsInOrder'
'count-needs-a-record@lamp/LampReply.cpp@1@cbReply < kcbReplyCountEnd@cbReply <= kcbReplyCountEnd@unit@Replies/ReplyWalkRows.LinesAndEnd/CountWithoutRecords'
'summary-fields-swapped@lamp/LampReply.cpp@1@static_cast<int>(nCount), static_cast<int>(cbWritten)@static_cast<int>(cbWritten), static_cast<int>(nCount)@unit@ReplyWalk.SummaryLineShowsCountAndBytesWritten'
'text-reads-a-byte-past@lamp/LampReply.cpp@1@ib + 1 < cbData@ib < cbData@unit@ReplyFuzz.NoReplyMakesTheWalkReadPastTheWrittenBytes'
)

# The table's tool: `apply FILE NTH TEXT REPL` makes one row's edit, `applies`
# only checks that it can (both exit 1 when its text is not there); `cover
# ROWS` reads the rows from the file ROWS and prints "row NAME ROUTINES" for
# each, then "untouched FILE ROUTINE" for every routine no row edits and
# "norow FILE" for every product .cpp no row edits.
table_tool() {
    python3 - "$@" <<'PY'
import re, subprocess, sys

def unescape(s):
    return s.replace('\\n', '\n').replace('\\\\', '\\')

def edits(src, nth, text, repl):
    """The spans of the original text each edit replaces, and the new text;
    None when an edit's text is not there."""
    spans = []
    for old, new in zip(unescape(text).split(' ~~ '), unescape(repl).split(' ~~ ')):
        at = [m.start() for m in re.finditer(re.escape(old), src)] if old else []
        if not at or len(at) < nth:
            return None
        for a in (at if nth == 0 else [at[nth - 1]]):
            spans.append((a, a + len(old), new))
    return spans

def blank(src):
    """The source with comments, literals and preprocessor lines made blanks,
    line breaks kept, so that offsets still match."""
    out, i, n, bol = list(src), 0, len(src), True
    def wipe(a, b):
        for k in range(a, b):
            if out[k] != '\n':
                out[k] = ' '
    while i < n:
        c = src[i]
        j = None
        if bol and c == '#' or src.startswith('//', i):
            j = src.find('\n', i)
        elif src.startswith('/*', i):
            j = src.find('*/', i + 2)
            j = j + 2 if j >= 0 else j
        elif c in '"\'':
            j = i + 1
            while j < n and src[j] != c:
                j += 2 if src[j] == '\\' else 1
            j += 1
        if j is not None:
            j = n if j < 0 else min(j, n)
            wipe(i, j)
            i = j
            continue
        if c == '\n':
            bol = True
        elif not c.isspace():
            bol = False
        i += 1
    return ''.join(out)

def routines(src):
    """(name, start, end) of every function defined at file scope, in a
    namespace or in a class body; it starts with its head."""
    text, found, stack, head_at = blank(src), [], [], 0
    for i, c in enumerate(text):
        if c not in ';{}':
            continue
        if c == '{':
            raw = text[head_at:i]
            head = ' '.join(raw.split())
            kind, name = 'other', None
            if all(k[0] in ('ns', 'class') for k in stack):
                cls = re.match(r'(?:class|struct)\s+(\w+)', head)
                fn = re.search(r'([~\w:]+)\s*\(', head)
                if head.startswith('namespace'):
                    kind = 'ns'
                elif cls:
                    kind, name = 'class', cls.group(1)
                elif fn and '=' not in head[:fn.start()] and not head.startswith('enum'):
                    kind, name = 'func', fn.group(1)
                    outer = [k[1] for k in stack if k[0] == 'class']
                    if outer and '::' not in name:
                        name = '::'.join(outer + [name])
            stack.append((kind, name, head_at + len(raw) - len(raw.lstrip())))
        elif c == '}' and stack:
            kind, name, start = stack.pop()
            if kind == 'func':
                found.append((name, start, i + 1))
        head_at = i + 1
    return found

def fields(row):
    name, path, nth, text, repl = row.split('@')[:5]
    return name, path, int(nth), text, repl

if sys.argv[1] in ('apply', 'applies'):
    path, nth, text, repl = sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
    try:
        src = open(path, encoding='utf-8').read()
    except OSError:
        sys.exit(1)
    spans = edits(src, nth, text, repl)
    if spans is None or sys.argv[1] == 'applies':
        sys.exit(0 if spans else 1)
    for a, b, new in sorted(spans, reverse=True):
        src = src[:a] + new + src[b:]
    open(path, 'w', encoding='utf-8').write(src)
    sys.exit(0)

product = subprocess.run(['git', 'ls-files', 'app', 'common', 'diag', 'fw', 'lamp'],
                         capture_output=True, text=True, check=True).stdout.split()
product = [p for p in product if p.endswith('.cpp')]
found = {p: routines(open(p, encoding='utf-8').read()) for p in product}
touched, edited = set(), set()
for row in open(sys.argv[2], encoding='utf-8').read().splitlines():
    name, path, nth, text, repl = fields(row)
    hit = []
    if path in found:
        edited.add(path)
        src = open(path, encoding='utf-8').read()
        for a, b, _ in edits(src, nth, text, repl) or []:
            hit += [r for r, s, e in found[path] if s < b and a < e and r not in hit]
    touched.update((path, r) for r in hit)
    print('row', name, ','.join(hit) or '-')
for p in product:
    for r, _, _ in found[p]:
        if (p, r) not in touched:
            print('untouched', p, r)
    if p not in edited:
        print('norow', p)
PY
}

# Reads a ctest -V log; prints "ran CASE" for every case started, and "ok CASE"
# or "failed CASE" for every result (a case repeated has several), a crash or
# a hang counting as a failure. Only the lines ctest shows as they come count
# ("<entry number>: ..."), not the output it shows again after a failure.
cases_of() {
    python3 - "$1" <<'PY'
import re, sys
for line in open(sys.argv[1], encoding='utf-8', errors='replace'):
    line = re.match(r'(\d+: )?(.*)', line.rstrip('\r\n'))
    if not line.group(1):
        continue
    line = line.group(2)
    m = re.match(r'\[ RUN      \] (\S+)$', line)
    if m:
        print('ran', m.group(1))
    m = re.match(r'\[ +(OK|FAILED) +\] ([^ ,]+)(, where .*)? \(\d+ ms\)$', line)
    if m:
        print('ok' if m.group(1) == 'OK' else 'failed', m.group(2))
    m = re.match(r'\[ (TIMEOUT|CRASHED)  \] (\S+) ', line)
    if m:
        print('failed', m.group(2))
PY
}

# The targets a row's entry runs that hold product code: the unit and seam
# programs link its routines, the lamp tests run them in the lamp probe, every
# other entry runs the launcher.
targets_of() {
    case "$1" in
    unit) echo avenor_unit ;;
    seam) echo avenor_seam_test ;;
    e2e.LampTest) echo Avenor avenor_lampprobe ;;
    *) echo Avenor ;;
    esac
}

# Runs one entry into LOG: the cases FILTER names (all of them when it is
# empty), each REPEAT times (default once).
run_entry() {
    local entry="$1" filter="$2" log="$3" env=()
    [ -n "$filter" ] && env+=("AVENOR_GTEST_FILTER=$filter")
    [ -n "${4:-}" ] && env+=("GTEST_REPEAT=$4")
    env "${env[@]}" ctest --preset mingw-i686 -V -R "^${entry//./\\.}\$" >"$log" 2>&1 &&
        grep -q '100% tests passed' "$log"
}

# Runs a row's check on the tree as it is: its script, or its entry (only its
# cases, if it names any). Sets `code` and `failed` (the cases that failed).
check_row() {
    local entry="$1" cases="$2" log="$3"
    failed=""
    if [[ "$entry" == script:* ]]; then
        # shellcheck disable=SC2086 # a script and its arguments
        bash ${entry#script:} >"$log" 2>&1
        code=$?
    else
        run_entry "$entry" "$cases" "$log"
        code=$?
        failed=$(cases_of "$log" | sed -n 's/^failed //p' | sort -u | xargs)
    fi
}

all_rows=()
rows=()
for row in "${faults[@]}"; do
    all_rows+=("$row")
    IFS='@' read -r name _ <<<"$row"
    [[ -n "${1:-}" && ! "$name" =~ $1 ]] && continue
    rows+=("$row")
done

mkdir -p "$root/build/faults"
logs="$root/build/faults"
rm -f "$logs"/*.log

# ---- the scratch tree: HEAD, built and with a Wine prefix of its own
tree=$(mktemp -d "${TMPDIR:-/tmp}/avenor-faults.XXXXXX")
# shellcheck disable=SC2317 # run by the trap
cleanup() {
    [ -n "${prefix:-}" ] && wait "$prefix" 2>/dev/null
    if [ -d "$tree/src/build/wineprefix" ]; then
        WINEPREFIX="$tree/src/build/wineprefix" wineserver -k >/dev/null 2>&1
        WINEPREFIX="$tree/src/build/wineprefix" wineserver -w >/dev/null 2>&1
    fi
    rm -rf "$tree"
    git -C "$root" worktree prune
}
trap cleanup EXIT
trap 'exit 130' INT TERM
if ! git -C "$root" worktree add -q --detach "$tree/src" HEAD >"$logs/worktree.log" 2>&1; then
    echo "faults.sh: cannot make the scratch tree (see $logs/worktree.log)" >&2
    exit 2
fi
src="$tree/src"
cd "$src" || exit 2
unset AVENOR_BUILD

# Every row's routine, and every routine and file without a row.
declare -A routine=()
norow=()
untouched=()
while read -r kind a b; do
    case "$kind" in
    row) routine[$a]="$b" ;;
    untouched) untouched+=("$a:$b") ;;
    norow) norow+=("$a") ;;
    esac
done < <(printf '%s\n' "${all_rows[@]}" >"$logs/rows.txt" && table_tool cover "$logs/rows.txt")

# The prefix is made while the tree builds.
bash scripts/setup.sh >"$logs/prefix.log" 2>&1 &
prefix=$!
if ! { cmake --preset mingw-i686 && cmake --build --preset mingw-i686 --target avenor_unit \
    avenor_e2e avenor_seam_test; } >"$logs/clean-build.log" 2>&1; then
    echo "faults.sh: HEAD does not build (see $logs/clean-build.log)" >&2
    exit 2
fi
if ! wait "$prefix"; then
    prefix=""
    echo "faults.sh: no Wine prefix for the scratch tree (see $logs/prefix.log)" >&2
    exit 2
fi
prefix=""
. scripts/env.sh
avenor_wine_up
echo "scratch tree of $(git rev-parse --short HEAD) built in $((SECONDS - started)) s"

# ---- baseline: each row's cases three times on the clean build
declare -A bad=() groupcases=()
for row in "${rows[@]}"; do
    IFS='@' read -r name file nth text repl entry cases <<<"$row"
    if [ $wide = 0 ] && [[ "$cases" == *[*?-]* ]]; then
        bad[$name]="BROKEN: its cases must be exact names ($cases)"
    elif ! table_tool applies "$file" "$nth" "$text" "$repl"; then
        bad[$name]="BROKEN: its text is not in $file (the row no longer applies)"
    elif [ -n "$cases" ]; then
        groupcases[$entry]="${groupcases[$entry]:+${groupcases[$entry]}:}$cases"
    fi
done
# The cases of all rows of an entry run together, each three times in one
# process; a row's script or whole entry runs three times.
group=0
for entry in "${!groupcases[@]}"; do
    [ $wide = 1 ] && break
    group=$((group + 1))
    log="$logs/baseline-$group.log"
    run_entry "$entry" "${groupcases[$entry]}" "$log" 3
    results=$(cases_of "$log")
    for row in "${rows[@]}"; do
        IFS='@' read -r name _ _ _ _ e cases <<<"$row"
        if [ "$e" != "$entry" ] || [ -n "${bad[$name]:-}" ]; then
            continue
        fi
        IFS=':' read -ra named <<<"$cases"
        for c in "${named[@]}"; do
            ok=$(grep -cxF "ok $c" <<<"$results")
            no=$(grep -cxF "failed $c" <<<"$results")
            if [ $((ok + no)) = 0 ]; then
                bad[$name]="BROKEN: $entry has no case $c (see $log)"
            elif [ "$ok" = 0 ]; then
                bad[$name]="BROKEN: $c fails on the clean build (see $log)"
            elif [ "$no" != 0 ] || [ "$ok" -lt 3 ]; then
                bad[$name]="FLAKY: $c passed $ok and failed $no of 3 times on the clean build (see $log)"
            fi
            [ -n "${bad[$name]:-}" ] && break
        done
    done
done
for row in "${rows[@]}"; do
    IFS='@' read -r name _ _ _ _ entry cases <<<"$row"
    if [ $wide = 1 ] || [ -n "$cases" ] || [ -n "${bad[$name]:-}" ]; then
        continue
    fi
    passes=0
    for run in 1 2 3; do
        check_row "$entry" "" "$logs/baseline-$name-$run.log"
        [ "$code" = 0 ] && passes=$((passes + 1))
    done
    if [ $passes = 0 ]; then
        bad[$name]="BROKEN: ${entry#script:} fails on the clean build (see $logs/baseline-$name-1.log)"
    elif [ $passes != 3 ]; then
        bad[$name]="FLAKY: ${entry#script:} passed $passes of 3 times on the clean build"
    fi
done
echo "baseline: ${#rows[@]} rows, ${#bad[@]} broken or flaky ($((SECONDS - started)) s)"

# ---- the faults, one at a time
status=0
caught=0
for row in "${rows[@]}"; do
    IFS='@' read -r name file nth text repl entry cases <<<"$row"
    log="$logs/$name.log"
    IFS=':' read -ra named <<<"$cases"
    began=$SECONDS
    if [ -n "${bad[$name]:-}" ]; then
        result="${bad[$name]}"
    elif ! table_tool apply "$file" "$nth" "$text" "$repl"; then
        result="BROKEN: its text is not in $file"
    elif [[ "$entry" != script:* ]] && read -ra targets <<<"$(targets_of "$entry")" &&
        ! cmake --build --preset mingw-i686 --target "${targets[@]}" >"$log" 2>&1; then
        result="NOT CAUGHT: the fault does not build (see $log)"
    else
        check_row "$entry" "$cases" "$log.run"
        cat "$log.run" >>"$log" && rm -f "$log.run"
        missing=()
        for c in "${named[@]}"; do
            [[ " $failed " == *" $c "* ]] || missing+=("$c")
        done
        others=$(for f in $failed; do [[ ":$cases:" == *":$f:"* ]] || echo "$f"; done | xargs)
        if [ $wide = 1 ]; then
            result="failed: ${failed:-no case} (exit code $code)"
        elif [ "$code" = 0 ] && [ -z "$failed" ]; then
            result="MISSED: ${cases:-$entry} passed"
        elif [ -z "$cases" ] || [ ${#missing[@]} = 0 ]; then
            result="caught by: ${cases:-${entry#script:}}${others:+ (and $others)}"
        elif [ ${#missing[@]} -lt ${#named[@]} ]; then
            result="NOT CAUGHT: ${missing[*]} passed"
        elif [ -n "$others" ]; then
            result="caught elsewhere: $others"
        else
            result="caught elsewhere: $entry failed without naming a case (see $log)"
        fi
    fi
    if [[ "$result" == caught\ by* ]]; then
        caught=$((caught + 1))
    else
        status=1
    fi
    printf '%-28s %-30s %s (%d s)\n' "$name" "${routine[$name]:--}" "$result" $((SECONDS - began))
    git checkout -q -- "$file"
done

echo "${caught} of ${#rows[@]} rows caught in $((SECONDS - started)) s"
if [ ${#untouched[@]} -gt 0 ]; then
    echo "routines no row edits (${#untouched[@]}):"
    printf '  %s\n' "${untouched[@]}"
fi
if [ ${#norow[@]} -gt 0 ]; then
    echo "product files without a row: ${norow[*]}" >&2
    status=1
fi
exit $status
