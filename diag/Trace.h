#pragma once

#include <windows.h>

// Writes one line to the debugger output stream when the trace switch is on;
// with it off the call costs only the test of the switch. bNotify (low byte)
// selects a notification; otherwise an error line carrying dwCode, or the
// calling thread's last error when dwCode is 0, and the system's text for it.
void WriteTrace(LPCWSTR pszMessage, LPCWSTR pszContext, BOOL bNotify, DWORD dwCode = 0);

inline void TraceNotify(LPCWSTR pszMessage, LPCWSTR pszContext) {
    WriteTrace(pszMessage, pszContext, TRUE);
}

inline void TraceError(LPCWSTR pszMessage, LPCWSTR pszContext) {
    WriteTrace(pszMessage, pszContext, FALSE);
}
