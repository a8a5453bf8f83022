#pragma once

#include <windows.h>

enum : size_t {
    kcchTraceLine = 4096, // one trace line, terminator included
};

// Builds one trace line into pszLine (cch characters). A notification reads
// "[Avenor][Notify] <context> -> <message> \r\n"; an error line reads
// "[Avenor] <context> -> <message>, error: <code> - <text>", where pszText is the
// system's text for the code (it normally brings its own line end). A line that
// does not fit is cut at the buffer's end. Returns TRUE when it fitted whole.
BOOL FormatTraceLine(LPWSTR pszLine, size_t cch, LPCWSTR pszContext, LPCWSTR pszMessage,
                     BOOL bNotify, DWORD dwCode, LPCWSTR pszText);

// Stands in the error line's text field when the system has no text for a code.
#define TRACE_NO_SYSTEM_TEXT L"(no system text for this code)\r\n"
