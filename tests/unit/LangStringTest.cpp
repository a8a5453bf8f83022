#include "common/Globals.h"
#include "diag/LangString.h"

#include <gtest/gtest.h>

#include "RowName.h"

#include <stdio.h>

#include <algorithm>
#include <functional>
#include <random>
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
        const std::wstring data = L"\xFEFF" + text;
        WriteBytes(std::string(reinterpret_cast<const char *>(data.data()), data.size() * 2));
    }
    // Writes the file with exactly these bytes.
    void WriteBytes(const std::string &bytes) {
        HANDLE h = CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD cb;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &cb, nullptr);
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

namespace {

// `n` characters of readable text that show where a cut fell.
std::wstring Counted(size_t n) {
    std::wstring text;
    for (size_t i = 0; i < n; ++i)
        text += static_cast<wchar_t>(L'A' + i % 26);
    return text;
}

// A file whose Language table maps 0x0409 to a section named `name` of its own
// length, holding "whole name"; with a longer name, a section named by its
// first 31 characters holds "cut name".
std::wstring WithSectionName(size_t cchName) {
    std::wstring name(cchName, L's');
    name[0] = L'S';
    name[cchName - 1] = L'z';
    std::wstring ini =
        L"[Language]\r\n0x0409=" + name + L"\r\n[" + name + L"]\r\nIDS_CHKTAVRIK=whole name\r\n";
    if (cchName > kcchLangSection - 1)
        ini += L"[" + name.substr(0, kcchLangSection - 1) + L"]\r\nIDS_CHKTAVRIK=cut name\r\n";
    return ini;
}

const wchar_t kEnglishGerman[] = L"[Language]\r\n0x0409=English\r\n0x0407=German\r\n"
                                 L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n"
                                 L"[German]\r\nIDS_CHKTAVRIK=Treiber fehlt\r\n";

const wchar_t kKeyMissing[] = L"[Language]\r\n0x0409=English\r\n0x0407=German\r\n"
                              L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n"
                              L"[German]\r\nIDS_USEROCCUPY=Besetzt\r\nIDS_EMPTY=\r\n";

// A file, the user's language, a key, and the text looked up ("<none>" when
// the lookup fails and the box shows an empty text).
struct LookupRow {
    const char *name;
    std::wstring file;
    const wchar_t *langId;
    const wchar_t *key;
    std::wstring expected;
};

void PrintTo(const LookupRow &row, std::ostream *os) {
    *os << row.name;
}

const LookupRow kLookupRows[] = {
    // The user's own section; keys match without case.
    {"OwnSection", kEnglishGerman, L"0x0407", L"IDS_CHKTAVRIK", L"Treiber fehlt"},
    {"KeyInAnyCase", kEnglishGerman, L"0x0407", L"ids_chktavrik", L"Treiber fehlt"},
    {"UsEnglishUser",
     L"[Language]\r\n0x0407=German\r\n0x0409=English\r\n"
     L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n"
     L"[German]\r\nIDS_CHKTAVRIK=Treiber fehlt\r\n",
     L"0x0409", L"IDS_CHKTAVRIK", L"Driver missing"},
    // A language without an entry, or with an empty one, uses the 0x0409 entry.
    {"UnlistedLanguage", kEnglishGerman, L"0x0411", L"IDS_CHKTAVRIK", L"Driver missing"},
    {"UnlistedFrench", kEnglishGerman, L"0x040C", L"IDS_CHKTAVRIK", L"Driver missing"},
    {"EmptyEntry",
     L"[Language]\r\n0x0409=English\r\n0x0407=\r\n"
     L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n",
     L"0x0407", L"IDS_CHKTAVRIK", L"Driver missing"},
    {"EmptyFrenchEntry",
     L"[Language]\r\n0x040C=\r\n0x0409=English\r\n"
     L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n",
     L"0x040C", L"IDS_CHKTAVRIK", L"Driver missing"},
    {"NoEntryForTheUserNorForUsEnglish",
     L"[Language]\r\n0x0407=German\r\n"
     L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n"
     L"[German]\r\nIDS_CHKTAVRIK=Treiber fehlt\r\n",
     L"0x040C", L"IDS_CHKTAVRIK", L"<none>"},
    // A key missing from the user's section, or empty there, is not looked up
    // elsewhere.
    {"KeyMissingFromTheUsersSection", kKeyMissing, L"0x0407", L"IDS_CHKTAVRIK", L"<none>"},
    {"EmptyKeyInTheUsersSection", kKeyMissing, L"0x0407", L"IDS_EMPTY", L"<none>"},
    {"OtherKeyOfTheUsersSection", kKeyMissing, L"0x0407", L"IDS_USEROCCUPY", L"Besetzt"},
    {"KeyMissingFromTheFrenchSection",
     L"[Language]\r\n0x0409=English\r\n0x040C=French\r\n"
     L"[English]\r\nIDS_CHKTAVRIK=Driver missing\r\n[French]\r\nIDS_USEROCCUPY=Fran\u00e7ais.\r\n",
     L"0x040C", L"IDS_CHKTAVRIK", L"<none>"},
    {"NoLanguageTable", L"[German]\r\nIDS_CHKTAVRIK=Treiber fehlt\r\n", L"0x0407", L"IDS_CHKTAVRIK",
     L"<none>"},
    // A text is read into 254 characters: 253 are kept.
    {"TextAtTheLimit",
     L"[Language]\r\n0x0409=English\r\n[English]\r\nIDS_CHKTAVRIK=" + Counted(253) + L"\r\n",
     L"0x0409", L"IDS_CHKTAVRIK", Counted(253)},
    {"TextOneOverTheLimit",
     L"[Language]\r\n0x0409=English\r\n[English]\r\nIDS_CHKTAVRIK=" + Counted(254) + L"\r\n",
     L"0x0409", L"IDS_CHKTAVRIK", Counted(253)},
    {"TextOf300",
     L"[Language]\r\n0x0409=English\r\n[English]\r\nIDS_CHKTAVRIK=" + Counted(300) + L"\r\n",
     L"0x0409", L"IDS_CHKTAVRIK", Counted(253)},
    {"TextOf4000",
     L"[Language]\r\n0x0409=English\r\n[English]\r\nIDS_CHKTAVRIK=" + Counted(4000) + L"\r\n",
     L"0x0409", L"IDS_CHKTAVRIK", Counted(253)},
    // A section name is read into 32 characters: the first 31 name the section.
    {"SectionNameAtTheLimit", WithSectionName(31), L"0x0409", L"IDS_CHKTAVRIK", L"whole name"},
    {"SectionNameOf37", WithSectionName(37), L"0x0409", L"IDS_CHKTAVRIK", L"cut name"},
    {"SectionNameOf40WithALongText",
     L"[Language]\r\n0x0407=" + std::wstring(40, L's') + L"\r\n[" + std::wstring(31, L's') +
         L"]\r\nIDS_CHKTAVRIK=" + std::wstring(400, L't') + L"\r\n",
     L"0x0407", L"IDS_CHKTAVRIK", std::wstring(253, L't')},
};

class LangLookup : public LangStringTest, public ::testing::WithParamInterface<LookupRow> {};

} // namespace

TEST_P(LangLookup, GivesTheTextOfTheUsersSectionOrNone) {
    const LookupRow &row = GetParam();
    Write(row.file);
    lstrcpynW(g_tszLangID, row.langId, kcchLangID);
    EXPECT_EQ(row.expected, Lookup(row.key));
}

INSTANTIATE_TEST_SUITE_P(Rows, LangLookup, ::testing::ValuesIn(kLookupRows), RowName<LookupRow>);

namespace {

// Hostile bytes in place of the strings file: whatever the file holds, the
// lookup gives the text the file really holds, or none (the box then shows an
// empty text), and never crashes. The user is a US English one.
const wchar_t kText[] = L"The lamp service is missing.";

std::string Narrow(const std::wstring &ascii) {
    return std::string(ascii.begin(), ascii.end());
}

// `text` as the bytes of a UTF-16LE file with a byte-order mark.
std::string Utf16(const std::wstring &text) {
    const std::wstring data = L"\xFEFF" + text;
    return std::string(reinterpret_cast<const char *>(data.data()), data.size() * 2);
}

// A well-formed file whose English section holds `text` for the driver box.
std::wstring IniWith(const std::wstring &text) {
    return L"[Language]\r\n0x0409=English\r\n\r\n[English]\r\nIDS_CHKTAVRIK=" + text +
           L"\r\nIDS_USEROCCUPY=Someone else runs it.\r\n";
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char &b : bytes)
        b = static_cast<char>(random() & 0xFF);
    return bytes;
}

// 1 MiB of keys in a section of their own in front of the real sections.
std::string OneMebibyteInFront() {
    std::string bytes = "[Padding]\r\n";
    char line[64];
    for (unsigned i = 0; bytes.size() < (1u << 20); ++i) {
        snprintf(line, sizeof(line), "key%07u=%040u\r\n", i, i);
        bytes += line;
    }
    return bytes + Narrow(IniWith(kText));
}

struct BytesRow {
    const char *name;
    std::function<std::string()> bytes;
    std::wstring expected; // "<none>": the lookup fails
};

void PrintTo(const BytesRow &row, std::ostream *os) {
    *os << row.name;
}

const BytesRow kBytesRows[] = {
    // Wine's profile reader knows the big-endian mark and reads such a file
    // (measured: the text comes back).
    {"Utf16BigEndian",
     [] {
         std::string bytes = Utf16(IniWith(kText));
         for (size_t i = 0; i + 1 < bytes.size(); i += 2)
             std::swap(bytes[i], bytes[i + 1]);
         return bytes;
     },
     kText},
    // Wine 8's reader knows the UTF-8 mark (measured: the text comes back).
    // Windows gives it no meaning: it is glued to the first line, and a first
    // section header is then no longer one, so the shipped file stays UTF-16LE.
    {"Utf8MarkBeforeTheLanguageSection", [] { return "\xEF\xBB\xBF" + Narrow(IniWith(kText)); },
     kText},
    {"Utf8MarkBeforeAComment", [] { return "\xEF\xBB\xBF; strings\r\n" + Narrow(IniWith(kText)); },
     kText},
    // A file in the ANSI code page, without a byte-order mark, is read as well.
    {"AnsiWithoutAMark",
     [] {
         return std::string("[Language]\r\n0x0409=English\r\n[English]\r\n"
                            "IDS_CHKTAVRIK=Plain ANSI text.\r\n");
     },
     L"Plain ANSI text."},
    {"EmptyFile", [] { return std::string(); }, L"<none>"},
    {"RandomBytes", [] { return RandomBytes(64 * 1024, 2009); }, L"<none>"},
    {"RandomBytesAfterUtf16Mark", [] { return "\xFF\xFE" + RandomBytes(64 * 1024, 1002); },
     L"<none>"},
    {"NulBytesInsideTheText",
     [] {
         return "[Language]\r\n0x0409=English\r\n[English]\r\nIDS_CHKTAVRIK=before" +
                std::string(3, '\0') + "after\r\n";
     },
     L"before"},
    {"OneMebibyteInFrontOfTheTexts", OneMebibyteInFront, kText},
    {"OneMebibyteCommentLine",
     [] { return ";" + std::string(1u << 20, 'x') + "\r\n" + Narrow(IniWith(kText)); }, kText},
    {"NoLanguageSection",
     [] { return Utf16(L"[English]\r\nIDS_CHKTAVRIK=" + std::wstring(kText) + L"\r\n"); },
     L"<none>"},
    {"LanguageNamesAMissingSection",
     [] {
         return Utf16(L"[Language]\r\n0x0409=Klingon\r\n[English]\r\nIDS_CHKTAVRIK=" +
                      std::wstring(kText) + L"\r\n");
     },
     L"<none>"},
    {"LanguageSectionWithoutEntries",
     [] { return Utf16(L"[Language]\r\n" + IniWith(kText).substr(28)); }, L"<none>"},
};

class HostileFile : public LangStringTest, public ::testing::WithParamInterface<BytesRow> {};

} // namespace

TEST_P(HostileFile, GivesTheTextTheFileHoldsOrNone) {
    const BytesRow &row = GetParam();
    WriteBytes(row.bytes());
    lstrcpynW(g_tszLangID, L"0x0409", kcchLangID);
    EXPECT_EQ(row.expected, Lookup(L"IDS_CHKTAVRIK"));
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileFile, ::testing::ValuesIn(kBytesRows), RowName<BytesRow>);

TEST_F(LangStringTest, NoFileOrNoPathFails) {
    Write(kEnglishGerman);
    DeleteFileW(m_path.c_str());
    EXPECT_EQ(L"<none>", Lookup(L"IDS_CHKTAVRIK"));
    g_tszIniPath[0] = L'\0';
    EXPECT_EQ(L"<none>", Lookup(L"IDS_CHKTAVRIK"));
    EXPECT_EQ(L"<none>", Lookup(nullptr));
    EXPECT_FALSE(ReadLanguageString(L"IDS_CHKTAVRIK", nullptr));
}
