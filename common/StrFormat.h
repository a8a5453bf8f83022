#pragma once

#include <windows.h>

// printf-style formatting into a fixed wide buffer of cch characters. The result
// is always terminated; a text that does not fit is cut at the buffer's end.
// Returns TRUE when the whole text fitted. %s takes a wide string.
BOOL FormatBounded(LPWSTR pszDst, size_t cch, LPCWSTR pszFormat, ...);
BOOL FormatBoundedV(LPWSTR pszDst, size_t cch, LPCWSTR pszFormat, va_list args);
