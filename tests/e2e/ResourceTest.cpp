// What the executable carries besides its code, read from the built file as
// the system reads it: the version record and the manifest. (The icon is the
// output of its drawing script, checked by the unit run.)
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "WinePath.h"

using namespace tb;

namespace {

std::wstring VersionString(const std::vector<BYTE> &info, const wchar_t *name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    void *value = nullptr;
    UINT cch = 0;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &cch) || value == nullptr)
        return L"<missing>";
    return static_cast<const wchar_t *>(value);
}

// The bytes of resource (type, id) of a module loaded as data.
std::string ResourceBytes(HMODULE module, LPCWSTR type, WORD id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (found == nullptr)
        return std::string();
    const char *data = static_cast<const char *>(LockResource(LoadResource(module, found)));
    return data != nullptr ? std::string(data, SizeofResource(module, found)) : std::string();
}

} // namespace

TEST(Resources, VersionRecordNamesTheProgramItsMakerAndVersion) {
    const std::wstring exe = AvenorExePath();
    DWORD handle = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(exe.c_str(), &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT cb = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &cb));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS); // 1.0
    EXPECT_EQ(0x00000002u, fixed->dwFileVersionLS); // .0.2
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000002u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    for (const wchar_t *name :
         {L"FileDescription", L"InternalName", L"OriginalFilename", L"ProductName"}) {
        EXPECT_EQ(L"Avenor", VersionString(info, name)) << ToAnsi(name);
    }
    EXPECT_EQ(L"Tavrik", VersionString(info, L"CompanyName"));
    EXPECT_EQ(L"1.0.0.2", VersionString(info, L"FileVersion"));
    EXPECT_EQ(L"1.0.0.2", VersionString(info, L"ProductVersion"));
}

TEST(Resources, ManifestAsksForTheInvokersRightsOnX86) {
    HMODULE exe = LoadLibraryExW(AvenorExePath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, exe);

    // The manifest the loader reads at process creation.
    const std::string manifest = ResourceBytes(exe, MAKEINTRESOURCEW(24), 1);
    ASSERT_FALSE(manifest.empty());
    EXPECT_TRUE(
        std::regex_search(manifest, std::regex("<assemblyIdentity[^>]*\\sname=\"Avenor\"[^>]*/>")))
        << manifest;
    EXPECT_TRUE(std::regex_search(
        manifest, std::regex("<assemblyIdentity[^>]*\\sprocessorArchitecture=\"x86\"[^>]*/>")));
    EXPECT_TRUE(
        std::regex_search(manifest, std::regex("<requestedExecutionLevel\\s+level=\"asInvoker\"\\s+"
                                               "uiAccess=\"false\"\\s*/>")));

    FreeLibrary(exe);
}
