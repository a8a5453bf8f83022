#include "app/Paths.h"

#include <gtest/gtest.h>

#include "RowName.h"

#include <string>
#include <wchar.h>

namespace {

// A module path and the strings file derived from it (none when refused).
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

const PathRow kFitting[] = {
    {"PlainFolder", L"C:\\Program Files\\Tavrik\\Avenor.exe",
     L"C:\\Program Files\\Tavrik\\Avenor.ini"},
    {"Share", L"\\\\server\\share\\Avenor.exe", L"\\\\server\\share\\Avenor.ini"},
    // Only a drive's colon ends a folder; the program may run from a stream.
    {"DriveRelative", L"C:Avenor.exe", L"C:Avenor.ini"},
    {"ProgramInAStream", L"C:\\Tavrik\\host.txt:Avenor.exe", L"C:\\Tavrik\\Avenor.ini"},
    // A folder whose strings-file path needs exactly 259 characters still fits...
    {"DerivedPathOf259", Folder(245, L'a') + L"A.exe", Folder(245, L'a') + L"Avenor.ini"},
};

const PathRow kRefused[] = {
    // ...one character more and the strings file would be cut: refused.
    {"DerivedPathOf260", Folder(246, L'a') + L"A.exe", L""},
    // A folder the runtime's splitter cannot hold (256 characters and more) is
    // refused as too long, never cut or dropped.
    {"FolderOf256", Folder(254, L'c') + L"A", L""},
    // A module path that does not fit its own buffer is never split.
    {"ModulePathOver260", Folder(300, L'b') + L"A.exe", L""},
};

class DerivedPaths : public ::testing::TestWithParam<PathRow> {};
class RefusedPaths : public ::testing::TestWithParam<PathRow> {};

} // namespace

// Every file lies beside the executable.
TEST_P(DerivedPaths, PutEveryFileBesideTheExecutable) {
    const PathRow &row = GetParam();
    const std::wstring dir = row.ini.substr(0, row.ini.size() - wcslen(L"Avenor.ini"));
    AppPaths paths;
    ASSERT_TRUE(DeriveAppPaths(row.module.c_str(), &paths));
    EXPECT_EQ(row.ini, paths.szIniPath);
    EXPECT_EQ(dir + L"Lumora.exe", paths.szAppPath);
    EXPECT_EQ(dir, paths.szAppDir);
}

INSTANTIATE_TEST_SUITE_P(Rows, DerivedPaths, ::testing::ValuesIn(kFitting), RowName<PathRow>);

// A path that would not fit is refused, never cut.
TEST_P(RefusedPaths, AreNotDerived) {
    AppPaths paths;
    EXPECT_FALSE(DeriveAppPaths(GetParam().module.c_str(), &paths));
}

INSTANTIATE_TEST_SUITE_P(Rows, RefusedPaths, ::testing::ValuesIn(kRefused), RowName<PathRow>);

TEST(DerivedPathsOfNothing, IsRefused) {
    AppPaths paths;
    EXPECT_FALSE(DeriveAppPaths(nullptr, &paths));
}
