#include "app/CmdLine.h"
#include "fw/CmdLineText.h"

#include <gtest/gtest.h>

#include "RowName.h"

#include <string>

namespace {

// The whole chain a launch goes through: the full command line, the framework's
// tail, then the switch test.
bool DebugFor(const std::wstring &full) {
    return IsDebugSwitch(SkipProgramName(full.c_str()));
}

// The name of an installed launcher, quoted, as the key's handler starts it.
const std::wstring kQuotedName = L"\"C:\\Program Files\\Tavrik\\Lumora\\Avenor.exe\"";
// The longest command line Windows takes is 32,767 characters with its end.
const size_t kLongCommandLine = 32000;

// `kQuotedName` + `head` + filler + `end`, kLongCommandLine characters in all.
std::wstring Filled(const std::wstring &head, wchar_t filler, const std::wstring &end) {
    const size_t used = kQuotedName.size() + head.size() + end.size();
    return kQuotedName + head + std::wstring(kLongCommandLine - used, filler) + end;
}

struct SwitchRow {
    const char *name;
    std::wstring full; // the whole command line
    bool on;           // whether it turns the trace on
};

void PrintTo(const SwitchRow &row, std::ostream *os) {
    *os << row.name;
}

const SwitchRow kSwitchRows[] = {
    // Only the whole switch, in any case, turns the trace on.
    {"Slash", L"Avenor.exe /d", true},
    {"Dash", L"Avenor.exe -d", true},
    {"SlashUpper", L"Avenor.exe /D", true},
    {"DashUpper", L"Avenor.exe -D", true},
    {"QuotedName", L"\"C:\\Program Files\\Avenor.exe\" /d", true},
    // The framework drops the blanks between the name and the switch...
    {"BlanksAndTabsBefore", L"Avenor.exe    \t /d", true},
    {"TabsBefore", kQuotedName + L"\t \t-d", true},
    // Every character up to the space separates, as in the C runtime's tail.
    {"ControlCharactersBefore", L"Avenor.exe\r\n\x01/d", true},
    {"NothingAfterTheQuote", L"\"C:\\Program Files\\Avenor.exe\"/D", true},
    {"LongRunOfBlanksBeforeTheSwitch", Filled(L"", L' ', L"/d"), true},
    // ...but not those after it, nor further words.
    {"BlankAfter", L"Avenor.exe /d ", false},
    {"TabAfter", kQuotedName + L" /d\t", false},
    {"LineBreakAfter", kQuotedName + L" /d\r\n", false},
    {"LongRunOfBlanksAfterTheSwitch", Filled(L" /d", L' ', L""), false},
    {"FurtherWord", L"Avenor.exe /d x", false},
    {"LongerWord", L"Avenor.exe /debug", false},
    {"NoSign", L"Avenor.exe d", false},
    {"DoubleSlash", L"Avenor.exe //d", false},
    {"Nothing", L"Avenor.exe", false},
    {"OnlyBlanks", kQuotedName + L"      ", false},
    {"OnlyTabsAndBlanks", kQuotedName + L" \t \t ", false},
    {"SwitchInsideTheQuotedName", L"\"Avenor.exe /d\"", false},
    {"OpenQuote", kQuotedName + L" \"/d", false},
    {"QuoteAfter", kQuotedName + L" /d\"", false},
    {"EmptyQuotesBefore", kQuotedName + L" \"\"/d", false},
    {"QuotedBlank", kQuotedName + L" \" \"", false},
    // Other characters that look like the switch or a blank are neither.
    {"FullWidthLetter", kQuotedName + L" /\xFF44", false},
    {"NoBreakSpaceBefore", kQuotedName + L" \x00A0/d", false},
    {"NoBreakSpaceAfter", kQuotedName + L" /d\x00A0", false},
    {"SurrogatePairAfter", kQuotedName + L" /d\xD83D\xDE00", false},
    {"LoneSurrogate", kQuotedName + L" /\xDC00", false},
    {"OtherScripts", kQuotedName + L" \x00E9\x4E2D\x6587\x0416 /d", false},
    // The longest lines Windows passes on.
    {"LongLine", Filled(L" ", L'x', L""), false},
    {"LongLineStartingWithTheSwitch", Filled(L" /d ", L'x', L""), false},
};

class DebugSwitch : public ::testing::TestWithParam<SwitchRow> {};

} // namespace

TEST_P(DebugSwitch, OnlyTheWholeSwitchInAnyCaseTurnsTheTraceOn) {
    EXPECT_EQ(GetParam().on, DebugFor(GetParam().full));
}

INSTANTIATE_TEST_SUITE_P(Rows, DebugSwitch, ::testing::ValuesIn(kSwitchRows), RowName<SwitchRow>);

TEST(DebugSwitchOfNothing, IsOff) {
    EXPECT_FALSE(IsDebugSwitch(nullptr));
}
