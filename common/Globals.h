// Process-wide state shared by start-up, the hidden window, the worker and the
// trace, and the names by which copies of the launcher find each other.
#pragma once

#include <windows.h>

// Buffer sizes in wide characters, terminator included.
enum : size_t {
    kcchPath = MAX_PATH, // 260: derived paths
    kcchLangID = 10,     // "0x%04X"
};

// The two flags the main thread and the worker share. Each is a single byte,
// read and written whole (an aligned byte store cannot tear). volatile only
// keeps the compiler from caching a flag in a register or dropping a read or a
// write: it orders nothing against other memory and makes no read-modify-write
// atomic. So g_bDebug is inverted only on the main thread, and g_bRunning is
// written only under the lamp lock, which also orders it against the lamp.

// Trace switch: set by start-up from the command line, inverted by WM_USER_Debug,
// read by every thread that traces.
extern volatile bool g_bDebug;
// Set while the target application runs; written by the worker and by the close
// request, always together with the lamp (app/RunningLamp.h); read by the
// window procedure.
extern volatile bool g_bRunning;

extern WCHAR g_tszLangID[kcchLangID]; // the user's UI language as "0x%04X"
extern WCHAR g_tszIniPath[kcchPath];  // the strings file beside the executable
extern WCHAR g_tszAppPath[kcchPath];  // the target executable beside the executable
extern WCHAR g_tszAppDir[kcchPath];   // the executable's folder, with its trailing separator
extern HWND g_hWnd;                   // the hidden window while the loop runs

// Class and title of the hidden window: the rendezvous between copies.
#define WRAPPER_WINDOW_NAME L"Tavrik Xolt Wrapper Invisible Window"
#define WRAPPER_LOCAL_MUTEX L"Tavrik Xolt Wrapper Local Mutex"
#define WRAPPER_GLOBAL_MUTEX L"Global\\Tavrik Xolt Wrapper Global Mutex"
#define ACPI_DEVICE_PATH L"\\\\.\\TVKACPI"
#define TARGET_EXE_NAME L"Lumora.exe"
#define TARGET_WINDOW_CLASS L"RURAZAD3IRUVAV"
#define TARGET_WINDOW_TITLE L"Lumora"
#define STRINGS_FILE_NAME L"Avenor.ini"
#define BOX_CAPTION L"Tavrik Lumora"

// Private messages to the hidden window; both carry wParam 0 and lParam 0.
#define WM_USER_Debug (WM_USER + 200) // toggle the trace
#define WM_USER_EXEC (WM_USER + 201)  // another launch happened
