// A launcher installed so deep that its own path, or a path derived from it,
// reaches the 260-character limit of the buffers that hold them: the copy
// refuses with an error line and ends, and one character less still works.
#include "LongPath.h"

using namespace tb;

// 249 + "Avenor.exe": the launcher's path and every derived path have 259
// characters and fit; the strings file in that folder is found and read. (The
// derived paths alone at 259 characters, beside a shorter launcher path, are
// row DerivedPathOf259 of the unit table DerivedPaths.)
TEST_F(LongPathTest, PathsOf259CharactersStillWork) {
    Install(249, L"Avenor.exe");
    ASSERT_EQ(259u, sandbox_->ExePath().size());
    ChildProcess &copy = Launch(L" /d");
    BoxView box = WaitForBoxOf(copy); // the driver box, in the deep folder's words
    ASSERT_NE(nullptr, box.hwnd) << "no driver box: the copy did not get that far";
    EXPECT_EQ(kDeepText, box.text);
    ASSERT_TRUE(PressButton(box.hwnd, IDOK, kPressMs));
    ExpectRefusal(copy, CopyHead() + CopyExit());
}

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
