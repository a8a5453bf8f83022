// The working copy's hidden window: what kind of window it is, and how others
// reach it: later presses and the trace switch they carry, power broadcasts,
// and a close request from outside.
#include "WorkingRun.h"

using namespace tb;

namespace {

using Lamp = std::vector<unsigned>;

const char kPowerContext[] = "WM_POWERBROADCAST @ WndProc";

// The three broadcasts after which the lamp is set again.
struct Relight {
    WPARAM event;
    const char *name;
};
const Relight kRelights[] = {{kPbtResumeSuspend, "PBT_APMRESUMESUSPEND"},
                             {kPbtResumeCritical, "PBT_APMRESUMECRITICAL"},
                             {kPbtQuerySuspendFailed, "PBT_APMQUERYSUSPENDFAILED"}};
// Broadcasts that leave the lamp alone.
const WPARAM kOtherEvents[] = {kPbtQuerySuspend, kPbtSuspend};

// Sends the working copy's hidden window the three broadcasts after which the
// lamp is set again, each answered only after the lamp request for `relit`,
// then the two that leave the lamp alone. *expected, the lamp requests so far,
// grows by one request per relight; the lines each broadcast traces are added
// to *lines.
void SendEveryBroadcast(HWND hidden, unsigned relit, Lamp *expected,
                        std::vector<ExpectedLine> *lines) {
    for (const Relight &r : kRelights) {
        SCOPED_TRACE(r.name);
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendPower(hidden, r.event, &answer));
        EXPECT_EQ(static_cast<DWORD_PTR>(TRUE), answer);
        expected->push_back(relit);
        EXPECT_EQ(*expected, LampRequests());
        *lines = *lines + Note(kPowerContext, std::string("wParam == ") + r.name) + LampLines();
    }
    for (WPARAM event : kOtherEvents) {
        SCOPED_TRACE(event);
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendPower(hidden, event, &answer));
        EXPECT_EQ(static_cast<DWORD_PTR>(TRUE), answer);
        EXPECT_EQ(*expected, LampRequests());
        *lines = *lines + Note("WndProc", "WM_POWERBROADCAST");
    }
}

// The working run, seen through the working copy's hidden window.
class HiddenWindowTest : public WorkingRunTest {};

} // namespace

TEST_F(HiddenWindowTest, IsAnOverlappedTopLevelWindowThatIsNeverShown) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L"", {}, &first, &hidden));

    // An ordinary overlapped top-level window, never shown (the system adds
    // the sibling clipping and the raised edge every such window gets), of a
    // class that redraws on resizing. (Its brush cannot be read from another
    // process here.)
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS),
              GetWindowLongW(hidden, GWL_STYLE));
    EXPECT_EQ(static_cast<LONG>(WS_EX_WINDOWEDGE), GetWindowLongW(hidden, GWL_EXSTYLE));
    EXPECT_EQ(nullptr, GetParent(hidden));
    EXPECT_EQ(static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW), GetClassLongW(hidden, GCL_STYLE));
}

TEST_F(HiddenWindowTest, PowerBroadcastsWhileTheTargetRunsLightTheLampAgain) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first, &hidden));

    Lamp expected{kLampOn};
    std::vector<ExpectedLine> powerLines;
    ASSERT_NO_FATAL_FAILURE(SendEveryBroadcast(hidden, kLampOn, &expected, &powerLines));

    ASSERT_TRUE(Press(L""));
    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    const std::string path = TargetPathAnsi();
    const std::vector<ExpectedLine> upToBroadcasts =
        RunHead(hidden) + NoTargetWindow() + LampLines() + WaitSucceeded("WaitForInputIdle", path) +
        powerLines;
    ASSERT_TRUE(MatchesAt(run.trace, 0, upToBroadcasts));
    EXPECT_TRUE(EndsAfterPress(run.trace, upToBroadcasts.size(), path, LampLines()));
}

TEST_F(HiddenWindowTest, TargetStayingOpenAfterAPressLeavesTheLampDarkAndLaterPressesIgnored) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {{L"LUMORA_MODE", L"ignore-close"}}, &first, &hidden));

    ASSERT_TRUE(Press(L""));
    ASSERT_TRUE(Log().WaitForCount(L"close", 1, kExitMs));
    ASSERT_TRUE(WaitForLampRequests(2, kExitMs));
    EXPECT_EQ((Lamp{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(first->Running());

    // The running flag is clear: a resume puts the lamp out instead of
    // lighting it, and the other broadcasts still change nothing.
    Lamp expected{kLampOn, kLampOff};
    std::vector<ExpectedLine> powerLines;
    ASSERT_NO_FATAL_FAILURE(SendEveryBroadcast(hidden, kLampOff, &expected, &powerLines));

    // Further presses are traced and otherwise ignored.
    ASSERT_TRUE(Press(L""));
    ASSERT_TRUE(Press(L""));
    const std::string exec = NotifyLine("WndProc", "WM_USER_EXEC");
    ASSERT_TRUE(WaitForTraceCount(*first, exec, 3, kFlushMs));
    ASSERT_TRUE(RoundTrip(hidden)); // the third press handled to its end
    EXPECT_EQ(1u, CountLines(TraceOf(*first), NotifyLine("CloseXoltWin", kPressedClose)));
    EXPECT_EQ(1u, Log().CountCloses());
    EXPECT_EQ(expected, LampRequests());
    EXPECT_TRUE(first->Running()) << "the working copy ended while its target still runs";

    // The copy ends when the target finally does.
    EXPECT_EQ(1u, KillAllLumora());
    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    expected.push_back(kLampOff);
    EXPECT_EQ(expected, LampRequests());

    const std::string path = TargetPathAnsi();
    EXPECT_TRUE(MatchesExactly(
        run.trace, RunHead(hidden) + NoTargetWindow() + LampLines() +
                       WaitSucceeded("WaitForInputIdle", path) + Note("WndProc", "WM_USER_EXEC") +
                       Note("CloseXoltWin", kPressedClose) + LampLines() + powerLines +
                       Note("WndProc", "WM_USER_EXEC") + Note("WndProc", "WM_USER_EXEC") +
                       WaitSucceeded("WaitForSingleObject", path) + LampLines() + RunTail()));
}

TEST_F(HiddenWindowTest, CloseFromOutsideEndsTheRunWithoutWaitingForTheTarget) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {{L"LUMORA_MODE", L"ignore-close"}}, &first, &hidden));

    ASSERT_TRUE(PostMessageW(hidden, WM_CLOSE, 0, 0));
    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run)) << "the working copy waits for a target that stays open";
    EXPECT_TRUE(Log().WaitForCount(L"close", 1, kExitMs));
    EXPECT_EQ(1u, Log().CountCloses());
    EXPECT_EQ(0u, Log().CountExits());
    EXPECT_FALSE(LumoraPids().empty()) << "the target should still run";
    EXPECT_EQ((Lamp{kLampOn, kLampOff}), LampRequests());

    // No exit-wait line: the worker is still waiting when the process ends.
    EXPECT_TRUE(MatchesExactly(
        run.trace, RunHead(hidden) + NoTargetWindow() + LampLines() +
                       WaitSucceeded("WaitForInputIdle", TargetPathAnsi()) +
                       Note("WndProc", "WM_DESTROY") + Note("CloseXoltWin", kPressedClose) +
                       LampLines() + Note("MainThreadCreateWindow", "GetMessage Exits....") +
                       CopyExit()));
}

TEST_F(HiddenWindowTest, PressWithTheSwitchTurnsTheWorkingCopysTraceOn) {
    ChildProcess *first = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L"", {}, &first));
    ASSERT_TRUE(Press(L" /D"));

    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ((Lamp{kLampOn, kLampOff, kLampOff}), LampRequests());
    // Silent until the switch flipped; the flip itself was traced while off.
    EXPECT_TRUE(EndsAfterPress(run.trace, 0, TargetPathAnsi(), LampLines()));
}

TEST_F(HiddenWindowTest, PressWithTheSwitchTurnsTheWorkingCopysTraceOff) {
    ChildProcess *first = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first));
    const size_t before = TraceOf(*first).size();
    ASSERT_TRUE(Press(L" /d"));

    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    // The press still closed the target, silently.
    EXPECT_EQ((Lamp{kLampOn, kLampOff, kLampOff}), LampRequests());
    EXPECT_EQ(1u, Log().CountCloses());
    ASSERT_EQ(before + 1, run.trace.size()) << Dump(run.trace);
    EXPECT_TRUE(MatchesAt(run.trace, before, {Note("WndProc", "WM_USER_Debug")}));
}
