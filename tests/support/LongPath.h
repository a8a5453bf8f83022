// The long-path tests' fixture: the launcher in a folder of a chosen length, without the driver.
#pragma once

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

    // The copy must end by itself (no box), with 0, having traced exactly `lines`.
    void ExpectRefusal(ChildProcess &copy, const std::vector<ExpectedLine> &lines) {
        EXPECT_TRUE(EndedCleanly(Finish(copy), lines))
            << "boxes up: " << VisibleBoxesOf(copy.Pid()).size();
    }
};

} // namespace tb
