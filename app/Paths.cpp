#include "app/Paths.h"

#include "common/Globals.h"
#include "common/StrFormat.h"

BOOL DeriveAppPaths(LPCWSTR pszModulePath, AppPaths *pPaths) {
    if (pszModulePath == NULL)
        return FALSE;
    // The folder is everything up to the last separator, or up to the drive's
    // colon ("C:Avenor.exe"), however long: the runtime's splitter would cut or
    // drop a folder of _MAX_DIR characters or more, and a cut folder names the
    // wrong files. A colon anywhere else ends no folder: it names a stream of
    // a file ("C:\dir\host.txt:Avenor.exe").
    size_t cchDir = 0;
    for (size_t i = 0; pszModulePath[i] != L'\0'; ++i) {
        const WCHAR ch = pszModulePath[i];
        if (ch == L'\\' || ch == L'/' || (ch == L':' && i == 1))
            cchDir = i + 1;
    }
    if (cchDir >= MAX_PATH)
        return FALSE;
    WCHAR szDir[MAX_PATH] = {};
    lstrcpynW(szDir, pszModulePath, static_cast<int>(cchDir + 1));

    return FormatBounded(pPaths->szIniPath, MAX_PATH, L"%s" STRINGS_FILE_NAME, szDir) &&
           FormatBounded(pPaths->szAppPath, MAX_PATH, L"%s" TARGET_EXE_NAME, szDir) &&
           FormatBounded(pPaths->szAppDir, MAX_PATH, L"%s", szDir);
}
