#pragma once

#include <windows.h>

// True when the whole command-line text (the program's name and the blanks
// after it already dropped) is the developer switch "/d" or "-d", in any case.
bool IsDebugSwitch(LPCWSTR pszCmdLine);
