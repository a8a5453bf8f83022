#include "diag/TraceLine.h"

#include <gtest/gtest.h>

#include <string>

TEST(TraceLine, NotificationPutsTheContextFirstAndEndsInBlankCrLf) {
    WCHAR sz[kcchTraceLine];
    ASSERT_TRUE(FormatTraceLine(sz, kcchTraceLine, L"WndProc", L"WM_DESTROY", TRUE, 0, nullptr));
    EXPECT_STREQ(L"[Avenor][Notify] WndProc -> WM_DESTROY \r\n", sz);
    ASSERT_TRUE(FormatTraceLine(sz, kcchTraceLine, nullptr, nullptr, TRUE, 0, nullptr));
    EXPECT_STREQ(L"[Avenor][Notify]  ->  \r\n", sz);
    // Only the low byte of the kind counts.
    ASSERT_TRUE(FormatTraceLine(sz, kcchTraceLine, L"c", L"m", 0x100, 0, L"text"));
    EXPECT_STREQ(L"[Avenor] c -> m, error: 0 - text", sz);
}

TEST(TraceLine, ErrorLineCarriesTheCodeAndTheSystemText) {
    WCHAR sz[kcchTraceLine];
    FormatTraceLine(sz, kcchTraceLine, L"InitInstance", L"m_hLocalMutex == NULL", FALSE, 5,
                    L"Access denied.\r\n");
    EXPECT_STREQ(L"[Avenor] InitInstance -> m_hLocalMutex == NULL, error: 5 - Access denied.\r\n",
                 sz);
    // Codes are unsigned decimal, the largest included.
    FormatTraceLine(sz, kcchTraceLine, L"c", L"m", FALSE, 0xFFFFFFFFu, L"x");
    EXPECT_STREQ(L"[Avenor] c -> m, error: 4294967295 - x", sz);
    // No system text for the code: the line still goes out, with a placeholder.
    FormatTraceLine(sz, kcchTraceLine, L"c", L"m", FALSE, 0xE0001234u, nullptr);
    EXPECT_EQ(std::wstring(L"[Avenor] c -> m, error: 3758101044 - ") + TRACE_NO_SYSTEM_TEXT, sz);
}

TEST(TraceLine, LongLinesAreCutAtTheBufferEnd) {
    // A canary after the buffer proves nothing is written past it.
    WCHAR sz[kcchTraceLine + 1];
    sz[kcchTraceLine] = L'#';
    const std::wstring huge(10000, L'x');
    EXPECT_FALSE(FormatTraceLine(sz, kcchTraceLine, L"ctx", huge.c_str(), TRUE, 0, nullptr));
    EXPECT_EQ(kcchTraceLine - 1, wcslen(sz));
    EXPECT_EQ(L'#', sz[kcchTraceLine]);
    EXPECT_EQ(0, wcsncmp(sz, L"[Avenor][Notify] ctx -> xxx", 27));
}
