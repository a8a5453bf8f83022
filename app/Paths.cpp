#include "app/Paths.h"

#include "common/Globals.h"
#include "common/StrFormat.h"

#include <stdlib.h>
#include <wchar.h>

BOOL DeriveAppPaths(LPCWSTR pszModulePath, AppPaths *pPaths) {
    // The splitter is told no buffer sizes: the drive is at most "X:", and the
    // folder is never longer than the path, which must fit MAX_PATH itself.
    if (pszModulePath == NULL || wcslen(pszModulePath) >= MAX_PATH)
        return FALSE;
    WCHAR szDrive[_MAX_DRIVE] = {};
    WCHAR szDir[MAX_PATH] = {};
    _wsplitpath(pszModulePath, szDrive, szDir, NULL, NULL);

    return FormatBounded(pPaths->szIniPath, MAX_PATH, L"%s%s" STRINGS_FILE_NAME, szDrive, szDir) &&
           FormatBounded(pPaths->szAppPath, MAX_PATH, L"%s%s" TARGET_EXE_NAME, szDrive, szDir) &&
           FormatBounded(pPaths->szAppDir, MAX_PATH, L"%s%s", szDrive, szDir);
}
