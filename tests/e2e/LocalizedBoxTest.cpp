// The texts of the refusal boxes in the user's own UI language, as the real
// language setting reaches the lookup: the driver refusal (no driver stand-in)
// and the refusal by a copy of another user. (Which section and key a lookup
// takes, the US English fallback, what stays empty and the cuts are rows of
// the unit table LangLookup.)
#include "E2eFixture.h"
#include "TraceLines.h"

using namespace tb;

namespace {

const wchar_t kEnglishDriver[] = L"English: the lamp driver is missing.";
const wchar_t kEnglishOccupied[] = L"English: another user runs the assistant.";
// Umlauts and a sharp s, to see the file read as UTF-16.
const wchar_t kGermanDriver[] = L"Deutsch: der Leuchtentreiber f\u00e4hlt \u00fcberall \u00df.";
const wchar_t kGermanOccupied[] = L"Deutsch: ein anderer Benutzer \u00f6ffnete ihn.";

// A strings file with an English and a German section, the Language table
// given by the caller.
std::wstring TwoLanguages(const std::wstring &languageTable) {
    return std::wstring(L"[Language]\r\n") + languageTable +
           L"\r\n"
           L"[English]\r\n"
           L"IDS_CHKTAVRIK=" +
           kEnglishDriver +
           L"\r\n"
           L"IDS_USEROCCUPY=" +
           kEnglishOccupied +
           L"\r\n"
           L"\r\n"
           L"[German]\r\n"
           L"IDS_CHKTAVRIK=" +
           kGermanDriver +
           L"\r\n"
           L"IDS_USEROCCUPY=" +
           kGermanOccupied + L"\r\n";
}

} // namespace

class LocalizedBoxTest : public E2eTest {
protected:
    LocalizedBoxTest() { startDriver_ = false; }
    void SetUp() override {
        TB_NOT_RUN_ON(Platform::Windows,
                      "a Windows user's UI language is a setting of the account, taken at logon: "
                      "a test cannot give one copy a language of its own");
        E2eTest::SetUp();
    }

    // Starts a traced copy whose user has the UI language of `locale`, answers
    // its one box and returns the box's text.
    // The copy must then end with 0, having traced its head with `langId`,
    // then `refusal`, then its exit.
    std::wstring BoxTextFor(const wchar_t *locale, const std::string &langId,
                            const std::vector<ExpectedLine> &refusal = {}) {
        ChildProcess &copy = LaunchWithLocale(L" /d", locale);
        BoxView box = WaitForBoxOf(copy);
        EXPECT_NE(nullptr, box.hwnd) << "no box came up";
        if (box.hwnd == nullptr)
            return L"<no box>";
        EXPECT_TRUE(box.ok && !box.yes && !box.no && !box.cancel);
        EXPECT_TRUE(PressButton(box.hwnd, IDOK, kPressMs));
        EXPECT_TRUE(EndedCleanly(Finish(copy), CopyHead(langId) + refusal + CopyExit()));
        return box.text;
    }
};

// The built strings file serves the languages it lists, in Latin script and in
// a script of a code page of its own.
TEST_F(LocalizedBoxTest, BuiltIniGivesEachUserTheTextOfTheirLanguage) {
    const struct {
        const wchar_t *locale;
        const char *langId;
        const wchar_t *section;
    } rows[] = {
        {kGerman, "0x0407", L"German"},
        {kFrench, "0x040C", L"French"}, // the id's hex letters in upper case
        {L"ja_JP.UTF-8", "0x0411", L"Japanese"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.langId);
        const std::wstring expected = sandbox_->IniText(row.section, L"IDS_CHKTAVRIK");
        ASSERT_FALSE(expected.empty()) << "the built strings file has no driver text";
        EXPECT_EQ(expected, BoxTextFor(row.locale, row.langId));
    }
}

// The second text, in the user's language, for a copy of another user.
TEST_F(LocalizedBoxTest, OccupiedTextFollowsTheUserLanguageToo) {
    ASSERT_TRUE(driver_->Start());
    ASSERT_TRUE(sandbox_->WriteIni(TwoLanguages(L"0x0409=English\r\n0x0407=German\r\n")));
    HeldName otherUser(HeldName::DeniedMutex, kGlobalMutexName);
    ASSERT_TRUE(otherUser.Ok());
    EXPECT_EQ(kGermanOccupied,
              BoxTextFor(kGerman, "0x0407",
                         {Note("InitInstance", "m_hGlobalMutex - ERROR_ACCESS_DENIED")}));
}
