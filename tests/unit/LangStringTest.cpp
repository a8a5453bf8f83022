#include "common/FileProbe.h"
#include "common/Globals.h"
#include "diag/LangString.h"
#include "diag/MyMessageBox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A real strings file in a temporary folder, UTF-16LE with a byte-order mark,
// as it is installed.
class LangStringTest : public ::testing::Test {
protected:
    void SetUp() override {
        WCHAR szTemp[MAX_PATH];
        GetTempPathW(MAX_PATH, szTemp);
        m_path = std::wstring(szTemp) + L"avenor-unit-" + std::to_wstring(GetCurrentProcessId()) +
                 L".ini";
        lstrcpynW(g_tszIniPath, m_path.c_str(), kcchPath);
        lstrcpynW(g_tszLangID, L"0x0407", kcchLangID);
    }
    void TearDown() override { DeleteFileW(m_path.c_str()); }

    void Write(const std::wstring &text) {
        HANDLE h = CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        const std::wstring data = L"\xFEFF" + text;
        DWORD cb;
        WriteFile(h, data.data(), static_cast<DWORD>(data.size() * 2), &cb, nullptr);
        CloseHandle(h);
    }

    // The text for key, or "<none>" when the lookup fails (and leaves dst alone).
    std::wstring Lookup(const wchar_t *key) {
        WCHAR sz[kcchLangText + 8];
        lstrcpyW(sz, L"<none>");
        return ReadLanguageString(key, sz) ? sz : L"<none>";
    }

    std::wstring m_path;
};

} // namespace

TEST_F(LangStringTest, UsesTheUsersLanguageSection) {
    Write(L"[Language]\r\n0x0409=English\r\n0x0407=German\r\n"
          L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n"
          L"[German]\r\nIDS_CHKTAVRIK=Treiber fehlt\r\n");
    EXPECT_EQ(L"Treiber fehlt", Lookup(L"IDS_CHKTAVRIK"));
    EXPECT_EQ(L"Treiber fehlt", Lookup(L"ids_chktavrik")) << "keys match without case";
}

TEST_F(LangStringTest, FallsBackToTheEnglishEntryForAnUnlistedOrEmptyLanguage) {
    Write(L"[Language]\r\n0x0409=English\r\n0x0407=\r\n"
          L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n");
    EXPECT_EQ(L"Driver missing", Lookup(L"IDS_CHKTAVRIK")) << "empty entry counts as missing";
    lstrcpynW(g_tszLangID, L"0x0411", kcchLangID);
    EXPECT_EQ(L"Driver missing", Lookup(L"IDS_CHKTAVRIK"));
}

TEST_F(LangStringTest, AKeyMissingFromTheUsersSectionIsNotLookedUpElsewhere) {
    Write(L"[Language]\r\n0x0409=English\r\n0x0407=German\r\n"
          L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n"
          L"[German]\r\nIDS_USEROCCUPY=Besetzt\r\nIDS_EMPTY=\r\n");
    EXPECT_EQ(L"<none>", Lookup(L"IDS_CHKTAVRIK"));
    EXPECT_EQ(L"<none>", Lookup(L"IDS_EMPTY"));
    EXPECT_EQ(L"Besetzt", Lookup(L"IDS_USEROCCUPY"));
}

TEST_F(LangStringTest, NoFileNoLanguageTableOrNoPathFails) {
    Write(L"[German]\r\nIDS_CHKTAVRIK=Treiber fehlt\r\n");
    EXPECT_EQ(L"<none>", Lookup(L"IDS_CHKTAVRIK"));
    DeleteFileW(m_path.c_str());
    EXPECT_EQ(L"<none>", Lookup(L"IDS_CHKTAVRIK"));
    g_tszIniPath[0] = L'\0';
    EXPECT_EQ(L"<none>", Lookup(L"IDS_CHKTAVRIK"));
    EXPECT_EQ(L"<none>", Lookup(nullptr));
    EXPECT_FALSE(ReadLanguageString(L"IDS_CHKTAVRIK", nullptr));
    EXPECT_FALSE(QueryFileExistence(nullptr));
}

TEST_F(LangStringTest, LongValuesAndSectionNamesAreCut) {
    const std::wstring text(400, L't');
    const std::wstring section(40, L's');
    Write(L"[Language]\r\n0x0407=" + section + L"\r\n[" + section.substr(0, 31) +
          L"]\r\nIDS_CHKTAVRIK=" + text + L"\r\n");
    // The section name is read into 32 characters: the cut name is the one used.
    EXPECT_EQ(text.substr(0, kcchLangText - 1), Lookup(L"IDS_CHKTAVRIK"));
}

TEST(BoxStyle, TypesMapToIconAndButtons) {
    UINT u;
    ASSERT_TRUE(BoxStyleForType(0, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), u);
    ASSERT_TRUE(BoxStyleForType(1, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), u);
    ASSERT_TRUE(BoxStyleForType(2, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION | MB_YESNO), u);
    ASSERT_TRUE(BoxStyleForType(3, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), u);
    EXPECT_FALSE(BoxStyleForType(4, &u));
    EXPECT_FALSE(BoxStyleForType(-1, &u));
    // An unknown type shows nothing and answers -1.
    EXPECT_EQ(-1, MyMessageBox(7, L"IDS_CHKTAVRIK"));
}
