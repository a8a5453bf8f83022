#include "common/Globals.h"

volatile bool g_bDebug = false;
volatile bool g_bRunning = false;

WCHAR g_tszLangID[kcchLangID];
WCHAR g_tszIniPath[kcchPath];
WCHAR g_tszAppPath[kcchPath];
WCHAR g_tszAppDir[kcchPath];
HWND g_hWnd;
