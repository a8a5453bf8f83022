// The texts of the refusal boxes, looked up in the strings file by the user's
// UI language: the user's own section, the US English fallback, and what
// stays empty. The boxes are the driver refusal (no driver stand-in) and, for
// the second text, the refusal by a copy of another user.
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

    // Starts a traced copy whose user has the UI language of `locale` (this
    // process's when null), answers its one box and returns the box's text.
    // The copy must then end with 0, having traced its head with `langId`,
    // then `refusal`, then its exit.
    std::wstring BoxTextFor(const wchar_t *locale, const std::string &langId,
                            const std::vector<ExpectedLine> &refusal = {}) {
        ChildProcess &copy = locale != nullptr ? LaunchWithLocale(L" /d", locale) : Launch(L" /d");
        BoxView box = WaitForBoxOf(copy);
        EXPECT_NE(nullptr, box.hwnd) << "no box came up";
        if (box.hwnd == nullptr)
            return L"<no box>";
        EXPECT_TRUE(box.ok && !box.yes && !box.no && !box.cancel);
        EXPECT_TRUE(PressButton(box.hwnd, IDOK, kPressMs));
        CopyRun run = Finish(copy);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_TRUE(MatchesExactly(run.trace, CopyHead(langId) + refusal + CopyExit()));
        return box.text;
    }
};

TEST_F(LocalizedBoxTest, UserLanguageWithItsOwnSectionGetsItsTexts) {
    ASSERT_TRUE(sandbox_->WriteIni(TwoLanguages(L"0x0409=English\r\n0x0407=German\r\n")));
    EXPECT_EQ(kGermanDriver, BoxTextFor(kGerman, "0x0407"));
}

TEST_F(LocalizedBoxTest, UserLanguageWithoutAnEntryFallsBackToUsEnglish) {
    ASSERT_TRUE(sandbox_->WriteIni(TwoLanguages(L"0x0409=English\r\n0x0407=German\r\n")));
    EXPECT_EQ(kEnglishDriver, BoxTextFor(kFrench, "0x040C"));
}

TEST_F(LocalizedBoxTest, UserLanguageWithAnEmptyEntryFallsBackToUsEnglish) {
    ASSERT_TRUE(sandbox_->WriteIni(TwoLanguages(L"0x040C=\r\n0x0409=English\r\n")));
    EXPECT_EQ(kEnglishDriver, BoxTextFor(kFrench, "0x040C"));
}

// No fallback for a single key: the English section is not consulted.
TEST_F(LocalizedBoxTest, KeyMissingFromTheUserSectionGivesAnEmptyText) {
    ASSERT_TRUE(sandbox_->WriteIni(TwoLanguages(L"0x0409=English\r\n0x040C=French\r\n") +
                                   L"\r\n[French]\r\nIDS_USEROCCUPY=Fran\u00e7ais.\r\n"));
    EXPECT_EQ(L"", BoxTextFor(kFrench, "0x040C"));
}

TEST_F(LocalizedBoxTest, NoEntryForTheUserNorForUsEnglishGivesAnEmptyText) {
    ASSERT_TRUE(sandbox_->WriteIni(TwoLanguages(L"0x0407=German\r\n")));
    EXPECT_EQ(L"", BoxTextFor(kFrench, "0x040C"));
}

TEST_F(LocalizedBoxTest, UsEnglishUserReadsTheEnglishSection) {
    ASSERT_TRUE(sandbox_->WriteIni(TwoLanguages(L"0x0407=German\r\n0x0409=English\r\n")));
    EXPECT_EQ(kEnglishDriver, BoxTextFor(nullptr, "0x0409"));
}

// The built strings file serves the languages it lists, in Latin script and in
// a script of a code page of its own.
TEST_F(LocalizedBoxTest, BuiltIniGivesEachUserTheTextOfTheirLanguage) {
    const struct {
        const wchar_t *locale;
        const char *langId;
        const wchar_t *section;
    } rows[] = {
        {kGerman, "0x0407", L"German"},
        {L"ja_JP.UTF-8", "0x0411", L"Japanese"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.langId);
        WCHAR expected[1024] = {};
        GetPrivateProfileStringW(row.section, L"IDS_CHKTAVRIK", L"", expected, ARRAYSIZE(expected),
                                 sandbox_->IniPath().c_str());
        ASSERT_NE(L'\0', expected[0]) << "the built strings file has no driver text";
        EXPECT_EQ(expected, BoxTextFor(row.locale, row.langId));
    }
}

// A text is read into 254 characters: 253 of text are kept.
TEST_F(LocalizedBoxTest, OverlongTextIsCutTo253Characters) {
    std::wstring longText;
    for (int i = 0; longText.size() < 300; ++i)
        longText += static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_TRUE(sandbox_->WriteIni(L"[Language]\r\n0x0409=English\r\n[English]\r\nIDS_CHKTAVRIK=" +
                                   longText + L"\r\n"));
    EXPECT_EQ(longText.substr(0, 253), BoxTextFor(nullptr, "0x0409"));
}

// A section name is read into 32 characters: the first 31 name the section.
TEST_F(LocalizedBoxTest, OverlongSectionNameIsCutTo31Characters) {
    const std::wstring name = L"EnglishSectionWithAVeryLongNameIndeed"; // 37 characters
    ASSERT_TRUE(sandbox_->WriteIni(L"[Language]\r\n0x0409=" + name + L"\r\n[" + name.substr(0, 31) +
                                   L"]\r\nIDS_CHKTAVRIK=" + kEnglishDriver + L"\r\n"));
    EXPECT_EQ(kEnglishDriver, BoxTextFor(nullptr, "0x0409"));
}

// A file in the ANSI code page, without a byte-order mark, is read as well.
TEST_F(LocalizedBoxTest, AnsiIniIsReadToo) {
    ASSERT_TRUE(sandbox_->WriteIniBytes("[Language]\r\n0x0409=English\r\n[English]\r\n"
                                        "IDS_CHKTAVRIK=Plain ANSI text.\r\n"));
    EXPECT_EQ(L"Plain ANSI text.", BoxTextFor(nullptr, "0x0409"));
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
