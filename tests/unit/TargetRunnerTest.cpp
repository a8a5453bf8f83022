#include "app/TargetRunner.h"

#include <gtest/gtest.h>

#include "RowName.h"

#include <string>

namespace {

struct WaitRow {
    const char *name;
    char wait;           // 'I' input-idle, 'S' process exit
    DWORD result;        // what the wait returned
    DWORD error;         // the last error after it
    WaitLineKind kind;   // how it is traced
    const wchar_t *text; // the line's text; null when there is none
};

class WaitLine : public ::testing::TestWithParam<WaitRow> {};

const WaitRow kWaitRows[] = {
    {"InputIdleSucceeded", 'I', 0, 0, kWaitLineNotify,
     L"WaitForInputIdle succeed, PID: 0x000001F4, it takes 350 ms (C:\\A\\Lumora.exe)"},
    {"InputIdleTimedOut", 'I', WAIT_TIMEOUT, 0, kWaitLineNotify,
     L"WaitForInputIdle WAIT_TIMEOUT, PID: 0x000001F4, it takes 350 ms (C:\\A\\Lumora.exe)"},
    {"InputIdleFailed", 'I', WAIT_FAILED, 6, kWaitLineError,
     L"WaitForInputIdle failed (ErrCode: 0x00000006) - PID: 0x000001F4, it takes 350 ms "
     L"(C:\\A\\Lumora.exe)"},
    // The input-idle wait cannot be abandoned; other values give no line.
    {"InputIdleAbandoned", 'I', WAIT_ABANDONED, 0, kWaitLineNone, nullptr},
    {"InputIdleOtherResult", 'I', 1, 0, kWaitLineNone, nullptr},
    {"ExitSucceeded", 'S', 0, 0, kWaitLineNotify,
     L"WaitForSingleObject succeed, PID: 0x000001F4, it takes 350 ms (C:\\A\\Lumora.exe)"},
    {"ExitTimedOut", 'S', WAIT_TIMEOUT, 0, kWaitLineNotify,
     L"WaitForSingleObject WAIT_TIMEOUT, PID: 0x000001F4, it takes 350 ms (C:\\A\\Lumora.exe)"},
    {"ExitAbandoned", 'S', WAIT_ABANDONED, 0, kWaitLineNotify,
     L"WaitForSingleObject WAIT_ABANDONED, PID: 0x000001F4, it takes 350 ms (C:\\A\\Lumora.exe)"},
    {"ExitFailed", 'S', WAIT_FAILED, 5, kWaitLineError,
     L"WaitForSingleObject failed (ErrCode: 0x00000005) - PID: 0x000001F4, it takes 350 ms "
     L"(C:\\A\\Lumora.exe)"},
    {"ExitAbandonedPlusOne", 'S', WAIT_ABANDONED + 1, 0, kWaitLineNone, nullptr},
    {"ExitOtherResult", 'S', 0x12345, 0, kWaitLineNone, nullptr},
};

} // namespace

TEST_P(WaitLine, EachResultHasItsLineOrNone) {
    const WaitRow &row = GetParam();
    WCHAR sz[kcchWorkerText] = L"untouched";
    EXPECT_EQ(row.kind, FormatWaitLine(sz, kcchWorkerText, row.wait, row.result, row.error, 0x1F4,
                                       350, L"C:\\A\\Lumora.exe"));
    EXPECT_STREQ(row.text != nullptr ? row.text : L"untouched", sz);
}

INSTANTIATE_TEST_SUITE_P(Results, WaitLine, ::testing::ValuesIn(kWaitRows), RowName<WaitRow>);

TEST(WaitLineBound, ALongInstallationPathIsCutNotOverflowed) {
    WCHAR sz[kcchWorkerText + 1];
    sz[kcchWorkerText] = L'#';
    const std::wstring path = L"C:\\" + std::wstring(250, L'd') + L"\\Lumora.exe";
    FormatWaitLine(sz, kcchWorkerText, 'S', 0, 0, 1, 2, path.c_str());
    EXPECT_EQ(kcchWorkerText - 1, wcslen(sz));
    EXPECT_EQ(L'#', sz[kcchWorkerText]);
}
