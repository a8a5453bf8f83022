// The working run from the key's side: the toggle of two presses, and the ways
// a run ends when the target application goes away by itself or was already
// running before the launch.
#include "WorkingRun.h"

#include "AcpiStandIn.h"
#include "Poll.h"
#include "Processes.h"
#include "WinePath.h"

#include <algorithm>
#include <wchar.h>

using namespace tb;

namespace {

using Lamp = std::vector<unsigned>;

std::wstring Unquoted(const std::wstring &text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

// A whole run whose target ended without a key press.
std::vector<ExpectedLine> LoneRun(const std::string &targetPath, HWND hidden) {
    return RunHead(hidden) + NoTargetWindow() + LampLines() +
           WaitSucceeded("WaitForInputIdle", targetPath) +
           WaitSucceeded("WaitForSingleObject", targetPath) + LampLines() + RunTail();
}

// With a lamp request of `copy` held back by the stand-in: true once the other
// thread's switch waits for the lamp's lock and so can no longer overtake;
// false when it overtook. The held request goes in either case.
bool NothingOvertakes(const ChildProcess &copy) {
    bool waits = false;
    PollUntil(kExitMs, 20, [&] {
        waits = WaitsOnALockOfItsOwn(copy.Handle());
        return waits || !StandInHolding();
    });
    EXPECT_TRUE(StandInRelease());
    return waits;
}

bool HoldingALampRequest() {
    return PollUntil(kExitMs, 20, StandInHolding);
}

} // namespace

TEST_F(WorkingRunTest, KeyToggleLaunchesWithTheLampLitAndClosesOnTheNextPress) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first, &hidden));

    // The lamp was lit before the target's first instruction ran; the target
    // was started as its own path, in the launcher's folder.
    std::vector<LumoraStart> starts = Log().Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(1, starts[0].lamp);
    EXPECT_EQ(0, _wcsicmp(TargetPath().c_str(), Unquoted(starts[0].cmdline).c_str()))
        << ToAnsi(starts[0].cmdline);
    EXPECT_EQ(0, _wcsicmp(WithoutTrailingSeparator(sandbox_->Dir()).c_str(),
                          WithoutTrailingSeparator(starts[0].cwd).c_str()))
        << ToAnsi(starts[0].cwd);
    EXPECT_EQ(Lamp{kLampOn}, LampRequests());
    EXPECT_TRUE(first->Running());

    // Windows with the class or the title of the target's or of the hidden
    // window, but not both, above the real ones: every lookup passes them over.
    NearMissWindow nearMisses[] = {{kLumoraClass, L"Lumora Setup"},
                                   {L"LumoraSetup", kLumoraTitle},
                                   {kLauncherWindowName, L"Tavrik Xolt Wrapper"},
                                   {L"Tavrik Xolt Wrapper", kLauncherWindowName}};
    ASSERT_TRUE(Press(L""));
    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run)) << "the working copy did not end after the second press";
    EXPECT_EQ((Lamp{kLampOn, kLampOff, kLampOff}), LampRequests());
    EXPECT_EQ(1u, Log().CountCloses());
    EXPECT_EQ(std::vector<DWORD>{0}, Log().ExitCodes());
    EXPECT_TRUE(WaitForNoLumora(kExitMs));
    for (NearMissWindow &nearMiss : nearMisses)
        EXPECT_TRUE(nearMiss.NothingPosted());

    // Up to the close request everything happens on one thread at a time.
    const std::string path = TargetPathAnsi();
    const std::vector<ExpectedLine> upToPress =
        RunHead(hidden) + NoTargetWindow() + LampLines() + WaitSucceeded("WaitForInputIdle", path);
    ASSERT_TRUE(MatchesAt(run.trace, 0, upToPress));
    EXPECT_TRUE(EndsAfterPress(run.trace, upToPress.size(), path, LampLines()));

    // Both wait lines name the process that logged the start.
    WaitLine idle, exit;
    ASSERT_TRUE(FindWaitLine(run.trace, "WaitForInputIdle", &idle));
    ASSERT_TRUE(FindWaitLine(run.trace, "WaitForSingleObject", &exit));
    EXPECT_EQ(starts[0].pid, idle.pid);
    EXPECT_EQ(starts[0].pid, exit.pid);
}

TEST_F(WorkingRunTest, TargetClosedByTheUserEndsTheRun) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first, &hidden));
    HWND target = FindLumoraWindow();
    ASSERT_NE(nullptr, target);
    ASSERT_TRUE(PostMessageW(target, WM_CLOSE, 0, 0));

    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run));
    EXPECT_EQ((Lamp{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(MatchesExactly(run.trace, LoneRun(TargetPathAnsi(), hidden)));
}

TEST_F(WorkingRunTest, TargetEndingByItselfEndsTheRunWhateverItsExitCode) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {{L"LUMORA_MODE", L"exit-after=2000,exit-code=3"}}, &first,
                                 &hidden));

    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run)); // the target's code is not passed on
    EXPECT_EQ(std::vector<DWORD>{3}, Log().ExitCodes());
    EXPECT_EQ(0u, Log().CountCloses());
    EXPECT_EQ((Lamp{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(MatchesExactly(run.trace, LoneRun(TargetPathAnsi(), hidden)));
}

TEST_F(WorkingRunTest, CrashingTargetEndsTheRun) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {{L"LUMORA_MODE", L"crash-after=1500"}}, &first, &hidden));

    CopyRun run = Finish(*first);
    ASSERT_TRUE(EndedCleanly(run)) << "the working copy still waits for a target that crashed";
    EXPECT_EQ(1u, Log().CountWithPrefix(L"crash"));
    EXPECT_EQ(0u, Log().CountExits());
    EXPECT_EQ((Lamp{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(MatchesExactly(run.trace, LoneRun(TargetPathAnsi(), hidden)));
}

TEST_F(WorkingRunTest, StrayTargetIsClosedBeforeAFreshOneStarts) {
    ChildProcess stray;
    ASSERT_TRUE(stray.Start(TargetPath(), L"", {{L"LUMORA_MODE", L""}}, sandbox_->Dir()));
    ASSERT_TRUE(WaitForLumoraWindow(kExitMs));
    ASSERT_TRUE(Log().WaitForStarts(1, kExitMs));

    // The fresh target ends by itself, so no key press is needed to end the run.
    HWND hidden = nullptr;
    ChildProcess &first =
        LaunchWorkingCopy(L" /d", {{L"LUMORA_MODE", L"exit-after=2000"}}, &hidden);
    DWORD strayCode = STILL_ACTIVE;
    ASSERT_TRUE(stray.WaitForExit(kExitMs, &strayCode)) << "the stray target was not closed";
    EXPECT_EQ(0u, strayCode);
    CopyRun run = Finish(first);
    ASSERT_TRUE(EndedCleanly(run));

    std::vector<LumoraStart> starts = Log().Starts();
    ASSERT_EQ(2u, starts.size());
    EXPECT_EQ(stray.Pid(), starts[0].pid);
    EXPECT_NE(stray.Pid(), starts[1].pid);
    EXPECT_EQ(1, starts[1].lamp);
    EXPECT_EQ(1u, Log().CountCloses()); // the stray's; the fresh one ended by itself
    EXPECT_EQ((std::vector<DWORD>{0, 0}), Log().ExitCodes());
    EXPECT_EQ((Lamp{kLampOff, kLampOn, kLampOff}), LampRequests());

    // The stray is asked to close, and the lamp put out, before the worker runs.
    const std::string path = TargetPathAnsi();
    EXPECT_TRUE(MatchesExactly(
        run.trace, RunHead(hidden) + Note("CloseXoltWin", kPressedClose) + LampLines() +
                       LampLines() + WaitSucceeded("WaitForInputIdle", path) +
                       WaitSucceeded("WaitForSingleObject", path) + LampLines() + RunTail()));
    WaitLine idle;
    ASSERT_TRUE(FindWaitLine(run.trace, "WaitForInputIdle", &idle));
    EXPECT_EQ(starts[1].pid, idle.pid);
}

TEST_F(WorkingRunTest, WaitLinesCountFromBeforeTheLaunch) {
    // The target takes at least 1.5 s to become input-idle and then stays 1 s.
    const DWORD before = GetTickCount();
    ChildProcess &first = Launch(L" /d", {{L"LUMORA_MODE", L"idle-delay=1500,exit-after=1000"}});
    CopyRun run = Finish(first);
    const long wall = static_cast<long>(GetTickCount() - before);
    ASSERT_TRUE(EndedCleanly(run));

    WaitLine idle, exit;
    ASSERT_TRUE(FindWaitLine(run.trace, "WaitForInputIdle", &idle)) << Dump(run.trace);
    ASSERT_TRUE(FindWaitLine(run.trace, "WaitForSingleObject", &exit)) << Dump(run.trace);
    EXPECT_EQ("succeed", idle.outcome);
    EXPECT_EQ("succeed", exit.outcome);
    EXPECT_GE(idle.ms, 1500);
    // The exit figure covers the input-idle time too, plus the target's second.
    EXPECT_GE(exit.ms, idle.ms + 900);
    EXPECT_LE(exit.ms, wall);
    EXPECT_EQ(TargetPathAnsi(), idle.path);
    EXPECT_EQ(TargetPathAnsi(), exit.path);
    std::vector<LumoraStart> starts = Log().Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(starts[0].pid, idle.pid);
    EXPECT_EQ(starts[0].pid, exit.pid);
}

// The stand-in holds the launch's lamp-on back while a key press asks a target
// started by other means to close: the close request's lamp-off waits for the
// lamp-on, so the lamp ends dark with the flag clear. Meanwhile the fresh
// target has not run a single instruction.
TEST_F(WorkingRunTest, CloseRequestDuringTheLaunchLampWaitsForIt) {
    ChildProcess stray;
    ASSERT_TRUE(
        stray.Start(TargetPath(), L"", {{L"LUMORA_MODE", L"ignore-close"}}, sandbox_->Dir()));
    ASSERT_TRUE(WaitForLumoraWindow(kExitMs));
    ASSERT_TRUE(StandInHold(kLampOn));

    ChildProcess &first = Launch(L" /d", {{L"LUMORA_MODE", L""}});
    ASSERT_TRUE(HoldingALampRequest()) << "the launch sent no lamp-on";
    std::vector<DWORD> fresh = LumoraPids();
    fresh.erase(std::remove(fresh.begin(), fresh.end(), stray.Pid()), fresh.end());
    ASSERT_EQ(1u, fresh.size());
    EXPECT_TRUE(AllThreadsSuspended(fresh[0])) << "the target runs before its lamp is lit";

    ASSERT_TRUE(Press(L""));
    ASSERT_TRUE(WaitForTraceCount(first, NotifyLine("CloseXoltWin", kPressedClose), 2, kExitMs));
    EXPECT_TRUE(NothingOvertakes(first)) << "the close request's lamp-off overtook the lamp-on";
    ASSERT_TRUE(WaitForLampRequests(3, kExitMs));
    EXPECT_EQ((Lamp{kLampOff, kLampOn, kLampOff}), LampRequests());
    EXPECT_EQ(0, StandInLamp());
}

// The stand-in holds a resume broadcast's lamp-on back while the target ends:
// the worker's lamp-off at the end of the run waits for it, so the lamp does
// not stay lit after the run.
TEST_F(WorkingRunTest, RunEndingDuringAResumeBroadcastLeavesTheLampDark) {
    ChildProcess *first = nullptr;
    HWND hidden = nullptr;
    ASSERT_TRUE(StartWorkingCopy(L" /d", {}, &first, &hidden));
    ASSERT_TRUE(StandInHold(kLampOn));
    ASSERT_TRUE(PostMessageW(hidden, WM_POWERBROADCAST, kPbtResumeSuspend, 0));
    ASSERT_TRUE(HoldingALampRequest()) << "the resume broadcast sent no lamp-on";

    ASSERT_TRUE(PostMessageW(FindLumoraWindow(), WM_CLOSE, 0, 0));
    ASSERT_TRUE(PollUntil(kExitMs, 20, [&] {
        WaitLine exit;
        return FindWaitLine(TraceOf(*first), "WaitForSingleObject", &exit);
    }));
    EXPECT_TRUE(NothingOvertakes(*first)) << "the end of the run's lamp-off overtook the lamp-on";
    CopyRun run = Finish(*first);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ((Lamp{kLampOn, kLampOn, kLampOff}), LampRequests());
    EXPECT_EQ(0, StandInLamp());
}
