// A launcher installed so deep that its own path, or a path derived from it,
// reaches the 260-character limit of the buffers that hold them: the copy
// refuses with an error line and ends, and one character less still works.
#include "E2eFixture.h"
#include "TraceLines.h"

using namespace tb;

namespace {

const wchar_t kDeepText[] = L"Text from the deep folder.";

} // namespace

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

// 249 + "Avenor.exe": the launcher's path and every derived path have 259
// characters and fit; the strings file in that folder is found and read. (The
// derived paths alone at 259 characters, beside a shorter launcher path, are
// row DerivedPathOf259 of the unit table DerivedPaths.)
TEST_F(LongPathTest, PathsOf259CharactersStillWork) {
    Install(249, L"Avenor.exe");
    ASSERT_EQ(259u, sandbox_->ExePath().size());
    ChildProcess &copy = Launch(L" /d");
    ASSERT_NO_FATAL_FAILURE(AnswerDeepBox(copy));
    ExpectRefusal(copy, CopyHead() + CopyExit());
}

class CutModulePathTest : public LongPathTest, public ::testing::WithParamInterface<size_t> {};

// The launcher's own path does not fit: it would come back cut.
TEST_P(CutModulePathTest, RefusesWithAnErrorLine) {
    Install(GetParam(), L"Avenor.exe");
    ASSERT_GE(sandbox_->ExePath().size(), 260u);
    // The ordinary process creation takes no such path; Wine's loader does.
    ChildProcess &copy = LaunchThroughLoader(L" /d");
    ExpectRefusal(copy,
                  CopyHead() +
                      Error("InitInstance", "GetModuleFileName failed", ERROR_INSUFFICIENT_BUFFER) +
                      CopyExit());
}

INSTANTIATE_TEST_SUITE_P(FolderLengths, CutModulePathTest, ::testing::Values(250u, 300u),
                         [](const ::testing::TestParamInfo<size_t> &p) {
                             return "FolderOf" + std::to_string(p.param);
                         });

// "A.exe" in a folder of 250 characters: the launcher's path (255) fits, the
// strings file's and the target's (260) do not.
TEST_F(LongPathTest, DerivedPathThatDoesNotFitIsRefused) {
    Install(250, L"A.exe");
    ASSERT_EQ(255u, sandbox_->ExePath().size());
    ASSERT_EQ(260u, sandbox_->IniPath().size());
    ChildProcess &copy = Launch(L" /d");
    ExpectRefusal(copy, CopyHead() +
                            Error("InitInstance", "Path too long", ERROR_FILENAME_EXCED_RANGE) +
                            CopyExit());
}
