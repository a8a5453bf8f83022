#include "fw/WinApp.h"

static CWinApp *s_pTheApp;

CWinApp::CWinApp(LPCWSTR lpszAppName)
    : m_pszAppName(lpszAppName), m_hInstance(NULL), m_lpCmdLine(L""), m_nCmdShow(SW_SHOWNORMAL),
      m_msgCur() {
    s_pTheApp = this;
}

CWinApp::~CWinApp() {
    if (s_pTheApp == this)
        s_pTheApp = NULL;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::Run() {
    BOOL bRet;
    while ((bRet = GetMessageW(&m_msgCur, NULL, 0, 0)) != 0 && bRet != -1) {
        TranslateMessage(&m_msgCur);
        DispatchMessageW(&m_msgCur);
    }
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    // The quit code of the framework's own loop; 0 when that loop never ran.
    return static_cast<int>(m_msgCur.wParam);
}

CWinApp *AfxGetApp() {
    return s_pTheApp;
}

int AfxWinMain(HINSTANCE hInstance, LPCWSTR lpCmdLine, int nCmdShow) {
    CWinApp *pApp = AfxGetApp();
    if (pApp == NULL)
        return -1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine;
    pApp->m_nCmdShow = nCmdShow;
    if (!pApp->InitInstance())
        return pApp->ExitInstance();
    return pApp->Run();
}
