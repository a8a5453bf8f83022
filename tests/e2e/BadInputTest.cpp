// Hostile input from the two places a user or an installer can put it: the
// strings file beside the launcher and the command line. Whatever arrives, the
// copy ends by itself (or once its box is answered), never crashes, shows the
// text the file really holds (cut to its limit) or an empty one, and switches
// its trace on for the developer switch alone.
#include "WorkingRun.h"

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
// The longest command line Windows takes is 32,767 characters with its end.
const size_t kLongCommandLine = 32000;

const wchar_t kText[] = L"The lamp service is missing.";

// A strings file as UTF-16LE with a byte-order mark.
std::string Utf16(const std::wstring &text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

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

// The language table names a section of `cchName` characters; the file holds
// that section with one text and, when the name is longer than the limit, a
// section named by the name's first 31 characters with another text.
std::wstring IniWithSectionName(size_t cchName) {
    std::wstring name(cchName, L's');
    name[0] = L'S';
    name[cchName - 1] = L'z';
    std::wstring ini =
        L"[Language]\r\n0x0409=" + name + L"\r\n[" + name + L"]\r\nIDS_CHKTAVRIK=whole name\r\n";
    if (cchName > kSectionLimit)
        ini += L"[" + name.substr(0, kSectionLimit) + L"]\r\nIDS_CHKTAVRIK=cut name\r\n";
    return ini;
}

// Related cases run one after another in one test.
enum IniGroup { kEncodings, kGarbage, kSize, kTextLength, kMissingParts, kSectionNames };
const char *const kIniGroupNames[] = {"Encodings",  "Garbage",      "Size",
                                      "TextLength", "MissingParts", "SectionNames"};

struct IniCase {
    IniGroup group;
    const char *name;
    std::function<std::string()> bytes;
    std::wstring text;                    // what the box must show
    std::wstring orText = std::wstring(); // another text the box may show instead, when not empty
};

const IniCase kIniCases[] = {
    // The reader may or may not know a big-endian mark; either way nothing
    // else than the text or none may show.
    {kEncodings, "Utf16BigEndian",
     [] {
         std::string bytes = Utf16(IniWith(kText));
         for (size_t i = 0; i + 1 < bytes.size(); i += 2)
             std::swap(bytes[i], bytes[i + 1]);
         return bytes;
     },
     L"", kText},
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
    {kTextLength, "TextAtTheLimit", [] { return Utf16(IniWith(Counted(kTextLimit))); },
     Counted(kTextLimit)},
    {kTextLength, "TextOneOverTheLimitIsCut",
     [] { return Utf16(IniWith(Counted(kTextLimit + 1))); }, Counted(kTextLimit)},
    {kTextLength, "TextOf4000CharactersIsCut", [] { return Utf16(IniWith(Counted(4000))); },
     Counted(kTextLimit)},
    // Whether a UTF-8 mark is known is the profile reader's business (this
    // platform's knows it; others glue it to the first line, so that a first
    // section header is no longer one): the box shows the text or none.
    {kEncodings, "Utf8MarkBeforeTheLanguageSection",
     [] { return "\xEF\xBB\xBF" + Narrow(IniWith(kText)); }, L"", kText},
    {kEncodings, "Utf8MarkBeforeAComment",
     [] { return "\xEF\xBB\xBF; strings\r\n" + Narrow(IniWith(kText)); }, kText},
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
    {kSectionNames, "SectionNameAtTheLimit",
     [] { return Utf16(IniWithSectionName(kSectionLimit)); }, L"whole name"},
    {kSectionNames, "SectionNameOverTheLimitIsCut",
     [] { return Utf16(IniWithSectionName(kSectionLimit + 9)); }, L"cut name"},
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
        if (c.orText.empty() || box.text != c.orText) {
            EXPECT_EQ(ToAnsi(c.text), ToAnsi(box.text));
        }
    }
    EXPECT_NE(0u, run);
}

INSTANTIATE_TEST_SUITE_P(Of, StringsFileBytes,
                         ::testing::Values(kEncodings, kGarbage, kSize, kTextLength, kMissingParts,
                                           kSectionNames),
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

namespace {

// A command line and whether it switches the trace on. `tail` gets the length
// of the text in front of it (the quoted program name) so that a case can fill
// the line up to a total length.
enum CommandGroup { kBlanks, kQuotes, kUnicode, kLongLines };
const char *const kCommandGroupNames[] = {"Blanks", "Quotes", "Unicode", "LongLines"};

struct CommandCase {
    CommandGroup group;
    const char *name;
    std::function<std::wstring(size_t)> tail;
    bool traceOn;
};

std::function<std::wstring(size_t)> Fixed(const wchar_t *tail) {
    const std::wstring text = tail;
    return [text](size_t) { return text; };
}

// `head` + filler + `end`, `total` characters with the program's name.
std::function<std::wstring(size_t)> Filled(const std::wstring &head, wchar_t filler,
                                           const std::wstring &end) {
    return [head, filler, end](size_t cchName) {
        const size_t used = cchName + head.size() + end.size();
        return head + std::wstring(kLongCommandLine > used ? kLongCommandLine - used : 0, filler) +
               end;
    };
}

const CommandCase kCommandCases[] = {
    {kBlanks, "TabsBefore", Fixed(L"\t \t-d"), true},
    {kBlanks, "OnlyBlanks", Fixed(L"      "), false},
    {kBlanks, "OnlyTabsAndBlanks", Fixed(L" \t \t "), false},
    {kBlanks, "TabAfter", Fixed(L" /d\t"), false},
    {kBlanks, "LineBreakAfter", Fixed(L" /d\r\n"), false},
    {kQuotes, "OpenQuote", Fixed(L" \"/d"), false},
    {kQuotes, "QuoteAfter", Fixed(L" /d\""), false},
    {kQuotes, "EmptyQuotesBefore", Fixed(L" \"\"/d"), false},
    {kQuotes, "QuotedBlank", Fixed(L" \" \""), false},
    {kUnicode, "FullWidthLetter", Fixed(L" /\xFF44"), false},
    {kUnicode, "NoBreakSpaceBefore", Fixed(L" \x00A0/d"), false},
    {kUnicode, "NoBreakSpaceAfter", Fixed(L" /d\x00A0"), false},
    {kUnicode, "SurrogatePairAfter", Fixed(L" /d\xD83D\xDE00"), false},
    {kUnicode, "LoneSurrogate", Fixed(L" /\xDC00"), false},
    {kUnicode, "OtherScripts", Fixed(L" \x00E9\x4E2D\x6587\x0416 /d"), false},
    {kLongLines, "LongLine", Filled(L" ", L'x', L""), false},
    {kLongLines, "LongLineStartingWithTheSwitch", Filled(L" /d ", L'x', L""), false},
    {kLongLines, "LongRunOfBlanksBeforeTheSwitch", Filled(L"", L' ', L"/d"), true},
    {kLongLines, "LongRunOfBlanksAfterTheSwitch", Filled(L" /d", L' ', L""), false},
};

// The copies run with the driver there and no target beside them, so each one
// becomes the working copy, finds nothing to start and ends by itself.
class CommandLine : public E2eTest, public ::testing::WithParamInterface<CommandGroup> {};

} // namespace

TEST_P(CommandLine, OnlyTheDeveloperSwitchAloneTurnsTheTraceOn) {
    const size_t cchName = sandbox_->ExePath().size() + 2; // quoted
    size_t run = 0;
    for (const CommandCase &c : kCommandCases) {
        if (c.group != GetParam())
            continue;
        SCOPED_TRACE(c.name);
        ++run;
        ChildProcess &copy = Launch(c.tail(cchName));
        ASSERT_NE(0u, copy.Pid());
        // A long case fills the line to the length it is about.
        if (copy.CommandLine().size() > 1000) {
            ASSERT_EQ(kLongCommandLine, copy.CommandLine().size());
        }
        CopyRun copyRun = Finish(copy);
        ASSERT_TRUE(copyRun.ended) << "the copy did not end";
        EXPECT_EQ(0u, copyRun.exitCode);
        if (c.traceOn) {
            EXPECT_TRUE(MatchesExactly(copyRun.trace,
                                       RunHead() + NoTargetWindow() +
                                           Note("ExecXoltThread", "QueryFileExistence failed") +
                                           RunTail()));
        } else {
            EXPECT_TRUE(copyRun.trace.empty()) << Dump(copyRun.trace);
        }
    }
    EXPECT_NE(0u, run);
    EXPECT_TRUE(LampRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(Of, CommandLine, ::testing::Values(kBlanks, kQuotes, kUnicode, kLongLines),
                         [](const ::testing::TestParamInfo<CommandGroup> &p) {
                             return std::string(kCommandGroupNames[p.param]);
                         });
