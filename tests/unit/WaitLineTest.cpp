#include "app/TargetRunner.h"

#include <gtest/gtest.h>

#include <string>

TEST(WaitLine, EachOutcomeHasItsText) {
    WCHAR sz[kcchWorkerText];
    EXPECT_TRUE(FormatWaitLine(sz, kcchWorkerText, 'I', 0, 0, 0x1F4, 350, L"C:\\A\\Lumora.exe"));
    EXPECT_STREQ(L"WaitForInputIdle succeed, PID: 0x000001F4, it takes 350 ms (C:\\A\\Lumora.exe)",
                 sz);
    EXPECT_TRUE(FormatWaitLine(sz, kcchWorkerText, 'I', WAIT_TIMEOUT, 0, 0x20, 5, L"p"));
    EXPECT_STREQ(L"WaitForInputIdle WAIT_TIMEOUT, PID: 0x00000020, it takes 5 ms (p)", sz);
    EXPECT_TRUE(FormatWaitLine(sz, kcchWorkerText, 'S', 0, 0, 0xABC, 61000, L"p"));
    EXPECT_STREQ(L"WaitForSingleObject succeed, PID: 0x00000ABC, it takes 61000 ms (p)", sz);
    EXPECT_TRUE(FormatWaitLine(sz, kcchWorkerText, 'S', WAIT_ABANDONED, 0, 1, 2, L"p"));
    EXPECT_STREQ(L"WaitForSingleObject WAIT_ABANDONED, PID: 0x00000001, it takes 2 ms (p)", sz);
    EXPECT_TRUE(FormatWaitLine(sz, kcchWorkerText, 'S', WAIT_TIMEOUT, 0, 1, 2, L"p"));
    EXPECT_STREQ(L"WaitForSingleObject WAIT_TIMEOUT, PID: 0x00000001, it takes 2 ms (p)", sz);
}

TEST(WaitLine, FailedWaitsAreErrorLinesWithTheCodeFirst) {
    WCHAR sz[kcchWorkerText];
    EXPECT_FALSE(FormatWaitLine(sz, kcchWorkerText, 'I', WAIT_FAILED, 6, 0x10, 0, L"p"));
    EXPECT_STREQ(
        L"WaitForInputIdle failed (ErrCode: 0x00000006) - PID: 0x00000010, it takes 0 ms (p)", sz);
    EXPECT_FALSE(FormatWaitLine(sz, kcchWorkerText, 'S', WAIT_FAILED, 5, 0x10, 1, L"p"));
    EXPECT_STREQ(
        L"WaitForSingleObject failed (ErrCode: 0x00000005) - PID: 0x00000010, it takes 1 ms (p)",
        sz);
}

TEST(WaitLine, ALongInstallationPathIsCutNotOverflowed) {
    WCHAR sz[kcchWorkerText + 1];
    sz[kcchWorkerText] = L'#';
    const std::wstring path = L"C:\\" + std::wstring(250, L'd') + L"\\Lumora.exe";
    FormatWaitLine(sz, kcchWorkerText, 'S', 0, 0, 1, 2, path.c_str());
    EXPECT_EQ(kcchWorkerText - 1, wcslen(sz));
    EXPECT_EQ(L'#', sz[kcchWorkerText]);
}
