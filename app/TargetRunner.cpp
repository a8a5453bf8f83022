#include "app/TargetRunner.h"

#include "app/RunningLamp.h"
#include "common/FileProbe.h"
#include "common/Globals.h"
#include "common/StrFormat.h"
#include "diag/Trace.h"

WaitLineKind FormatWaitLine(LPWSTR pszText, size_t cch, char chWait, DWORD dwResult, DWORD dwError,
                            DWORD dwPid, DWORD dwElapsed, LPCWSTR pszPath) {
    LPCWSTR pszWait = chWait == 'I' ? L"WaitForInputIdle" : L"WaitForSingleObject";
    LPCWSTR pszOutcome;
    switch (dwResult) {
    case 0:
        pszOutcome = L"succeed";
        break;
    case WAIT_TIMEOUT:
        pszOutcome = L"WAIT_TIMEOUT";
        break;
    case WAIT_ABANDONED:
        // Only the exit wait can report an abandoned wait.
        if (chWait == 'I')
            return kWaitLineNone;
        pszOutcome = L"WAIT_ABANDONED";
        break;
    case WAIT_FAILED:
        FormatBounded(pszText, cch,
                      L"%s failed (ErrCode: 0x%08X) - PID: 0x%.8X, it takes %d ms (%s)", pszWait,
                      dwError, dwPid, static_cast<int>(dwElapsed), pszPath);
        return kWaitLineError;
    default:
        return kWaitLineNone;
    }
    FormatBounded(pszText, cch, L"%s %s, PID: 0x%.8X, it takes %d ms (%s)", pszWait, pszOutcome,
                  dwPid, static_cast<int>(dwElapsed), pszPath);
    return kWaitLineNotify;
}

// Traces the outcome of one of the worker's waits.
static void TraceWait(char chWait, DWORD dwResult, DWORD dwPid, DWORD dwStart) {
    const DWORD dwError = dwResult == WAIT_FAILED ? GetLastError() : 0;
    const DWORD dwElapsed = GetTickCount() - dwStart;
    WCHAR szText[kcchWorkerText] = {};
    switch (FormatWaitLine(szText, kcchWorkerText, chWait, dwResult, dwError, dwPid, dwElapsed,
                           g_tszAppPath)) {
    case kWaitLineNotify:
        TraceNotify(szText, L"ExecXoltThread");
        break;
    case kWaitLineError:
        SetLastError(dwError);
        TraceError(szText, L"ExecXoltThread");
        break;
    case kWaitLineNone:
        break;
    }
}

// Starts the target suspended; FALSE after an error trace.
static BOOL RunProgram(PROCESS_INFORMATION *pPi) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (CreateProcessW(g_tszAppPath, NULL, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, g_tszAppDir,
                       &si, pPi))
        return TRUE;
    const DWORD dwError = GetLastError();
    WCHAR szText[kcchWorkerText] = {};
    FormatBounded(szText, kcchWorkerText, L"(%s) CreateProcess failed (ErrCode: 0x%08X) !",
                  g_tszAppPath, dwError);
    SetLastError(dwError);
    TraceError(szText, L"RunProgram");
    return FALSE;
}

DWORD WINAPI ExecXoltThread(LPVOID) {
    if (!QueryFileExistence(g_tszAppPath)) {
        TraceNotify(L"QueryFileExistence failed", L"ExecXoltThread");
    } else {
        const DWORD dwStart = GetTickCount();
        // The child's handles live until the launcher ends.
        PROCESS_INFORMATION pi = {};
        if (RunProgram(&pi)) {
            // The lamp is lit before the child's first instruction runs.
            SwitchRunning(TRUE);
            if (ResumeChild(pi.hThread) == static_cast<DWORD>(-1)) {
                TraceError(L"ResumeThread failed", L"ExecXoltThread");
                // A child that never runs would keep both waits, which have no
                // time limit, and the lamp with them, forever: end it instead.
                // If even that fails, nothing is left to wait for.
                if (TerminateChild(pi.hProcess)) {
                    TraceWait('S', WaitForSingleObject(pi.hProcess, INFINITE), pi.dwProcessId,
                              dwStart);
                } else {
                    TraceError(L"TerminateProcess failed", L"ExecXoltThread");
                }
            } else {
                TraceWait('I', WaitForInputIdle(pi.hProcess, INFINITE), pi.dwProcessId, dwStart);
                TraceWait('S', WaitForSingleObject(pi.hProcess, INFINITE), pi.dwProcessId, dwStart);
            }
            SwitchRunning(FALSE);
        }
    }

    HWND hWnd = FindWindowExW(NULL, NULL, WRAPPER_WINDOW_NAME, WRAPPER_WINDOW_NAME);
    if (hWnd != NULL)
        PostMessageW(hWnd, WM_CLOSE, 0, 0);
    return 0;
}

void CloseXoltWin() {
    HWND hTarget = FindWindowExW(NULL, NULL, TARGET_WINDOW_CLASS, TARGET_WINDOW_TITLE);
    if (hTarget == NULL) {
        TraceError(L"FindWindowEx failed", L"CloseXoltWin");
        return;
    }
    TraceNotify(L"FindWindowEx succeed, Post WM_CLOSE", L"CloseXoltWin");
    PostMessageW(hTarget, WM_CLOSE, 0, 0);
    SwitchRunning(FALSE);
}
