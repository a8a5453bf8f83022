#pragma once

#include <windows.h>

// Skips the program's name at the start of a full command line (quoted or not)
// and the blanks and tabs that follow it, as the system's start-up code does;
// returns the rest, possibly empty, never null.
LPCWSTR SkipProgramName(LPCWSTR pszFullCmdLine);
