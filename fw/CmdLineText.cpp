#include "fw/CmdLineText.h"

LPCWSTR SkipProgramName(LPCWSTR pszFullCmdLine) {
    if (pszFullCmdLine == NULL)
        return L"";
    LPCWSTR p = pszFullCmdLine;
    if (*p == L'"') {
        // A quoted name ends at the closing quote; blanks inside it belong to it.
        ++p;
        while (*p != L'\0' && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}
