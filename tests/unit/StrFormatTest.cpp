#include "common/StrFormat.h"

#include <gtest/gtest.h>

TEST(FormatBounded, TerminatesAndReportsWhetherTheTextFitted) {
    WCHAR sz[6] = {L'#', L'#', L'#', L'#', L'#', L'#'};
    EXPECT_TRUE(FormatBounded(sz, 6, L"%s", L"abcde")); // exactly fits
    EXPECT_STREQ(L"abcde", sz);
    EXPECT_FALSE(FormatBounded(sz, 6, L"%s%d", L"abcde", 7));
    EXPECT_STREQ(L"abcde", sz);
    wmemset(sz, L'#', 6); // the cut text gets its terminator from FormatBounded itself
    EXPECT_FALSE(FormatBounded(sz, 6, L"0x%04X", 0x409u)); // needs 7 with its terminator
    EXPECT_EQ(0, wmemcmp(L"0x040", sz, 6));
    // No room at all: nothing is written.
    EXPECT_FALSE(FormatBounded(sz, 0, L"x"));
    EXPECT_FALSE(FormatBounded(nullptr, 6, L"x"));
    EXPECT_EQ(0, wmemcmp(L"0x040", sz, 6));
}
