// Faults in the environment of a working run that the launcher must ride out:
// the driver going away or refusing every request, and the strings file
// deleted while a copy runs. Each time the run traces what went wrong, still
// toggles the target, ends cleanly and leaves nothing running.
#include "WorkingRun.h"

#include "WinePath.h"

using namespace tb;

namespace {

using Lamp = std::vector<unsigned>;
// One expected trace line, whatever the test bed calls its type.
using Line = ExpectedLine;
using Lines = std::vector<Line>;

const char kPowerContext[] = "WM_POWERBROADCAST @ WndProc";

// A lamp switch while the driver's device cannot be opened.
Lines LampUnreachable() {
    return {Error("One_Method_Raw", "ACPI drive doesn't exist!", ERROR_FILE_NOT_FOUND),
            Note("SetLightLED", "One_Method_Raw Failed!")};
}

// A lamp switch whose request the driver refuses: the error line carries the
// error the failed request left behind.
Lines LampRefused() {
    return {Note("One_Method_Raw", "IsWow64()!!"),
            Error("One_Method_Raw", "ACPI DeviceIoControl IoctlResult == NULL!", ERROR_GEN_FAILURE),
            Note("SetLightLED", "One_Method_Raw Failed!")};
}

// What a copy traces that ends before any arbitration (a driver box, or No to
// the question about the missing strings file).
Lines EarlyEnd() {
    return CopyHead() + CopyExit();
}

class EnvironmentFaultTest : public WorkingRunTest {
protected:
    // Starts a copy, waits for its box, checks caption and text, and answers it
    // with `button`. The box's view goes to *box.
    ::testing::AssertionResult AnswerBox(ChildProcess &copy, int button, BoxView *box) {
        *box = WaitForBoxOf(copy);
        if (box->hwnd == nullptr)
            return ::testing::AssertionFailure() << "no box came up";
        if (!PressButton(box->hwnd, button, kPressMs))
            return ::testing::AssertionFailure() << "the box did not go when answered";
        return ::testing::AssertionSuccess();
    }
};

} // namespace

TEST_F(EnvironmentFaultTest, DriverRemovedWhileTheTargetRunsLeavesTheToggleWorking) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first, &hidden));
    ASSERT_TRUE(WaitForLampRequests(1, kExitMs));
    EXPECT_EQ(Lamp{kLampOn}, LampRequests());
    DriverAbsent();
    if (HasFatalFailure())
        return;

    // A key press now fails its own driver check: it shows the driver box and
    // forwards nothing, so the target keeps running.
    ChildProcess &press = Launch(L" /d", {});
    BoxView box;
    ASSERT_TRUE(AnswerBox(press, IDOK, &box));
    EXPECT_EQ(sandbox_->EnglishText(L"IDS_CHKTAVRIK"), box.text);
    EXPECT_TRUE(box.ok);
    EXPECT_TRUE(EndedCleanly(Finish(press), EarlyEnd()));
    EXPECT_TRUE(first->Running());
    EXPECT_NE(0u, FindLumoraPid());

    // A resume cannot reach the lamp; the broadcast is still answered.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendPower(hidden, kPbtResumeSuspend, &answer));
    EXPECT_EQ(static_cast<DWORD_PTR>(TRUE), answer);

    // The press of a copy that passed its checks before the driver went.
    ASSERT_TRUE(PostMessageW(hidden, kMsgExec, 0, 0));
    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(1u, Log().CountCloses());
    EXPECT_EQ(std::vector<DWORD>{0}, Log().ExitCodes());
    EXPECT_TRUE(WaitForNoLumora(kExitMs));

    const std::string path = TargetPathAnsi();
    const Lines upToPress =
        RunHead(hidden) + NoTargetWindow() + LampLines() + WaitSucceeded("WaitForInputIdle", path) +
        Note(kPowerContext, "wParam == PBT_APMRESUMESUSPEND") + LampUnreachable();
    ASSERT_TRUE(MatchesAt(run.trace, 0, upToPress));
    EXPECT_TRUE(EndsAfterPress(run.trace, upToPress.size(), path, LampUnreachable()));
}

TEST_F(EnvironmentFaultTest, DriverFailingEveryRequestLeavesTheToggleWorking) {
    ASSERT_TRUE(driver_->SetReply(ACPI_REPLY_FAIL));
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first, &hidden));
    ASSERT_TRUE(Press(L""));
    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(1u, Log().CountCloses());
    EXPECT_TRUE(WaitForNoLumora(kExitMs));

    // The requests themselves were well formed; the driver failed each one.
    EXPECT_EQ((Lamp{kLampOn, kLampOff, kLampOff}), LampRequests());
    AcpiStandInHistory history = {};
    ASSERT_TRUE(driver_->History(history));
    for (unsigned i = 0; i < history.count; ++i) {
        EXPECT_NE(0u, history.requests[i].status) << "request " << i;
        EXPECT_EQ(0u, history.requests[i].written) << "request " << i;
    }

    const std::string path = TargetPathAnsi();
    const Lines upToPress = RunHead(hidden) + NoTargetWindow() + LampRefused() +
                            WaitSucceeded("WaitForInputIdle", path);
    ASSERT_TRUE(MatchesAt(run.trace, 0, upToPress));
    EXPECT_TRUE(EndsAfterPress(run.trace, upToPress.size(), path, LampRefused()));
}

TEST_F(EnvironmentFaultTest, StringsFileDeletedWhileTheTargetRuns) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first, &hidden));
    ASSERT_TRUE(sandbox_->RemoveIni());

    // The working copy does not look at the file again; a press does, at its
    // own start: answered No, it forwards nothing.
    ChildProcess &declined = Launch(L" /d", {});
    BoxView question;
    ASSERT_TRUE(AnswerBox(declined, IDNO, &question));
    EXPECT_EQ(L"Cannot find Avenor.ini. Continue?", question.text);
    EXPECT_TRUE(question.yes && question.no);
    EXPECT_TRUE(EndedCleanly(Finish(declined), EarlyEnd()));
    EXPECT_TRUE(first->Running());
    EXPECT_EQ(0u, Log().CountCloses());

    // Answered Yes, the press goes through (without the switch, which would
    // turn the working copy's trace off).
    ChildProcess &accepted = Launch(L"", {});
    ASSERT_TRUE(AnswerBox(accepted, IDYES, &question));
    EXPECT_TRUE(EndedCleanly(Finish(accepted)));
    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ(1u, Log().CountCloses());
    EXPECT_EQ((Lamp{kLampOn, kLampOff, kLampOff}), LampRequests());
    EXPECT_TRUE(WaitForNoLumora(kExitMs));
    const std::string path = TargetPathAnsi();
    const Lines upToPress =
        RunHead(hidden) + NoTargetWindow() + LampLines() + WaitSucceeded("WaitForInputIdle", path);
    ASSERT_TRUE(MatchesAt(run.trace, 0, upToPress));
    EXPECT_TRUE(EndsAfterPress(run.trace, upToPress.size(), path, LampLines()));

    // With the file still gone, a refusal shows its box with an empty text.
    HeldName otherSession(HeldName::Mutex, kGlobalMutexName);
    ASSERT_TRUE(otherSession.Ok());
    ChildProcess &refused = Launch(L" /d", {});
    ASSERT_TRUE(AnswerBox(refused, IDYES, &question));
    BoxView refusal;
    ASSERT_TRUE(AnswerBox(refused, IDOK, &refusal));
    EXPECT_EQ(L"", refusal.text);
    EXPECT_TRUE(refusal.ok);
    EXPECT_TRUE(EndedCleanly(Finish(refused),
                             {EarlyEnd()[0], EarlyEnd()[1],
                              Note("InitInstance", "m_hGlobalMutex - ERROR_ALREADY_EXISTS"),
                              EarlyEnd()[2]}));
    EXPECT_EQ(1u, Log().CountStarts());
}
