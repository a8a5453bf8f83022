// A launcher installed in a folder of a chosen length, with a strings file
// of its own, and no driver: the long-path tests' fixture.
#ifndef TB_LONG_PATH_H
#define TB_LONG_PATH_H

#include "E2eFixture.h"

namespace tb {

const wchar_t kDeepText[] = L"Text from the deep folder.";

class LongPathTest : public E2eTest {
protected:
    LongPathTest() { startDriver_ = false; }

    // Puts the launcher, as `exeName`, and a strings file of its own into a
    // folder whose path is `cchDir` characters long, separator included.
    void Install(size_t cchDir, const wchar_t *exeName) {
        ASSERT_TRUE(sandbox_->UseDeepFolder(cchDir));
        ASSERT_EQ(cchDir, sandbox_->Dir().size());
        ASSERT_TRUE(sandbox_->PlaceExe(exeName));
        ASSERT_TRUE(sandbox_->WriteIni(std::wstring(L"[Language]\r\n0x0409=English\r\n"
                                                    L"[English]\r\nIDS_CHKTAVRIK=") +
                                       kDeepText + L"\r\n"));
    }

    // Waits for the copy's driver box, which must show the text of the
    // strings file in the deep folder, and presses OK.
    void AnswerDeepBox(ChildProcess &copy) {
        BoxView box = WaitForBoxOf(copy);
        ASSERT_NE(nullptr, box.hwnd) << "no driver box: the copy did not get that far";
        EXPECT_EQ(kDeepText, box.text);
        ASSERT_TRUE(PressButton(box.hwnd, IDOK, kPressMs));
    }

    // The copy must end by itself (no box), with 0, having traced exactly `lines`.
    void ExpectRefusal(ChildProcess &copy, const std::vector<ExpectedLine> &lines) {
        EXPECT_TRUE(EndedCleanly(Finish(copy), lines))
            << "boxes up: " << VisibleBoxesOf(copy.Pid()).size();
    }
};

} // namespace tb

#endif
