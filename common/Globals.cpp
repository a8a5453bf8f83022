#include "common/Globals.h"

volatile BOOL g_bDebug = FALSE;
volatile BOOL g_bRunning = FALSE;

WCHAR g_tszLangID[kcchLangID];
WCHAR g_tszIniPath[kcchPath];
WCHAR g_tszAppPath[kcchPath];
WCHAR g_tszAppDir[kcchPath];
HWND g_hWnd;
