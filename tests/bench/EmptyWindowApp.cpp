// A second yardstick: the cheapest 32-bit GUI program that, like every launcher
// copy, loads the window manager's library and makes one hidden window, then
// creates one named mutex and ends. The difference to the plain empty program
// is the platform's price of a window.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"Avenor Benchmark Window";
    RegisterClassW(&wc);
    HWND hWnd = CreateWindowExW(0, wc.lpszClassName, wc.lpszClassName, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, NULL, NULL, NULL, NULL);
    HANDLE hMutex = CreateMutexW(NULL, FALSE, L"Avenor Benchmark Empty Mutex");
    if (hMutex != NULL)
        CloseHandle(hMutex);
    if (hWnd != NULL)
        DestroyWindow(hWnd);
    return 0;
}
