#include "common/StrFormat.h"

#include <gtest/gtest.h>

TEST(FormatBounded, TerminatesAndReportsWhetherTheTextFitted) {
    WCHAR sz[6] = {L'#', L'#', L'#', L'#', L'#', L'#'};
    EXPECT_TRUE(FormatBounded(sz, 6, L"%s", L"abcde")); // exactly fits
    EXPECT_STREQ(L"abcde", sz);
    EXPECT_FALSE(FormatBounded(sz, 6, L"%s%d", L"abcde", 7));
    EXPECT_STREQ(L"abcde", sz);
    EXPECT_FALSE(FormatBounded(sz, 6, L"0x%04X", 0x409u)); // needs 7 with its terminator
    EXPECT_STREQ(L"0x040", sz);
    // No room at all: nothing is written.
    EXPECT_FALSE(FormatBounded(sz, 0, L"x"));
    EXPECT_FALSE(FormatBounded(nullptr, 6, L"x"));
    EXPECT_STREQ(L"0x040", sz);
}
