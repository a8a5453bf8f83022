#include "app/TargetRunner.h"

DWORD ResumeChild(HANDLE hThread) {
    return ResumeThread(hThread);
}

BOOL TerminateChild(HANDLE hProcess) {
    return TerminateProcess(hProcess, ERROR_PROCESS_ABORTED);
}
