// The strings file as the driver box reads it: cut texts and section names
// reach the box, and a file out of reach when the box is built gives an empty
// text. (What the lookup makes of hostile file contents are rows of the unit
// tables HostileFile and LangLookup; hostile command lines are rows of the
// unit table DebugSwitch.)
#include "E2eFixture.h"
#include "TraceLines.h"
#include "WinePath.h"

#include <string>

using namespace tb;

namespace {

// The text limits of a strings file: 253 characters of text, and section names
// of 31 characters.
const size_t kTextLimit = 253;
const size_t kSectionLimit = 31;

const wchar_t kText[] = L"The lamp service is missing.";

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

// The language table names a section of 40 characters; the file holds that
// section with one text and a section named by its first 31 characters with
// another.
std::wstring IniWithOverlongSectionName() {
    const std::wstring name = L"S" + std::wstring(38, L's') + L"z";
    return L"[Language]\r\n0x0409=" + name + L"\r\n[" + name +
           L"]\r\nIDS_CHKTAVRIK=whole name\r\n[" + name.substr(0, kSectionLimit) +
           L"]\r\nIDS_CHKTAVRIK=cut name\r\n";
}

// A copy that finds no driver shows the box whose text comes from the file.
class StringsFileTest : public E2eTest {
protected:
    StringsFileTest() { startDriver_ = false; }
    void SetUp() override {
        E2eTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
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
        return EndedCleanly(Finish(copy), CopyHead() + CopyExit());
    }
};

} // namespace

// The cuts reach the box: a text one over its limit, and a section name over
// its limit, whose first 31 characters name the section that is read. (At,
// one over and far over each limit: rows of the unit table LangLookup.)
TEST_F(StringsFileTest, CutTextAndSectionNameReachTheBox) {
    const struct {
        const char *name;
        std::wstring ini;
        std::wstring text;
    } rows[] = {
        {"TextOneOverTheLimitIsCut", IniWith(Counted(kTextLimit + 1)), Counted(kTextLimit)},
        {"SectionNameOverTheLimitIsCut", IniWithOverlongSectionName(), L"cut name"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sandbox_->WriteIni(row.ini));
        BoxView box;
        ASSERT_TRUE(DriverBox(&box));
        EXPECT_EQ(kBoxCaption, box.caption);
        EXPECT_TRUE(box.ok);
        EXPECT_EQ(ToAnsi(row.text), ToAnsi(box.text));
    }
}

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
