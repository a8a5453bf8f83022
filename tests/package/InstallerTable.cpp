// The installer package as a deployer meets it, on Windows as under Wine: the
// system's own msiexec installs, upgrades, repairs and removes the packages,
// silently, one row after another, each row starting from the state the rows
// before it left. After each row the exit code, the one entry in the list of
// installed programs (both registry views), the folder the product remembers,
// and file by file where each package's Avenor.exe and Avenor.ini are (bytes
// and version record) are as the row says; wherever they must not be, they are
// absent; a Lumora.exe placed beside them stays as it was.
// Everything comes from one folder: --files=<folder>, else the environment's
// AVENOR_INSTALLER_FILES, else the program's own folder (tests/package lays
// it out). Run it whole, from an elevated prompt on Windows.
#include "AcpiStandIn.h"
#include "ChildProcess.h"
#include "LumoraLog.h"
#include "NotRun.h"

#include <gtest/gtest.h>
#include <imagehlp.h>
#include <shlobj.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

using namespace tb;

namespace {

const wchar_t kReleased[] = L"1.0.0.2"; // the package shipped, committed
const wchar_t kHotfix[] = L"1.0.0.3";
const wchar_t kNewer[] = L"1.1.0.0";
const wchar_t kNewerHotfix[] = L"1.1.0.1";

const NotRunRow kNotRun[] = {
    {Platform::Wine, "Installer.RepairDamaged"},
};
// The rows that run a working copy.
const NeedRow kNeeds[] = {
    {Need::Driver, "Installer.Works:Installer.WorksThere:Installer.FilesInUse"},
};

std::wstring g_files; // with its trailing separator

std::wstring Package(const wchar_t *version) {
    return L"\"" + g_files + L"Avenor-" + version + L"-win32.msi\"";
}

// The folders a row installs into, each with its trailing separator.
std::wstring DefaultFolder() {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::wstring(path) + L"\\Tavrik\\Lumora\\";
}
std::wstring ScratchRoot() {
    return SystemDrive() + L"\\AvenorInstallerTable\\";
}
std::wstring OtherFolder() {
    return ScratchRoot() + L"Other\\";
}
// The command line's INSTALLDIR: no separator before the closing quote.
std::wstring Into(const std::wstring &folder) {
    return L" INSTALLDIR=\"" + folder.substr(0, folder.size() - 1) + L"\"";
}
std::wstring BusyFolder() {
    return ScratchRoot() + L"Busy\\";
}

std::string Narrow(const std::wstring &text) {
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

bool Exists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// "a.b.c.d" from the file's version record, empty when it has none.
std::wstring VersionOf(const std::wstring &path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<char> data(size);
    VS_FIXEDFILEINFO *info = nullptr;
    UINT len = 0;
    if (!size || !GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&info), &len) || !info)
        return L"";
    wchar_t text[64];
    _snwprintf(text, 64, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
               LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
               LOWORD(info->dwFileVersionLS));
    text[63] = L'\0';
    return text;
}

// Runs `program` with `tail` and waits at most two minutes; its exit code, or
// a code no step gives when it did not start or end.
DWORD Run(const std::wstring &program, const std::wstring &tail) {
    ChildProcess child;
    DWORD code = 0;
    if (!child.Start(program, tail))
        return 0xDEAD0001;
    return child.WaitForExit(120000, &code) ? code : 0xDEAD0002;
}

DWORD Msiexec(const std::wstring &arguments) {
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    return Run(std::wstring(system) + L"\\msiexec.exe", L" " + arguments + L" /qn /norestart");
}

// The demo program's key toggle with the launcher installed in `folder`.
DWORD Toggle(const std::wstring &folder) {
    return Run(g_files + L"avenor_demo.exe", L" \"" + folder.substr(0, folder.size() - 1) + L"\"");
}

std::wstring RegText(HKEY key, const wchar_t *name) {
    wchar_t value[1024] = L"";
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size) !=
        ERROR_SUCCESS)
        return L"-";
    if (type == REG_DWORD) {
        DWORD number = 0;
        memcpy(&number, value, sizeof number);
        return std::to_wstring(number);
    }
    value[size / sizeof(wchar_t)] = L'\0';
    return value;
}

// The entries named Avenor in the list of installed programs, each as
// "version,publisher,NoModify=1,location", then the remembered folder.
std::vector<std::wstring> Entries() {
    std::vector<std::wstring> entries;
    std::vector<REGSAM> views = {0};
    if (RunsUnderWow64())
        views = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    for (REGSAM view : views) {
        HKEY list = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                          KEY_READ | view, &list) != ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        for (DWORD i = 0, n = 256;
             RegEnumKeyExW(list, i, name, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, n = 256) {
            HKEY entry = nullptr;
            if (RegOpenKeyExW(list, name, 0, KEY_READ | view, &entry) != ERROR_SUCCESS)
                continue;
            if (RegText(entry, L"DisplayName") == L"Avenor")
                entries.push_back(RegText(entry, L"DisplayVersion") + L"," +
                                  RegText(entry, L"Publisher") + L",NoModify=" +
                                  RegText(entry, L"NoModify") + L"," +
                                  RegText(entry, L"InstallLocation"));
            RegCloseKey(entry);
        }
        RegCloseKey(list);
    }
    HKEY product = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tavrik\\Avenor", 0,
                      KEY_READ | KEY_WOW64_32KEY, &product) == ERROR_SUCCESS) {
        entries.push_back(L"remembers " + RegText(product, L"InstallDir"));
        RegCloseKey(product);
    }
    return entries;
}

std::vector<std::wstring> g_placed; // every Lumora.exe a row put in a folder

void PlaceLumora(const std::wstring &folder) {
    SHCreateDirectoryExW(nullptr, folder.substr(0, folder.size() - 1).c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileW((g_files + L"Lumora.exe").c_str(), (folder + L"Lumora.exe").c_str(), FALSE));
    g_placed.push_back(folder + L"Lumora.exe");
}

// After a row: `version` installed in `folder` (or nothing, with no version).
void ExpectState(const wchar_t *version, const std::wstring &folder = L"") {
    std::vector<std::wstring> want;
    if (version)
        want = {std::wstring(version) + L",Tavrik,NoModify=1," + folder, L"remembers " + folder};
    std::string got;
    for (const std::wstring &e : Entries())
        got += " [" + Narrow(e) + "]";
    std::string expected;
    for (const std::wstring &e : want)
        expected += " [" + Narrow(e) + "]";
    EXPECT_EQ(expected, got) << "the entries in the list of installed programs";
    for (const std::wstring &where : {DefaultFolder(), OtherFolder(), BusyFolder()}) {
        for (const wchar_t *file : {L"Avenor.exe", L"Avenor.ini"}) {
            const std::wstring path = where + file;
            std::string bytes, shipped;
            if (!version || where != folder) {
                EXPECT_FALSE(Exists(path)) << Narrow(path) << " is there";
                continue;
            }
            ASSERT_TRUE(ReadFileBytes(g_files + version + L"\\" + file, &shipped));
            EXPECT_TRUE(ReadFileBytes(path, &bytes) && bytes == shipped)
                << Narrow(path) << " is not the " << Narrow(version) << " package's";
        }
        if (version && where == folder) {
            EXPECT_EQ(Narrow(version), Narrow(VersionOf(where + L"Avenor.exe")));
        }
    }
    std::string lumora;
    ASSERT_TRUE(ReadFileBytes(g_files + L"Lumora.exe", &lumora));
    for (const std::wstring &placed : g_placed) {
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(placed, &bytes) && bytes == lumora)
            << Narrow(placed) << " changed or gone";
    }
}

// One msiexec step and the state it must leave.
void Step(const std::wstring &arguments, DWORD code, const wchar_t *version,
          const std::wstring &folder = L"") {
    EXPECT_EQ(code, Msiexec(arguments)) << Narrow(arguments);
    ExpectState(version, folder);
}

// Removes `folder` with everything in it, and its parent when that is left
// empty.
void Clear(const std::wstring &folder) {
    DeleteFolderTree(folder.substr(0, folder.size() - 1));
    RemoveDirectoryW(folder.substr(0, folder.find_last_of(L'\\', folder.size() - 2)).c_str());
}

// One byte of the launcher's code changed (its code runs from 0x400 to well
// past 0x1000), its size and version record kept.
void DamageCode(const std::wstring &exe) {
    HANDLE h = CreateFileW(exe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    unsigned char byte = 0;
    DWORD done = 0;
    SetFilePointer(h, 0x1000, nullptr, FILE_BEGIN);
    ReadFile(h, &byte, 1, &done, nullptr);
    byte = static_cast<unsigned char>(~byte);
    SetFilePointer(h, 0x1000, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(h, &byte, 1, &done, nullptr) && done == 1)
        << "cannot damage " << Narrow(exe);
    CloseHandle(h);
}

// Rows build on each other: each fails at once unless every row before it
// passed (or was not run on this platform) in this same process.
class Installer : public ::testing::Test {
protected:
    static std::set<std::string> &Done() {
        static std::set<std::string> done;
        return done;
    }
    void SetUp() override {
        const ::testing::UnitTest *unit = ::testing::UnitTest::GetInstance();
        const ::testing::TestSuite *suite = unit->current_test_suite();
        const std::string me = unit->current_test_info()->name();
        for (int i = 0; i < suite->total_test_count() && me != suite->GetTestInfo(i)->name(); ++i)
            if (!Done().count(suite->GetTestInfo(i)->name()))
                GTEST_FAIL()
                    << "the row " << suite->GetTestInfo(i)->name()
                    << " before this one did not pass in this run: run the whole program, in order";
    }
    void TearDown() override {
        if (!HasFailure())
            Done().insert(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
};

// What a run cut short left behind goes first. Each test launcher carries the
// version record of its package and a valid PE checksum.
TEST_F(Installer, Packages) {
    for (const wchar_t *v : {kNewerHotfix, kNewer, kHotfix, kReleased})
        if (!Entries().empty())
            Msiexec(L"/x " + Package(v));
    for (const std::wstring &folder : {DefaultFolder(), ScratchRoot()})
        Clear(folder);
    for (const wchar_t *v : {kReleased, kHotfix, kNewer, kNewerHotfix})
        EXPECT_EQ(Narrow(v), Narrow(VersionOf(g_files + v + L"\\Avenor.exe")));
    for (const wchar_t *v : {kHotfix, kNewer, kNewerHotfix}) {
        DWORD stored = 0, computed = 0;
        EXPECT_EQ(0u,
                  MapFileAndCheckSumW((g_files + v + L"\\Avenor.exe").c_str(), &stored, &computed));
        EXPECT_TRUE(stored && stored == computed)
            << Narrow(v) << ": checksum " << stored << ", not " << computed;
    }
    ExpectState(nullptr);
}

TEST_F(Installer, InstallReleased) {
    PlaceLumora(DefaultFolder());
    Step(L"/i " + Package(kReleased), 0, kReleased, DefaultFolder());
}

// A release that differs only in the fourth field replaces the one installed.
TEST_F(Installer, HotfixUpgrade) {
    Step(L"/i " + Package(kHotfix), 0, kHotfix, DefaultFolder());
}

TEST_F(Installer, HotfixDowngradeRefused) {
    Step(L"/i " + Package(kReleased), 1603, kHotfix, DefaultFolder());
}

TEST_F(Installer, Upgrade) {
    Step(L"/i " + Package(kNewer), 0, kNewer, DefaultFolder());
}

TEST_F(Installer, Works) {
    TB_NOT_RUN_WITHOUT(Need::Driver);
    EXPECT_EQ(0u, Toggle(DefaultFolder()));
    ExpectState(kNewer, DefaultFolder());
}

TEST_F(Installer, DowngradeRefused) {
    Step(L"/i " + Package(kReleased), 1603, kNewer, DefaultFolder());
}

TEST_F(Installer, Uninstall) {
    Step(L"/x " + Package(kNewer), 0, nullptr);
}

TEST_F(Installer, Elsewhere) {
    PlaceLumora(OtherFolder());
    Step(L"/i " + Package(kReleased) + Into(OtherFolder()), 0, kReleased, OtherFolder());
}

// Every later step that names no folder goes to the remembered one.
TEST_F(Installer, UpgradeThere) {
    Step(L"/i " + Package(kNewer), 0, kNewer, OtherFolder());
}

TEST_F(Installer, WorksThere) {
    TB_NOT_RUN_WITHOUT(Need::Driver);
    EXPECT_EQ(0u, Toggle(OtherFolder()));
    ExpectState(kNewer, OtherFolder());
}

TEST_F(Installer, RepairMissing) {
    ASSERT_TRUE(DeleteFileW((OtherFolder() + L"Avenor.exe").c_str()));
    ASSERT_TRUE(DeleteFileW((OtherFolder() + L"Avenor.ini").c_str()));
    Step(L"/i " + Package(kNewer), 0, kNewer, OtherFolder());
}

// The same package again leaves an intact launcher as it is, and replaces one
// of the same version whose code was damaged.
TEST_F(Installer, RepairDamaged) {
    TB_NOT_RUN_ON(Platform::Wine,
                  "Wine's msiexec never replaces a file of the same version, whatever "
                  "REINSTALLMODE asks, and no repair command of it does (README)");
    const std::wstring exe = OtherFolder() + L"Avenor.exe";
    FILETIME before = {}, after = {};
    HANDLE h =
        CreateFileW(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(h, nullptr, nullptr, &before);
    CloseHandle(h);
    EXPECT_EQ(0u, Msiexec(L"/i " + Package(kNewer)));
    h = CreateFileW(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(h, nullptr, nullptr, &after);
    CloseHandle(h);
    EXPECT_EQ(0, CompareFileTime(&before, &after)) << "an intact launcher was written again";
    DamageCode(exe);
    ASSERT_EQ(Narrow(kNewer), Narrow(VersionOf(exe)));
    Step(L"/i " + Package(kNewer), 0, kNewer, OtherFolder());
}

TEST_F(Installer, UninstallThere) {
    Step(L"/x " + Package(kNewer), 0, nullptr);
}

TEST_F(Installer, InstallAgain) {
    Step(L"/i " + Package(kReleased), 0, kReleased, DefaultFolder());
}

// An upgrade that names another folder moves the files there.
TEST_F(Installer, Moved) {
    Step(L"/i " + Package(kNewer) + Into(OtherFolder()), 0, kNewer, OtherFolder());
}

// Today's package decides the fourth field too: its hotfix replaces it, and
// it is refused over its hotfix.
TEST_F(Installer, NewerHotfix) {
    Step(L"/i " + Package(kNewerHotfix), 0, kNewerHotfix, OtherFolder());
}

TEST_F(Installer, NewerHotfixDowngradeRefused) {
    Step(L"/i " + Package(kNewer), 1603, kNewerHotfix, OtherFolder());
}

TEST_F(Installer, UninstallMoved) {
    Step(L"/x " + Package(kNewerHotfix), 0, nullptr);
}

// An upgrade while the working copy runs (Lumora open), with the restart
// manager told to close nothing: the new launcher is in place, or waits
// under another name for the next restart, and the running copy still
// toggles Lumora off. Last, in its own folder; it takes back any rename it
// left pending, and leaves no folder of the table behind.
TEST_F(Installer, FilesInUse) {
    TB_NOT_RUN_WITHOUT(Need::Driver);
    PlaceLumora(BusyFolder());
    ASSERT_EQ(0u, Msiexec(L"/i " + Package(kReleased) + Into(BusyFolder())));
    AcpiStandIn driver(g_files + (RunsUnderWow64() ? L"TvkAcpi64.sys" : L"TvkAcpi32.sys"));
    ASSERT_TRUE(driver.Start() && driver.Reset());
    ChildProcess working;
    ASSERT_TRUE(working.Start(BusyFolder() + L"Avenor.exe", L""));
    ASSERT_TRUE(WaitForLumoraWindow(30000));
    const DWORD code = Msiexec(L"/i " + Package(kNewer) + L" MSIRESTARTMANAGERCONTROL=Disable");
    std::string fresh, bytes;
    ASSERT_TRUE(ReadFileBytes(g_files + kNewer + L"\\Avenor.exe", &fresh));
    std::wstring where =
        ReadFileBytes(BusyFolder() + L"Avenor.exe", &bytes) && bytes == fresh ? L"in place" : L"";
    for (const auto &p : PendingRenames()) {
        const size_t drive = p.first.find(L":\\");
        const std::wstring from = drive == std::wstring::npos ? p.first : p.first.substr(drive - 1);
        if (p.second.find(BusyFolder() + L"Avenor.exe") != std::wstring::npos &&
            ReadFileBytes(from, &bytes) && bytes == fresh)
            where = L"as " + from + L", renamed at the next restart";
    }
    printf("exit code %lu; the new launcher is %ls\n", code,
           where.empty() ? L"nowhere" : where.c_str());
    RecordProperty("exit_code", static_cast<int>(code));
    EXPECT_EQ(3010u, code);
    EXPECT_FALSE(where.empty()) << "the new launcher is nowhere";
    ChildProcess press;
    ASSERT_TRUE(press.Start(BusyFolder() + L"Avenor.exe", L""));
    DWORD ended = 1;
    EXPECT_TRUE(working.WaitForExit(30000, &ended) && ended == 0) << "the running copy did not end";
    EXPECT_TRUE(WaitForNoLumora(10000));
    EXPECT_EQ(0u, Msiexec(L"/x " + Package(kNewer)));
    DropPendingRenamesUnder(BusyFolder());
    g_placed.clear();
    for (const std::wstring &folder : {BusyFolder(), OtherFolder(), DefaultFolder()})
        Clear(folder);
    EXPECT_FALSE(Exists(ScratchRoot()));
    ExpectState(nullptr);
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wchar_t folder[MAX_PATH] = L"";
    DWORD n = GetEnvironmentVariableW(L"AVENOR_INSTALLER_FILES", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        n = GetModuleFileNameW(nullptr, folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return 2;
        *wcsrchr(folder, L'\\') = L'\0';
    }
    g_files = folder;
    for (int i = 1; i < argc; ++i)
        if (!strncmp(argv[i], "--files=", 8)) {
            wchar_t wide[MAX_PATH] = L"";
            MultiByteToWideChar(CP_ACP, 0, argv[i] + 8, -1, wide, MAX_PATH - 1);
            g_files = wide;
        }
    if (g_files.empty() || g_files.back() != L'\\')
        g_files += L'\\';
    RegisterNotRun(kNotRun, sizeof kNotRun / sizeof kNotRun[0]);
    RegisterNeeds(kNeeds, sizeof kNeeds / sizeof kNeeds[0]);
    return RUN_ALL_TESTS();
}
