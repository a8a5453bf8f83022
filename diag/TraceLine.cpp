#include "diag/TraceLine.h"

#include "common/StrFormat.h"

BOOL FormatTraceLine(LPWSTR pszLine, size_t cch, LPCWSTR pszContext, LPCWSTR pszMessage,
                     BOOL bNotify, DWORD dwCode, LPCWSTR pszText) {
    if (pszContext == NULL)
        pszContext = L"";
    if (pszMessage == NULL)
        pszMessage = L"";
    if (static_cast<BYTE>(bNotify))
        return FormatBounded(pszLine, cch, L"[Avenor][Notify] %s -> %s \r\n", pszContext,
                             pszMessage);
    if (pszText == NULL)
        pszText = TRACE_NO_SYSTEM_TEXT;
    return FormatBounded(pszLine, cch, L"[Avenor] %s -> %s, error: %u - %s", pszContext, pszMessage,
                         dwCode, pszText);
}
