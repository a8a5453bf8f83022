#include "app/Paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(DeriveAppPaths, PutsEveryFileBesideTheExecutable) {
    AppPaths paths;
    ASSERT_TRUE(DeriveAppPaths(L"C:\\Program Files\\Tavrik\\Avenor.exe", &paths));
    EXPECT_STREQ(L"C:\\Program Files\\Tavrik\\Avenor.ini", paths.szIniPath);
    EXPECT_STREQ(L"C:\\Program Files\\Tavrik\\Lumora.exe", paths.szAppPath);
    EXPECT_STREQ(L"C:\\Program Files\\Tavrik\\", paths.szAppDir);

    ASSERT_TRUE(DeriveAppPaths(L"\\\\server\\share\\Avenor.exe", &paths));
    EXPECT_STREQ(L"\\\\server\\share\\Avenor.ini", paths.szIniPath);
    EXPECT_STREQ(L"\\\\server\\share\\", paths.szAppDir);
}

TEST(DeriveAppPaths, RefusesPathsThatWouldNotFit) {
    AppPaths paths;
    // A folder whose strings-file path needs exactly 259 characters still fits.
    const std::wstring dir = L"C:\\" + std::wstring(259 - 3 - 1 - 10, L'a') + L"\\";
    ASSERT_EQ(259u, (dir + L"Avenor.ini").size());
    ASSERT_TRUE(DeriveAppPaths((dir + L"A.exe").c_str(), &paths));
    EXPECT_EQ(dir + L"Avenor.ini", paths.szIniPath);

    // One character more and the strings file would be cut: refuse.
    const std::wstring longer = L"C:\\" + std::wstring(259 - 3 - 1 - 10 + 1, L'a') + L"\\";
    EXPECT_FALSE(DeriveAppPaths((longer + L"A.exe").c_str(), &paths));

    // A folder the runtime's splitter cannot hold (256 characters and more) is
    // refused as too long, never cut or dropped.
    const std::wstring wide = L"C:\\" + std::wstring(254, L'c') + L"\\";
    ASSERT_EQ(259u, (wide + L"A").size());
    EXPECT_FALSE(DeriveAppPaths((wide + L"A").c_str(), &paths));

    // A module path that does not fit its own buffer is never split.
    EXPECT_FALSE(DeriveAppPaths((L"C:\\" + std::wstring(300, L'b') + L"\\A.exe").c_str(), &paths));
    EXPECT_FALSE(DeriveAppPaths(nullptr, &paths));
}
