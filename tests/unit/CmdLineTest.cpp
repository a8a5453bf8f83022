#include "app/CmdLine.h"
#include "fw/CmdLineText.h"

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
    EXPECT_STREQ(L"", SkipProgramName(L"prog.exe"));
    EXPECT_STREQ(L"", SkipProgramName(L"\"unterminated"));
    EXPECT_STREQ(L"", SkipProgramName(L""));
    EXPECT_STREQ(L"", SkipProgramName(nullptr));
}
