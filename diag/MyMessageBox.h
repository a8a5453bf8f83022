#pragma once

#include <windows.h>

// Box types: 0 information/OK, 1 error/OK, 2 question/Yes-No, 3 warning/OK.
enum : int {
    kBoxInfo = 0,
    kBoxError = 1,
    kBoxQuestion = 2,
    kBoxWarning = 3,
};

// Shows an owner-less box captioned "Tavrik Lumora" with the localized text for
// pszKey (empty when the lookup fails) and returns the button pressed; for a
// type outside 0..3 shows nothing, traces the type and returns -1.
int MyMessageBox(int nType, LPCWSTR pszKey);

// The MessageBoxW style of a box type, or 0 with FALSE for an unknown type.
BOOL BoxStyleForType(int nType, UINT *puStyle);
