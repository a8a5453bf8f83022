// A working copy whose target cannot be launched: nothing, a folder, or a
// file that is no program lies where it should be.
#include "WorkingRun.h"

using namespace tb;

enum Unlaunchable { kNothing, kFolder, kNoProgram };

class UnlaunchableTargetTest : public WorkingRunTest,
                               public ::testing::WithParamInterface<Unlaunchable> {};

// Missing, or a folder, is found up front: no launch is tried. A file that is
// no program is tried and refused, with the code in the text and the error
// field. Either way the run ends at once, without lamp or target.
TEST_P(UnlaunchableTargetTest, EndsTheRunWithoutLampOrTarget) {
    ASSERT_TRUE(DeleteFileW(TargetPath().c_str()));
    if (GetParam() == kFolder)
        ASSERT_TRUE(CreateDirectoryW(TargetPath().c_str(), nullptr));
    else if (GetParam() == kNoProgram)
        ASSERT_TRUE(sandbox_->WriteBytes(kLumoraExe, "not a program\r\n"));
    else // only a file whose name begins like the target's
        ASSERT_TRUE(sandbox_->WriteBytes(std::wstring(kLumoraExe) + L".lnk", "a shortcut\r\n"));

    HWND hidden = nullptr;
    CopyRun run = Finish(LaunchWorkingCopy(L" /d", {}, &hidden));
    ASSERT_TRUE(EndedCleanly(run));
    const std::string refused =
        "(" + TargetPathAnsi() + ") CreateProcess failed (ErrCode: 0x000000C1) !";
    EXPECT_TRUE(MatchesExactly(
        run.trace, GetParam() != kNoProgram
                       ? MissingTargetRun(hidden)
                       : RunHead(hidden) + NoTargetWindow() +
                             Error("RunProgram", refused, ERROR_BAD_EXE_FORMAT) + RunTail()));
    EXPECT_TRUE(LampRequests().empty());
    EXPECT_TRUE(Log().Lines().empty());
    EXPECT_TRUE(LumoraPids().empty());
}

static std::string RowName(const ::testing::TestParamInfo<Unlaunchable> &p) {
    const char *const names[] = {"Missing", "Folder", "NotAProgram"};
    return names[p.param];
}

INSTANTIATE_TEST_SUITE_P(Targets, UnlaunchableTargetTest,
                         ::testing::Values(kNothing, kFolder, kNoProgram), RowName);
