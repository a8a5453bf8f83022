#include "app/WrapperApp.h"

#include "app/CmdLine.h"
#include "app/HiddenWindow.h"
#include "app/Paths.h"
#include "app/Preflight.h"
#include "common/FileProbe.h"
#include "common/Globals.h"
#include "common/StrFormat.h"
#include "diag/MyMessageBox.h"
#include "diag/Trace.h"

// The one application object, constructed before start-up.
static CWrapperApp theApp;

CWrapperApp::CWrapperApp() : CWinApp(NULL), m_hGlobalMutex(NULL), m_hLocalMutex(NULL) {}

// Fills the process-wide paths from the executable's own path. FALSE after an
// error trace when the path is unavailable, was cut, or a derived path would
// not fit its buffer.
static BOOL InitPaths() {
    WCHAR szModule[kcchPath] = {};
    DWORD cch = GetModuleFileNameW(NULL, szModule, kcchPath);
    if (cch == 0 || cch >= kcchPath) {
        // A full buffer means the path was cut (older systems do not say so).
        if (cch >= kcchPath)
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
        TraceError(L"GetModuleFileName failed", L"InitInstance");
        return FALSE;
    }
    AppPaths paths;
    if (!DeriveAppPaths(szModule, &paths)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        TraceError(L"Path too long", L"InitInstance");
        return FALSE;
    }
    lstrcpynW(g_tszIniPath, paths.szIniPath, kcchPath);
    lstrcpynW(g_tszAppPath, paths.szAppPath, kcchPath);
    lstrcpynW(g_tszAppDir, paths.szAppDir, kcchPath);
    return TRUE;
}

BOOL CWrapperApp::InitInstance() {
    if (IsDebugSwitch(m_lpCmdLine))
        g_bDebug = true;
    TraceNotify(L"v1.0.0001 (Copyright (C) 2009 Tavrik)", L"Avenor");

    m_hGlobalMutex = NULL;
    m_hLocalMutex = NULL;

    FormatBounded(g_tszLangID, kcchLangID, L"0x%04X",
                  static_cast<unsigned>(GetUserDefaultUILanguage() & 0xFFFF));
    TraceNotify(g_tszLangID, L"InitInstance - GetUserDefaultUILanguage (g_tszLangID)");

    if (!InitPaths())
        return FALSE;

    if (!QueryFileExistence(g_tszIniPath) &&
        MessageBoxW(NULL, L"Cannot find Avenor.ini. Continue?", BOX_CAPTION,
                    MB_ICONINFORMATION | MB_YESNO) == IDNO)
        return FALSE;

    if (!CheckAcpiDriver()) {
        MyMessageBox(kBoxError, L"IDS_CHKTAVRIK");
        return FALSE;
    }

    m_hLocalMutex = CreateMutexW(NULL, FALSE, WRAPPER_LOCAL_MUTEX);
    if (m_hLocalMutex == NULL) {
        TraceError(L"m_hLocalMutex == NULL", L"InitInstance");
        return FALSE;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        ForwardToRunningCopy();
        return FALSE;
    }

    m_hGlobalMutex = CreateMutexW(NULL, FALSE, WRAPPER_GLOBAL_MUTEX);
    const DWORD dwError = GetLastError();
    if (m_hGlobalMutex == NULL) {
        if (dwError == ERROR_ACCESS_DENIED) {
            // The mutex exists, but this user may not open it: another user's copy.
            TraceNotify(L"m_hGlobalMutex - ERROR_ACCESS_DENIED", L"InitInstance");
            MyMessageBox(kBoxInfo, L"IDS_USEROCCUPY");
        } else {
            TraceNotify(L"m_hGlobalMutex == NULL", L"InitInstance");
        }
        return FALSE;
    }
    if (dwError == ERROR_ALREADY_EXISTS) {
        // A copy runs in another session.
        TraceNotify(L"m_hGlobalMutex - ERROR_ALREADY_EXISTS", L"InitInstance");
        MyMessageBox(kBoxInfo, L"IDS_USEROCCUPY");
        return FALSE;
    }

    MainThreadCreateWindow();
    return FALSE;
}

void CWrapperApp::ForwardToRunningCopy() {
    TraceNotify(L"m_hLocalMutex - ERROR_ALREADY_EXISTS", L"InitInstance");
    HWND hWnd = FindWindowExW(NULL, NULL, WRAPPER_WINDOW_NAME, WRAPPER_WINDOW_NAME);
    if (hWnd == NULL) {
        // The running copy has its mutex but not yet, or no longer, its window.
        TraceError(L"Mutex exist but FindWindowEx failed", L"InitInstance");
        return;
    }
    // The trace toggle must reach the running copy before the launch itself.
    if (IsDebugSwitch(m_lpCmdLine))
        PostMessageW(hWnd, WM_USER_Debug, 0, 0);
    PostMessageW(hWnd, WM_USER_EXEC, 0, 0);
}

int CWrapperApp::ExitInstance() {
    TraceNotify(L"I am called!", L"ExitInstance");
    // The machine-wide marker goes first. A key press that lands between the
    // two closes then finds this session's marker without a window and ends
    // quietly; the other order would show it the "another session" refusal.
    if (m_hGlobalMutex != NULL)
        CloseHandle(m_hGlobalMutex);
    if (m_hLocalMutex != NULL)
        CloseHandle(m_hLocalMutex);
    return CWinApp::ExitInstance();
}
