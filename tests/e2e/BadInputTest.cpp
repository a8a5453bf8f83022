// Hostile strings files beside the launcher: whatever the file holds, the copy
// ends once its box is answered, never crashes, and shows the text the file
// really holds (cut to its limit) or an empty one. (Hostile command lines are
// rows of the unit table DebugSwitch: the switch test is pure.)
#include "E2eFixture.h"
#include "TraceLines.h"
#include "WinePath.h"

#include <algorithm>
#include <functional>
#include <random>
#include <string>

using namespace tb;

namespace {

// The text limits of a strings file: 253 characters of text, and section names
// of 31 characters.
const size_t kTextLimit = 253;
const size_t kSectionLimit = 31;

const wchar_t kText[] = L"The lamp service is missing.";

std::string Narrow(const std::wstring &ascii) {
    return std::string(ascii.begin(), ascii.end());
}

// A well-formed file whose English section holds `text` for the driver box.
std::wstring IniWith(const std::wstring &text) {
    return L"[Language]\r\n0x0409=English\r\n\r\n[English]\r\nIDS_CHKTAVRIK=" + text +
           L"\r\nIDS_USEROCCUPY=Someone else runs it.\r\n";
}

// `n` characters of readable text that show where a cut fell.
std::wstring Counted(size_t n) {
    std::wstring text;
    for (size_t i = 0; i < n; ++i)
        text += static_cast<wchar_t>(L'A' + i % 26);
    return text;
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

// A file whose first line is one comment of 1 MiB without a break.
std::string OneMebibyteLine() {
    return ";" + std::string(1u << 20, 'x') + "\r\n" + Narrow(IniWith(kText));
}

// The language table names a section of 40 characters; the file holds that
// section with one text and a section named by its first 31 characters with
// another.
std::wstring IniWithOverlongSectionName() {
    const std::wstring name = L"S" + std::wstring(38, L's') + L"z";
    return L"[Language]\r\n0x0409=" + name + L"\r\n[" + name +
           L"]\r\nIDS_CHKTAVRIK=whole name\r\n[" + name.substr(0, kSectionLimit) +
           L"]\r\nIDS_CHKTAVRIK=cut name\r\n";
}

// Related cases run one after another in one test.
enum IniGroup { kEncodings, kGarbage, kSize, kLimits, kMissingParts };
const char *const kIniGroupNames[] = {"Encodings", "Garbage", "Size", "Limits", "MissingParts"};

struct IniCase {
    IniGroup group;
    const char *name;
    std::function<std::string()> bytes;
    std::wstring text; // what the box must show
};

const IniCase kIniCases[] = {
    // Wine's profile reader knows the big-endian mark and reads such a file
    // (measured: the box shows the text).
    {kEncodings, "Utf16BigEndian",
     [] {
         std::string bytes = Utf16(IniWith(kText));
         for (size_t i = 0; i + 1 < bytes.size(); i += 2)
             std::swap(bytes[i], bytes[i + 1]);
         return bytes;
     },
     kText},
    // Wine 8's reader knows the UTF-8 mark (measured: the box shows the text).
    // Windows gives it no meaning: it is glued to the first line, and a first
    // section header is then no longer one, so the shipped file stays UTF-16LE.
    {kEncodings, "Utf8MarkBeforeTheLanguageSection",
     [] { return "\xEF\xBB\xBF" + Narrow(IniWith(kText)); }, kText},
    {kEncodings, "Utf8MarkBeforeAComment",
     [] { return "\xEF\xBB\xBF; strings\r\n" + Narrow(IniWith(kText)); }, kText},
    // A file in the ANSI code page, without a byte-order mark, is read as well.
    {kEncodings, "AnsiWithoutAMark",
     [] {
         return std::string("[Language]\r\n0x0409=English\r\n[English]\r\n"
                            "IDS_CHKTAVRIK=Plain ANSI text.\r\n");
     },
     L"Plain ANSI text."},
    {kGarbage, "EmptyFile", [] { return std::string(); }, L""},
    {kGarbage, "RandomBytes", [] { return RandomBytes(64 * 1024, 2009); }, L""},
    {kGarbage, "RandomBytesAfterUtf16Mark",
     [] { return "\xFF\xFE" + RandomBytes(64 * 1024, 1002); }, L""},
    {kGarbage, "NulBytesInsideTheText",
     [] {
         return "[Language]\r\n0x0409=English\r\n[English]\r\nIDS_CHKTAVRIK=before" +
                std::string(3, '\0') + "after\r\n";
     },
     L"before"},
    {kSize, "OneMebibyteInFrontOfTheTexts", OneMebibyteInFront, kText},
    {kSize, "OneMebibyteCommentLine", OneMebibyteLine, kText},
    // The cut reaches the box. (Texts and section names at, over and far over
    // their limits are rows of the unit table LangLookup.)
    {kLimits, "TextOneOverTheLimitIsCut", [] { return Utf16(IniWith(Counted(kTextLimit + 1))); },
     Counted(kTextLimit)},
    {kLimits, "SectionNameOverTheLimitIsCut", [] { return Utf16(IniWithOverlongSectionName()); },
     L"cut name"},
    {kMissingParts, "NoLanguageSection",
     [] { return Utf16(L"[English]\r\nIDS_CHKTAVRIK=" + std::wstring(kText) + L"\r\n"); }, L""},
    {kMissingParts, "LanguageNamesAMissingSection",
     [] {
         return Utf16(L"[Language]\r\n0x0409=Klingon\r\n[English]\r\nIDS_CHKTAVRIK=" +
                      std::wstring(kText) + L"\r\n");
     },
     L""},
    {kMissingParts, "LanguageSectionWithoutEntries",
     [] { return Utf16(L"[Language]\r\n" + IniWith(kText).substr(28)); }, L""},
};

// A copy that finds no driver shows the box whose text comes from the file.
class StringsFileTest : public E2eTest {
protected:
    StringsFileTest() { startDriver_ = false; }
    void SetUp() override {
        E2eTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_FALSE(DeviceOpens()) << "a driver stand-in is still running";
    }

    // Starts a copy, reads its driver box, answers it and waits for the end.
    ::testing::AssertionResult DriverBox(BoxView *box) {
        ChildProcess &copy = Launch(L" /d");
        *box = WaitForBoxOf(copy);
        if (box->hwnd == nullptr)
            return ::testing::AssertionFailure() << "no box came up";
        if (!PressButton(box->hwnd, IDOK, kPressMs))
            return ::testing::AssertionFailure() << "the box did not go on OK";
        CopyRun run = Finish(copy);
        if (!run.ended || run.exitCode != 0)
            return ::testing::AssertionFailure() << "the copy did not end cleanly: ended "
                                                 << run.ended << ", code " << run.exitCode;
        return MatchesExactly(
            run.trace,
            {NoteLike("Avenor", "v1\\.0\\.0001 \\(.*\\)"),
             Note("InitInstance - GetUserDefaultUILanguage (g_tszLangID)", "0x0409"), CopyExit()});
    }
};

class StringsFileBytes : public StringsFileTest, public ::testing::WithParamInterface<IniGroup> {};

} // namespace

TEST_P(StringsFileBytes, DriverBoxShowsTheTextTheFileHoldsOrNone) {
    size_t run = 0;
    for (const IniCase &c : kIniCases) {
        if (c.group != GetParam())
            continue;
        SCOPED_TRACE(c.name);
        ++run;
        ASSERT_TRUE(sandbox_->WriteIniBytes(c.bytes()));
        BoxView box;
        ASSERT_TRUE(DriverBox(&box));
        EXPECT_EQ(kBoxCaption, box.caption);
        EXPECT_TRUE(box.ok);
        EXPECT_EQ(ToAnsi(c.text), ToAnsi(box.text));
    }
    EXPECT_NE(0u, run);
}

INSTANTIATE_TEST_SUITE_P(Of, StringsFileBytes,
                         ::testing::Values(kEncodings, kGarbage, kSize, kLimits, kMissingParts),
                         [](const ::testing::TestParamInfo<IniGroup> &p) {
                             return std::string(kIniGroupNames[p.param]);
                         });

// The file passes the start-up check (it exists) but cannot be read when the
// box is built, as when it goes away between the two: the box comes up empty.
TEST_F(StringsFileTest, FileOutOfReachWhenTheBoxIsBuiltGivesAnEmptyText) {
    ASSERT_TRUE(sandbox_->WriteIniBytes(Utf16(IniWith(kText))));
    HANDLE held = CreateFileW(sandbox_->IniPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    BoxView box;
    ::testing::AssertionResult ran = DriverBox(&box);
    CloseHandle(held);
    ASSERT_TRUE(ran);
    EXPECT_EQ(L"", box.text);

    // Readable again: the same file gives its text.
    ASSERT_TRUE(DriverBox(&box));
    EXPECT_EQ(ToAnsi(kText), ToAnsi(box.text));
}
