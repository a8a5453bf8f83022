#pragma once

#include <windows.h>

// The paths the launcher works with, all beside its own executable.
struct AppPaths {
    WCHAR szIniPath[MAX_PATH]; // <dir>Avenor.ini
    WCHAR szAppPath[MAX_PATH]; // <dir>Lumora.exe
    WCHAR szAppDir[MAX_PATH];  // <dir>, ending in its separator
};

// Derives the paths from the executable's full path: its folder is everything
// up to the last separator. Returns FALSE when there is no path or a derived
// path would not fit MAX_PATH characters: a cut path would name the wrong file.
BOOL DeriveAppPaths(LPCWSTR pszModulePath, AppPaths *pPaths);
