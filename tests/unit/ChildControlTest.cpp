// The worker's own end of a target whose main thread never started (the seam
// test stands in for it there): the target goes, with the code that says why.
#include "app/TargetRunner.h"

#include <gtest/gtest.h>

TEST(ChildControl, EndsAChildThatNeverRanWithTheAbortCode) {
    WCHAR self[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &si, &pi));
    EXPECT_TRUE(TerminateChild(pi.hProcess));
    DWORD code = STILL_ACTIVE;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 10000));
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROCESS_ABORTED), code);
    TerminateProcess(pi.hProcess, 1); // a child the call left behind
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}
