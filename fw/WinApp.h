// The application framework's small core: one application object per process,
// constructed statically before start-up, whose InitInstance does the program's
// work and whose ExitInstance result becomes the process exit code.
#pragma once

#include <windows.h>

class CWinApp {
public:
    explicit CWinApp(LPCWSTR lpszAppName = NULL);
    virtual ~CWinApp();

    // Start-up. This framework has no message loop of its own: whatever
    // InitInstance returns, ExitInstance follows at once.
    virtual BOOL InitInstance();
    // Clean-up; the result becomes the process exit code.
    virtual int ExitInstance();

    LPCWSTR m_pszAppName; // the name given at construction, may be null
    // The command-line text without the program's own name and the blanks that
    // follow it.
    LPCWSTR m_lpCmdLine;

private:
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;
};

// The process's one application object, or null before it is constructed.
CWinApp *AfxGetApp();

// The framework's entry: hands the command line to the application object and
// runs its sequence; returns the process exit code.
int AfxWinMain(LPCWSTR lpCmdLine);
