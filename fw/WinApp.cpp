#include "fw/WinApp.h"

static CWinApp *s_pTheApp;

CWinApp::CWinApp(LPCWSTR lpszAppName) : m_pszAppName(lpszAppName), m_lpCmdLine(L"") {
    s_pTheApp = this;
}

CWinApp::~CWinApp() {
    if (s_pTheApp == this)
        s_pTheApp = NULL;
}

BOOL CWinApp::InitInstance() {
    return FALSE;
}

int CWinApp::ExitInstance() {
    // No framework loop ever ran, so there is no quit code to pass on.
    return 0;
}

CWinApp *AfxGetApp() {
    return s_pTheApp;
}

int AfxWinMain(LPCWSTR lpCmdLine) {
    CWinApp *pApp = AfxGetApp();
    if (pApp == NULL)
        return -1;
    pApp->m_lpCmdLine = lpCmdLine;
    pApp->InitInstance();
    return pApp->ExitInstance();
}
