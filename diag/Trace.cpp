#include "diag/Trace.h"

#include "common/Globals.h"
#include "diag/TraceLine.h"

void WriteTrace(LPCWSTR pszMessage, LPCWSTR pszContext, BOOL bNotify, DWORD dwCode) {
    if (!g_bDebug)
        return;
    // Read before anything else can overwrite it.
    DWORD dwLastError = GetLastError();

    // Each call has its own line: the main thread and the worker trace at once.
    WCHAR szLine[kcchTraceLine] = {};
    if (static_cast<BYTE>(bNotify)) {
        FormatTraceLine(szLine, kcchTraceLine, pszContext, pszMessage, TRUE, 0, NULL);
        OutputDebugStringW(szLine);
        return;
    }

    if (dwCode == 0)
        dwCode = dwLastError;
    LPWSTR pszText = NULL;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, dwCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<LPWSTR>(&pszText), 0, NULL);
    FormatTraceLine(szLine, kcchTraceLine, pszContext, pszMessage, FALSE, dwCode, pszText);
    OutputDebugStringW(szLine);
    if (pszText != NULL)
        LocalFree(pszText);
}
