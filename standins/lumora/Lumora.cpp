// Stand-in for the assistant application the launcher starts. It shows the
// main window the launcher looks for, runs a message loop so that it becomes
// input-idle, and appends what happens to it to a log the tests read:
//
//   start pid=<pid> cmdline=<command line> cwd=<current directory> lamp=<-1|0|1>
//   close                 (every WM_CLOSE)
//   crash                 (just before a requested crash)
//   exit code=<n>         (normal end)
//
// The log is "Lumora.log" beside the executable, or the full path in LUMORA_LOG.
// Each line is one open-append-close, so a crash loses nothing already written.
//
// LUMORA_MODE, comma-separated:
//   ignore-close       record WM_CLOSE but stay open
//   exit-after=<ms>    end by itself after that long
//   crash-after=<ms>   fault (access violation) after that long
//   exit-code=<n>      exit code of a normal end (default 0)
//   idle-delay=<ms>    sleep that long before creating the window

#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "AcpiStandInProtocol.h"

namespace {

const wchar_t kClassName[] = L"RURAZAD3IRUVAV";
const wchar_t kTitle[] = L"Lumora";
const UINT_PTR kTimerExit = 1;
const UINT_PTR kTimerCrash = 2;

struct Mode {
    bool bIgnoreClose = false;
    DWORD dwExitAfter = 0; // 0: never
    DWORD dwCrashAfter = 0;
    DWORD dwIdleDelay = 0;
    UINT uExitCode = 0;
};

Mode g_mode;
wchar_t g_szLogPath[MAX_PATH + 16];

// Current lamp state as the ACPI driver stand-in saw it, -1 when unknown.
int ReadLamp() {
    HANDLE hDev = CreateFileW(ACPI_STANDIN_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hDev == INVALID_HANDLE_VALUE)
        return -1;
    static AcpiStandInHistory history;
    DWORD cbReturned = 0;
    BOOL bOk = DeviceIoControl(hDev, ACPI_STANDIN_IOCTL_GET_HISTORY, NULL, 0, &history,
                               sizeof(history), &cbReturned, NULL);
    CloseHandle(hDev);
    if (!bOk || cbReturned < 2 * sizeof(unsigned int))
        return -1;
    return history.lamp < 0 ? -1 : (history.lamp ? 1 : 0);
}

void InitLogPath() {
    DWORD cch = GetEnvironmentVariableW(L"LUMORA_LOG", g_szLogPath, MAX_PATH);
    if (cch > 0 && cch < MAX_PATH)
        return;
    DWORD n = GetModuleFileNameW(NULL, g_szLogPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        g_szLogPath[0] = L'\0';
        return;
    }
    wchar_t *pszSlash = wcsrchr(g_szLogPath, L'\\');
    wchar_t *pszName = pszSlash ? pszSlash + 1 : g_szLogPath;
    wcscpy(pszName, L"Lumora.log"); // fits: the buffer has room past MAX_PATH
}

// Appends one line (UTF-8, CRLF). Opened for append only, so concurrent
// writers never overwrite each other's lines.
void LogLine(const wchar_t *pszFormat, ...) {
    if (g_szLogPath[0] == L'\0')
        return;
    wchar_t szLine[4096];
    va_list args;
    va_start(args, pszFormat);
    int n = _vsnwprintf(szLine, ARRAYSIZE(szLine) - 3, pszFormat, args);
    va_end(args);
    if (n < 0) // cut to what fits
        n = ARRAYSIZE(szLine) - 3;
    szLine[n++] = L'\r';
    szLine[n++] = L'\n';
    szLine[n] = L'\0';

    char szUtf8[4096 * 3];
    int cb = WideCharToMultiByte(CP_UTF8, 0, szLine, n, szUtf8, sizeof(szUtf8), NULL, NULL);
    if (cb <= 0)
        return;
    HANDLE hFile = CreateFileW(g_szLogPath, FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    WriteFile(hFile, szUtf8, static_cast<DWORD>(cb), &cbWritten, NULL);
    CloseHandle(hFile);
}

// Value of "name=<n>" when pszToken starts with name=, else false.
bool TokenValue(const wchar_t *pszToken, const wchar_t *pszName, DWORD *pValue) {
    size_t cchName = wcslen(pszName);
    if (wcsncmp(pszToken, pszName, cchName) != 0 || pszToken[cchName] != L'=')
        return false;
    *pValue = wcstoul(pszToken + cchName + 1, NULL, 10);
    return true;
}

void ReadMode() {
    wchar_t szMode[512];
    DWORD cch = GetEnvironmentVariableW(L"LUMORA_MODE", szMode, ARRAYSIZE(szMode));
    if (cch == 0 || cch >= ARRAYSIZE(szMode))
        return;
    wchar_t *pszToken = szMode;
    while (pszToken != NULL) {
        wchar_t *pszComma = wcschr(pszToken, L',');
        if (pszComma != NULL)
            *pszComma = L'\0';
        while (*pszToken == L' ')
            ++pszToken;
        DWORD dwValue = 0;
        if (wcscmp(pszToken, L"ignore-close") == 0)
            g_mode.bIgnoreClose = true;
        else if (TokenValue(pszToken, L"exit-after", &dwValue))
            g_mode.dwExitAfter = dwValue;
        else if (TokenValue(pszToken, L"crash-after", &dwValue))
            g_mode.dwCrashAfter = dwValue;
        else if (TokenValue(pszToken, L"idle-delay", &dwValue))
            g_mode.dwIdleDelay = dwValue;
        else if (TokenValue(pszToken, L"exit-code", &dwValue))
            g_mode.uExitCode = dwValue;
        pszToken = pszComma != NULL ? pszComma + 1 : NULL;
    }
}

// Ends the process the way an unhandled fault does (exit code 0xC0000005),
// without handing it to a just-in-time debugger first: that would only slow
// the end down and fill the tests' output with a backtrace.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS *) {
    return EXCEPTION_EXECUTE_HANDLER;
}

// Writes to reserved but uncommitted memory: an access violation wherever the
// process runs (page zero is not reliably unmapped under every loader).
void Crash() {
    LogLine(L"crash");
    SetUnhandledExceptionFilter(EndOnFault);
    volatile int *pBad =
        static_cast<volatile int *>(VirtualAlloc(NULL, 4096, MEM_RESERVE, PAGE_NOACCESS));
    if (pBad != NULL)
        *pBad = 0xC0DE;
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, NULL);
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_CLOSE:
        LogLine(L"close");
        if (!g_mode.bIgnoreClose)
            DestroyWindow(hWnd);
        return 0;
    case WM_TIMER:
        if (wParam == kTimerExit) {
            KillTimer(hWnd, kTimerExit);
            DestroyWindow(hWnd);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(static_cast<int>(g_mode.uExitCode));
        return 0;
    default:
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow) {
    // First of all: whoever started us must have lit the lamp by now.
    int nLamp = ReadLamp();

    InitLogPath();
    ReadMode();
    wchar_t szCwd[MAX_PATH * 2];
    DWORD cchCwd = GetCurrentDirectoryW(ARRAYSIZE(szCwd), szCwd);
    if (cchCwd == 0 || cchCwd >= ARRAYSIZE(szCwd))
        szCwd[0] = L'\0';
    LogLine(L"start pid=%lu cmdline=%ls cwd=%ls lamp=%d", GetCurrentProcessId(), GetCommandLineW(),
            szCwd, nLamp);

    if (g_mode.dwIdleDelay)
        Sleep(g_mode.dwIdleDelay);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconW(NULL, IDI_APPLICATION);
    wc.hCursor = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc))
        return 1;
    HWND hWnd = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 320, 200, NULL, NULL, hInstance, NULL);
    if (hWnd == NULL)
        return 1;
    ShowWindow(hWnd, nCmdShow);

    if (g_mode.dwExitAfter)
        SetTimer(hWnd, kTimerExit, g_mode.dwExitAfter, NULL);
    if (g_mode.dwCrashAfter)
        SetTimer(hWnd, kTimerCrash, g_mode.dwCrashAfter, NULL);

    MSG msg;
    int nExit = static_cast<int>(g_mode.uExitCode);
    for (;;) {
        BOOL bGot = GetMessageW(&msg, NULL, 0, 0);
        if (bGot == 0) {
            nExit = static_cast<int>(msg.wParam);
            break;
        }
        if (bGot == -1)
            break;
        // Faults inside a dispatched WM_TIMER are swallowed by the system, so
        // the crash happens here, on the loop's own frame.
        if (msg.message == WM_TIMER && msg.wParam == kTimerCrash)
            Crash();
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    LogLine(L"exit code=%u", static_cast<UINT>(nExit));
    return nExit;
}
