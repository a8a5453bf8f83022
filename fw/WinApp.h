// The application framework's small core: one application object per process,
// constructed statically before start-up, whose InitInstance does the program's
// work and whose ExitInstance result becomes the process exit code.
#pragma once

#include <windows.h>

class CWinApp {
public:
    explicit CWinApp(LPCWSTR lpszAppName = NULL);
    virtual ~CWinApp();

    // Start-up. Returning FALSE skips the framework's message loop and goes
    // straight to ExitInstance.
    virtual BOOL InitInstance();
    // The framework's message loop, entered only when InitInstance returns TRUE.
    virtual int Run();
    // Clean-up; the result becomes the process exit code.
    virtual int ExitInstance();

    LPCWSTR m_pszAppName; // the name given at construction, may be null
    HINSTANCE m_hInstance;
    // The command-line text without the program's own name and the blanks that
    // follow it.
    LPCWSTR m_lpCmdLine;
    int m_nCmdShow;

protected:
    MSG m_msgCur; // the last message the framework's own loop retrieved

private:
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;
};

// The process's one application object, or null before it is constructed.
CWinApp *AfxGetApp();

// The framework's entry: fills the application object and runs its sequence.
int AfxWinMain(HINSTANCE hInstance, LPCWSTR lpCmdLine, int nCmdShow);
