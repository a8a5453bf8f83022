#include "app/Paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A module path and the strings file derived from it; an empty `ini` means
// the path is refused.
struct PathRow {
    const char *name;
    std::wstring module;
    std::wstring ini;
};

void PrintTo(const PathRow &row, std::ostream *os) {
    *os << row.name;
}

// "C:\" + a folder of `cch` characters + "\".
std::wstring Folder(size_t cch, wchar_t c) {
    return L"C:\\" + std::wstring(cch, c) + L"\\";
}

const PathRow kPathRows[] = {
    {"PlainFolder", L"C:\\Program Files\\Tavrik\\Avenor.exe",
     L"C:\\Program Files\\Tavrik\\Avenor.ini"},
    {"Share", L"\\\\server\\share\\Avenor.exe", L"\\\\server\\share\\Avenor.ini"},
    // A folder whose strings-file path needs exactly 259 characters still fits...
    {"DerivedPathOf259", Folder(245, L'a') + L"A.exe", Folder(245, L'a') + L"Avenor.ini"},
    // ...one character more and the strings file would be cut: refused.
    {"DerivedPathOf260", Folder(246, L'a') + L"A.exe", L""},
    // A folder the runtime's splitter cannot hold (256 characters and more) is
    // refused as too long, never cut or dropped.
    {"FolderOf256", Folder(254, L'c') + L"A", L""},
    // A module path that does not fit its own buffer is never split.
    {"ModulePathOver260", Folder(300, L'b') + L"A.exe", L""},
};

class DerivedPaths : public ::testing::TestWithParam<PathRow> {};

} // namespace

// Every file lies beside the executable, or the path is refused.
TEST_P(DerivedPaths, PutsEveryFileBesideTheExecutableOrRefuses) {
    const PathRow &row = GetParam();
    AppPaths paths;
    const BOOL ok = DeriveAppPaths(row.module.c_str(), &paths);
    ASSERT_EQ(!row.ini.empty(), ok != FALSE);
    if (row.ini.empty())
        return;
    const std::wstring dir = row.module.substr(0, row.module.rfind(L'\\') + 1);
    EXPECT_EQ(row.ini, paths.szIniPath);
    EXPECT_EQ(dir + L"Lumora.exe", paths.szAppPath);
    EXPECT_EQ(dir, paths.szAppDir);
}

INSTANTIATE_TEST_SUITE_P(Rows, DerivedPaths, ::testing::ValuesIn(kPathRows),
                         [](const ::testing::TestParamInfo<PathRow> &p) {
                             return std::string(p.param.name);
                         });

TEST(DerivedPathsOfNothing, IsRefused) {
    AppPaths paths;
    EXPECT_FALSE(DeriveAppPaths(nullptr, &paths));
}
