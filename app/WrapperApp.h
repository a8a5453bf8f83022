#pragma once

#include "fw/WinApp.h"

// The launcher's application object. All of its work happens inside
// InitInstance, which always returns FALSE so that the framework goes straight
// to ExitInstance and ends the process.
class CWrapperApp : public CWinApp {
public:
    CWrapperApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    // Forwards this key press to the copy that already runs in this session.
    void ForwardToRunningCopy();

    HANDLE m_hGlobalMutex; // marks a running copy machine-wide
    HANDLE m_hLocalMutex;  // marks a running copy in this session
};
