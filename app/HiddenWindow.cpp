#include "app/HiddenWindow.h"

#include "app/RunningLamp.h"
#include "app/TargetRunner.h"
#include "common/Globals.h"
#include "common/StrFormat.h"
#include "diag/Trace.h"

HWND CreateInvisibleWindow() {
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hIcon = LoadIconW(NULL, MAKEINTRESOURCEW(32512));     // IDI_APPLICATION
    wc.hCursor = LoadCursorW(NULL, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = WRAPPER_WINDOW_NAME;
    if (!RegisterClassW(&wc))
        return NULL;

    // An ordinary top-level window, not a message-only one: later launches find
    // it by name and the system sends it the power broadcasts.
    HWND hWnd = CreateWindowExW(0, WRAPPER_WINDOW_NAME, WRAPPER_WINDOW_NAME, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, NULL, NULL, NULL, NULL);
    if (hWnd == NULL) {
        TraceError(L"CreateWindow failed", L"CreateInvisibleWindow");
        return NULL;
    }
    ShowWindow(hWnd, SW_HIDE);
    UpdateWindow(hWnd);
    return hWnd;
}

int MainThreadCreateWindow() {
    g_hWnd = CreateInvisibleWindow();
    if (g_hWnd == NULL) {
        TraceNotify(L"g_hWnd is NULL after CreateInvisibleWindow", L"MainThreadCreateWindow");
        return 0;
    }
    WCHAR szText[32];
    FormatBounded(szText, 32, L"g_hWnd: 0x%08X",
                  static_cast<unsigned>(reinterpret_cast<UINT_PTR>(g_hWnd)));
    TraceNotify(szText, L"MainThreadCreateWindow");

    // A target started by other means is asked to close before a fresh one is
    // launched.
    CloseXoltWin();

    // The worker's handle is kept for the life of the process; nobody joins it.
    HANDLE hWorker = CreateThread(NULL, 0, ExecXoltThread, NULL, 0, NULL);
    if (hWorker == NULL) {
        TraceNotify(L"CreateThread failed", L"MainThreadCreateWindow");
        return 0;
    }

    MSG msg;
    for (;;) {
        BOOL bRet = GetMessageW(&msg, NULL, 0, 0);
        if (bRet == -1) {
            TraceError(L"GetMessage return -1", L"MainThreadCreateWindow");
            g_hWnd = NULL;
            return 0;
        }
        if (bRet == 0) {
            TraceNotify(L"GetMessage Exits....", L"MainThreadCreateWindow");
            g_hWnd = NULL;
            return static_cast<int>(msg.wParam);
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

static LRESULT OnPowerBroadcast(WPARAM wParam) {
    static const LPCWSTR kszContext = L"WM_POWERBROADCAST @ WndProc";
    switch (wParam) {
    case PBT_APMRESUMESUSPEND:
        TraceNotify(L"wParam == PBT_APMRESUMESUSPEND", kszContext);
        break;
    case PBT_APMRESUMECRITICAL:
        TraceNotify(L"wParam == PBT_APMRESUMECRITICAL", kszContext);
        break;
    case PBT_APMQUERYSUSPENDFAILED:
        TraceNotify(L"wParam == PBT_APMQUERYSUSPENDFAILED", kszContext);
        break;
    default:
        // Suspend queries included: the launcher never refuses a suspend.
        TraceNotify(L"WM_POWERBROADCAST", L"WndProc");
        return TRUE;
    }
    // After a resume, or a suspend that failed, the firmware may have lost the
    // lamp's state: set it again.
    ReapplyRunningLamp();
    return TRUE;
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_DESTROY:
        TraceNotify(L"WM_DESTROY", L"WndProc");
        CloseXoltWin();
        PostQuitMessage(0);
        return 0;
    case WM_POWERBROADCAST:
        return OnPowerBroadcast(wParam);
    case WM_USER_Debug:
        // Traced before the switch flips: switching on emits no line, off does.
        TraceNotify(L"WM_USER_Debug", L"WndProc");
        g_bDebug = !g_bDebug;
        return 0;
    case WM_USER_EXEC:
        TraceNotify(L"WM_USER_EXEC", L"WndProc");
        if (g_bRunning)
            CloseXoltWin();
        return 0;
    default:
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
}
