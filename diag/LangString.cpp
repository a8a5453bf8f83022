#include "diag/LangString.h"

#include "common/FileProbe.h"
#include "common/Globals.h"

BOOL ReadLanguageString(LPCWSTR pszKey, LPWSTR pszDst) {
    if (pszKey == NULL || pszDst == NULL || g_tszIniPath[0] == L'\0' ||
        !QueryFileExistence(g_tszIniPath))
        return FALSE;

    WCHAR szSection[kcchLangSection] = {};
    if (GetPrivateProfileStringW(L"Language", g_tszLangID, L"", szSection, kcchLangSection,
                                 g_tszIniPath) == 0 &&
        GetPrivateProfileStringW(L"Language", L"0x0409", L"", szSection, kcchLangSection,
                                 g_tszIniPath) == 0)
        return FALSE;

    WCHAR szText[kcchLangText] = {};
    if (GetPrivateProfileStringW(szSection, pszKey, L"", szText, kcchLangText, g_tszIniPath) == 0)
        return FALSE;

    lstrcpynW(pszDst, szText, kcchLangText);
    return TRUE;
}
