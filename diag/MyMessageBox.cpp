#include "diag/MyMessageBox.h"

#include "common/Globals.h"
#include "diag/LangString.h"
#include "diag/Trace.h"

#include <stdlib.h>

BOOL BoxStyleForType(int nType, UINT *puStyle) {
    static const UINT s_auStyles[] = {
        MB_ICONINFORMATION,         // 0
        MB_ICONERROR,               // 1
        MB_ICONQUESTION | MB_YESNO, // 2
        MB_ICONWARNING,             // 3
    };
    if (nType < 0 || nType > 3) {
        *puStyle = 0;
        return FALSE;
    }
    *puStyle = s_auStyles[nType];
    return TRUE;
}

int MyMessageBox(int nType, LPCWSTR pszKey) {
    WCHAR szText[kcchPath] = {};
    ReadLanguageString(pszKey, szText);

    UINT uStyle;
    if (BoxStyleForType(nType, &uStyle))
        return MessageBoxW(NULL, szText, BOX_CAPTION, uStyle);

    WCHAR szType[16] = {};
    _itow(nType, szType, 10);
    TraceNotify(szType, L"type error @ MyMessageBox");
    return -1;
}
