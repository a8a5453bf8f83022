#pragma once

#include <windows.h>

// The worker thread: starts the target application with the lamp lit, waits
// until it has ended, puts the lamp out and closes the hidden window, which
// ends the working run. The parameter is not used; returns 0.
DWORD WINAPI ExecXoltThread(LPVOID pParameter);

// Asks a running target to close through its main window and puts the lamp
// out at once; does not wait for the target to end.
void CloseXoltWin();

// Resumes the child's main thread; (DWORD)-1 on failure. Kept in a file of its
// own so that tests can stand in for it.
DWORD ResumeChild(HANDLE hThread);

enum : size_t {
    kcchWorkerText = 260, // one worker trace text, terminator included
};

// The wait lines: "<what> succeed, PID: ..., it takes <ms> ms (<path>)" and its
// WAIT_TIMEOUT / WAIT_ABANDONED / failed variants, cut to the buffer. chWait
// names the wait ('I' input-idle, 'S' process exit). Returns FALSE when the
// line is an error line (the wait failed).
BOOL FormatWaitLine(LPWSTR pszText, size_t cch, char chWait, DWORD dwResult, DWORD dwError,
                    DWORD dwPid, DWORD dwElapsed, LPCWSTR pszPath);
