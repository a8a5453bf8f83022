// What the executable carries besides its code, read back from the built file
// as the system reads it. (The icon is its drawing script's output, checked by
// the unit run.)
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "WinePath.h"

TEST(ResourceTest, VersionRecordAndManifestNameTheProgramItsMakerVersionAndRights) {
    const std::wstring exe = tb::AvenorExePath();
    std::vector<BYTE> info(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT cb = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &cb));
    EXPECT_EQ((std::vector<DWORD>{0x00010000, 2, 0x00010000, 2, VFT_APP}),
              (std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                  fixed->dwProductVersionMS, fixed->dwProductVersionLS,
                                  fixed->dwFileType}));
    const std::pair<const wchar_t *, const wchar_t *> strings[] = {
        {L"FileDescription", L"Avenor"},  {L"InternalName", L"Avenor"},
        {L"OriginalFilename", L"Avenor"}, {L"ProductName", L"Avenor"},
        {L"CompanyName", L"Tavrik"},      {L"FileVersion", L"1.0.0.2"},
        {L"ProductVersion", L"1.0.0.2"}};
    for (const auto &s : strings) {
        const wchar_t *value = L"<missing>";
        VerQueryValueW(info.data(),
                       (std::wstring(L"\\StringFileInfo\\040904b0\\") + s.first).c_str(),
                       reinterpret_cast<void **>(const_cast<wchar_t **>(&value)), &cb);
        EXPECT_STREQ(s.second, value) << tb::ToAnsi(s.first);
    }
    // Explorer finds those strings through the translation: US English, Unicode.
    const WORD *translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(const_cast<WORD **>(&translation)), &cb));
    EXPECT_EQ((std::vector<WORD>{0x0409, 1200}),
              std::vector<WORD>(translation, translation + cb / 2));

    // The manifest the loader reads at process creation.
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, found);
    const std::string manifest(static_cast<const char *>(LockResource(LoadResource(module, found))),
                               SizeofResource(module, found));
    FreeLibrary(module);
    for (const char *wanted :
         {"<assemblyIdentity[^>]*\\sname=\"Avenor\"[^>]*/>",
          "<assemblyIdentity[^>]*\\sprocessorArchitecture=\"x86\"[^>]*/>",
          "<requestedExecutionLevel\\s+level=\"asInvoker\"\\s+uiAccess=\"false\"\\s*/>"}) {
        EXPECT_TRUE(std::regex_search(manifest, std::regex(wanted))) << wanted << "\n" << manifest;
    }
}
