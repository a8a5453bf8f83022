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
        while (*p > L' ')
            ++p;
    }
    // Every character up to and including the space separates the name from
    // the rest: blanks, tabs and line breaks alike.
    while (*p != L'\0' && *p <= L' ')
        ++p;
    return p;
}
