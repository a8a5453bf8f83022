#pragma once

#include <windows.h>

// The worker thread: starts the target application with the lamp lit, waits
// until it has ended, puts the lamp out and closes the hidden window, which
// ends the working run. The parameter is not used; returns 0.
DWORD WINAPI ExecXoltThread(LPVOID pParameter);

// Asks a running target to close through its main window and puts the lamp
// out at once; does not wait for the target to end.
void CloseXoltWin();

// Resumes the child's main thread; (DWORD)-1 on failure.
DWORD ResumeChild(HANDLE hThread);
// Ends a child that could not be started; FALSE when even that failed.
// Both are kept in a file of their own so that tests can stand in for them.
BOOL TerminateChild(HANDLE hProcess);

enum : size_t {
    kcchWorkerText = 260, // one worker trace text, terminator included
};

// What a wait's result is traced as.
enum WaitLineKind {
    kWaitLineNone = 0,   // no line: a result the wait does not give
    kWaitLineNotify = 1, // a notification
    kWaitLineError = 2,  // an error line: the wait failed
};

// The wait lines: "<what> succeed, PID: ..., it takes <ms> ms (<path>)" and its
// WAIT_TIMEOUT / WAIT_ABANDONED (exit wait only) / failed variants, cut to the
// buffer. chWait names the wait ('I' input-idle, 'S' process exit). pszText is
// left alone when the result gives no line.
WaitLineKind FormatWaitLine(LPWSTR pszText, size_t cch, char chWait, DWORD dwResult, DWORD dwError,
                            DWORD dwPid, DWORD dwElapsed, LPCWSTR pszPath);
