#include "app/TargetRunner.h"

DWORD ResumeChild(HANDLE hThread) {
    return ResumeThread(hThread);
}
