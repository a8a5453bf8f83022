#include "common/StrFormat.h"

#include <stdarg.h>
#include <stdio.h>

BOOL FormatBoundedV(LPWSTR pszDst, size_t cch, LPCWSTR pszFormat, va_list args) {
    if (pszDst == NULL || cch == 0)
        return FALSE;
    // The runtime's counted formatter leaves the buffer unterminated and returns
    // a negative count when the text does not fit; terminate it ourselves.
    int n = _vsnwprintf(pszDst, cch - 1, pszFormat, args);
    pszDst[cch - 1] = L'\0';
    if (n < 0 || static_cast<size_t>(n) >= cch) {
        return FALSE;
    }
    pszDst[n] = L'\0';
    return TRUE;
}

BOOL FormatBounded(LPWSTR pszDst, size_t cch, LPCWSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    BOOL bFitted = FormatBoundedV(pszDst, cch, pszFormat, args);
    va_end(args);
    return bFitted;
}
