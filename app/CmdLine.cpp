#include "app/CmdLine.h"

#include <wchar.h>

bool IsDebugSwitch(LPCWSTR pszCmdLine) {
    if (pszCmdLine == NULL)
        return false;
    return _wcsicmp(pszCmdLine, L"/d") == 0 || _wcsicmp(pszCmdLine, L"-d") == 0;
}
