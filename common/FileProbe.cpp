#include "common/FileProbe.h"

bool QueryFileExistence(LPCWSTR pszPath) {
    if (pszPath == NULL)
        return false;
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened, so it
    // counts as not existing.
    HANDLE hFile = CreateFileW(pszPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}
