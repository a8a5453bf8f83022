#include "app/CmdLine.h"
#include "fw/CmdLineText.h"
#include "fw/WinApp.h"

#include <gtest/gtest.h>

// The whole chain a launch goes through: the full command line, the framework's
// tail, then the switch test.
static bool DebugFor(const wchar_t *pszFull) {
    return IsDebugSwitch(SkipProgramName(pszFull));
}

TEST(DebugSwitch, OnlyTheWholeSwitchInAnyCaseTurnsTheTraceOn) {
    EXPECT_TRUE(DebugFor(L"Avenor.exe /d"));
    EXPECT_TRUE(DebugFor(L"Avenor.exe -d"));
    EXPECT_TRUE(DebugFor(L"Avenor.exe /D"));
    EXPECT_TRUE(DebugFor(L"Avenor.exe -D"));
    EXPECT_TRUE(DebugFor(L"\"C:\\Program Files\\Avenor.exe\" /d"));
    // The framework drops the blanks between the name and the switch...
    EXPECT_TRUE(DebugFor(L"Avenor.exe    \t /d"));
    // Every character up to the space separates, as in the C runtime's tail.
    EXPECT_TRUE(DebugFor(L"Avenor.exe\r\n\x01/d"));
    EXPECT_TRUE(DebugFor(L"\"C:\\Program Files\\Avenor.exe\"/D"));
    // ...but not those after it, nor further words.
    EXPECT_FALSE(DebugFor(L"Avenor.exe /d "));
    EXPECT_FALSE(DebugFor(L"Avenor.exe /d x"));
    EXPECT_FALSE(DebugFor(L"Avenor.exe /debug"));
    EXPECT_FALSE(DebugFor(L"Avenor.exe d"));
    EXPECT_FALSE(DebugFor(L"Avenor.exe //d"));
    EXPECT_FALSE(DebugFor(L"Avenor.exe"));
    EXPECT_FALSE(DebugFor(L"\"Avenor.exe /d\""));
    EXPECT_FALSE(IsDebugSwitch(nullptr));
}

TEST(SkipProgramName, LeavesTheTailAfterTheNameAndItsBlanks) {
    EXPECT_STREQ(L"a b", SkipProgramName(L"prog.exe a b"));
    EXPECT_STREQ(L"a", SkipProgramName(L"\"C:\\x y\\prog.exe\"   a"));
    EXPECT_STREQ(L"a", SkipProgramName(L"\"C:\\x y\\prog.exe\"a"));
    EXPECT_STREQ(L"a\nb", SkipProgramName(L"prog.exe\n\x1F a\nb"));
    EXPECT_STREQ(L"/d", SkipProgramName(L"prog.exe\t/d"));
    EXPECT_STREQ(L"", SkipProgramName(L"prog.exe"));
    EXPECT_STREQ(L"", SkipProgramName(L"\"unterminated"));
    EXPECT_STREQ(L"", SkipProgramName(L""));
    EXPECT_STREQ(L"", SkipProgramName(nullptr));
}

// The framework's sequence, with a plain application object standing in for
// the launcher's: the tail reaches it, InitInstance then ExitInstance run, and
// the latter's result is the exit code.
TEST(Framework, HandsTheTailToTheOneApplicationObject) {
    EXPECT_EQ(-1, AfxWinMain(L"/d")); // no application object
    {
        CWinApp app;
        EXPECT_EQ(&app, AfxGetApp());
        EXPECT_EQ(0, AfxWinMain(L"/d"));
        EXPECT_STREQ(L"/d", app.m_lpCmdLine);
    }
    EXPECT_EQ(nullptr, AfxGetApp());
}
