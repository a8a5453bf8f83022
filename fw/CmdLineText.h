#pragma once

#include <windows.h>

// Skips the program's name at the start of a full command line (quoted or not)
// and every character up to and including the space (<= 0x20) that follows
// it, as the C runtime's start-up code does for a GUI program; returns the
// rest, possibly empty, never null.
LPCWSTR SkipProgramName(LPCWSTR pszFullCmdLine);
