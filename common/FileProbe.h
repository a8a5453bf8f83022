#pragma once

#include <windows.h>

// True when pszPath names an existing file that can be opened (no access rights
// requested, read and write shared). A null path and a directory count as missing.
bool QueryFileExistence(LPCWSTR pszPath);
