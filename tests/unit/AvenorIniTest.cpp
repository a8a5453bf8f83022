// The strings file that ships, read as the launcher reads it: every id of the
// Language table is well formed and names a section, and every section has
// both texts, none of them longer than the launcher reads.
#include "diag/LangString.h"

#include <gtest/gtest.h>

#include "WinePath.h"

#include <string>
#include <vector>

namespace {

// The strings file beside the launcher under test (the build copies it there
// from res\).
std::wstring ShippedIniPath() {
    return tb::AvenorIniPath();
}

// The strings of a double-null-terminated list.
std::vector<std::wstring> Split(const wchar_t *list) {
    std::vector<std::wstring> items;
    for (const wchar_t *p = list; *p != L'\0'; p += items.back().size() + 1)
        items.emplace_back(p);
    return items;
}

bool IsLanguageId(const std::wstring &id) {
    if (id.size() != 6 || id.compare(0, 2, L"0x") != 0)
        return false;
    for (size_t i = 2; i < id.size(); ++i)
        if (!((id[i] >= L'0' && id[i] <= L'9') || (id[i] >= L'A' && id[i] <= L'F')))
            return false;
    return true;
}

} // namespace

TEST(ShippedIni, EveryIdNamesASectionAndEverySectionHasBothTextsUncut) {
    const std::wstring ini = ShippedIniPath();
    static wchar_t buf[32768];
    ASSERT_NE(0u, GetPrivateProfileSectionNamesW(buf, ARRAYSIZE(buf), ini.c_str()))
        << "cannot read " << std::string(ini.begin(), ini.end());
    std::vector<std::wstring> sections = Split(buf);
    auto isSection = [&](const std::wstring &name) {
        for (const std::wstring &s : sections)
            if (lstrcmpiW(s.c_str(), name.c_str()) == 0)
                return true;
        return false;
    };

    ASSERT_NE(0u, GetPrivateProfileSectionW(L"Language", buf, ARRAYSIZE(buf), ini.c_str()));
    bool hasFallback = false;
    for (const std::wstring &line : Split(buf)) {
        if (line[0] == L';')
            continue;
        const size_t eq = line.find(L'=');
        const std::wstring id = line.substr(0, eq);
        const std::wstring name = eq == std::wstring::npos ? L"" : line.substr(eq + 1);
        SCOPED_TRACE(std::string(id.begin(), id.end()));
        EXPECT_TRUE(IsLanguageId(id)) << "not \"0x\" and four upper-case hex digits";
        EXPECT_LT(name.size(), static_cast<size_t>(kcchLangSection)) << "section name cut";
        EXPECT_TRUE(isSection(name)) << "names no section";
        hasFallback = hasFallback || id == L"0x0409";
    }
    EXPECT_TRUE(hasFallback) << "no entry for the fallback 0x0409";

    for (const std::wstring &section : sections) {
        if (section == L"Language")
            continue;
        for (const wchar_t *key : {L"IDS_CHKTAVRIK", L"IDS_USEROCCUPY"}) {
            SCOPED_TRACE(std::string(section.begin(), section.end()));
            const DWORD cch = GetPrivateProfileStringW(section.c_str(), key, L"", buf,
                                                       ARRAYSIZE(buf), ini.c_str());
            EXPECT_NE(0u, cch) << "no text for a key";
            EXPECT_LT(cch, static_cast<DWORD>(kcchLangText)) << "text would be cut";
        }
    }
}
