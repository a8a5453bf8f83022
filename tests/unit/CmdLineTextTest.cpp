#include "fw/CmdLineText.h"

#include <gtest/gtest.h>

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
