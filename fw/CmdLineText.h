#pragma once

#include <windows.h>

// Skips the program's name at the start of a full command line (quoted or not)
// and every character up to and including the space (<= 0x20) that follows
// it, as msvcrt's start-up code does for a GUI program; returns the rest,
// possibly empty, never null. (The Universal CRT differs after a closing
// quote: it lets the name run on to the next blank, so that `"Avenor.exe"/d`
// has no tail there and the tail "/d" here.)
LPCWSTR SkipProgramName(LPCWSTR pszFullCmdLine);
