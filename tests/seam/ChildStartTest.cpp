// The worker around the start of the child's main thread: the lamp must be lit
// before the child runs, and a child whose main thread cannot be started must
// not keep the worker, and the lamp with it, waiting forever. A resume cannot
// be made to fail, nor its moment be watched, from outside, so this program
// defines the worker's resume call itself (the product keeps it in a file of
// its own for that) and runs the worker directly, with the launcher's folder
// laid out in a sandbox.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>

#include <memory>

#include "app/TargetRunner.h"
#include "common/Globals.h"

#include "AcpiStandIn.h"
#include "ChildProcess.h"
#include "NotRun.h"
#include "Impostors.h"
#include "LumoraLog.h"
#include "Poll.h"
#include "Sandbox.h"
#include "TraceListener.h"
#include "WinePath.h"
#include "WorkingRun.h"

namespace {

// The code a resumed child leaves for the input-idle wait that follows: a
// wait that sets none (Wine's) then traces this one, not 0 or a stale code.
const DWORD kCodeBeforeIdleWait = ERROR_NOACCESS;

// What the stand-in resume and terminate calls do, and what the resume call
// saw when it was called.
bool s_resumeFails = true;
bool s_terminateFails = false;
bool s_resumeCalled = false;
int s_lampAtResume = -2;
bool s_runningAtResume = false;
std::vector<DWORD> s_childAtResume; // the system's ids of the target's processes

} // namespace

// Takes the place of the product's resume call: fails, or notes the lamp and
// the running flag at the moment the child would start and then resumes it.
DWORD ResumeChild(HANDLE hThread) {
    s_resumeCalled = true;
    s_lampAtResume = tb::StandInLamp();
    s_runningAtResume = g_bRunning;
    s_childAtResume = tb::LumoraPids();
    if (!s_resumeFails) {
        const DWORD count = ResumeThread(hThread);
        SetLastError(kCodeBeforeIdleWait);
        return count;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return static_cast<DWORD>(-1);
}

// Takes the place of the product's terminate call: fails, or ends the child.
BOOL TerminateChild(HANDLE hProcess) {
    if (!s_terminateFails)
        return TerminateProcess(hProcess, ERROR_PROCESS_ABORTED);
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

namespace {

using namespace tb;

// Every case of this program runs the driver stand-in.
const NeedRow kNeeds[] = {{Need::Driver, "*"}};
const bool kNeedsKnown = RegisterNeeds(kNeeds, 1);

const DWORD kWorkerMs = 30000;
const DWORD kWindowMs = 5000;

class ChildStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        TB_NOT_RUN_WITHOUT(Need::Driver);
        KillAllLumora();
        sandbox_.reset(new Sandbox(L"ChildStartTest"));
        ASSERT_TRUE(sandbox_->Ok());
        ASSERT_TRUE(sandbox_->PlaceLumora());
        ASSERT_TRUE(trace_.Start()) << "another listener holds the debugger output stream";
        driver_.reset(new AcpiStandIn(DefaultStandInSysPath()));
        ASSERT_TRUE(driver_->Start()) << "the ACPI driver stand-in does not start";
        ASSERT_TRUE(driver_->Reset());
        // The hidden window the worker closes when it is done.
        ASSERT_TRUE(window_.Start());

        targetPath_ = sandbox_->Dir() + kLumoraExe;
        ASSERT_LT(targetPath_.size(), static_cast<size_t>(kcchPath));
        lstrcpynW(g_tszAppPath, targetPath_.c_str(), kcchPath);
        lstrcpynW(g_tszAppDir, sandbox_->Dir().c_str(), kcchPath);
        g_bDebug = true;
        g_bRunning = false;
        s_resumeFails = true;
        s_terminateFails = false;
        s_resumeCalled = false;
        s_lampAtResume = -2;
        s_runningAtResume = false;
        s_childAtResume.clear();
    }

    void TearDown() override {
        SetEnvironmentVariableW(L"LUMORA_MODE", nullptr);
        g_bDebug = false;
        window_.Stop();
        KillAllLumora();
        if (sandbox_ != nullptr)
            KillProcessesUnder(sandbox_->Root(), 5000);
        trace_.Stop();
        driver_.reset();
        sandbox_.reset();
    }

    // Runs the worker on a thread of its own; false when it did not return
    // in time (the thread is then ended, so that the test can go on).
    bool RunWorker() {
        HANDLE worker = CreateThread(nullptr, 0, ExecXoltThread, nullptr, 0, nullptr);
        if (worker == nullptr)
            return false;
        const bool returned = WaitForSingleObject(worker, kWorkerMs) == WAIT_OBJECT_0;
        if (!returned)
            TerminateThread(worker, 1);
        CloseHandle(worker);
        return returned;
    }

    bool WindowGotClose() const {
        return PollUntil(kWindowMs, 20, [this] {
            for (const Received &r : window_.Messages())
                if (r.message == WM_CLOSE)
                    return true;
            return false;
        });
    }

    std::unique_ptr<Sandbox> sandbox_;
    TraceListener trace_;
    std::unique_ptr<AcpiStandIn> driver_;
    FakeLauncherWindow window_;
    std::wstring targetPath_;
};

TEST_F(ChildStartTest, ChildThatCannotBeResumedIsEndedAndTheLampGoesDark) {
    ASSERT_TRUE(RunWorker()) << "the worker hangs on a child that never ran";

    EXPECT_FALSE(g_bRunning);
    EXPECT_EQ((std::vector<unsigned>{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(WindowGotClose()) << "the hidden window was not closed";

    ASSERT_TRUE(trace_.Flush(10000));
    const std::vector<std::string> lines = trace_.LinesOf(GetCurrentProcessId());
    // Lamp lit, the failed resume with its own error, ... , lamp dark.
    ASSERT_TRUE(MatchesAt(lines, 0,
                          LampLines() +
                              Error("ExecXoltThread", "ResumeThread failed", ERROR_ACCESS_DENIED)));
    ASSERT_GE(lines.size(), LampLines().size() * 2 + 1);
    EXPECT_TRUE(MatchesAt(lines, lines.size() - LampLines().size(), LampLines()));

    // The child never ran a line of its own and is gone.
    EXPECT_EQ(0u, LumoraLog(sandbox_->Dir()).CountStarts());
    EXPECT_TRUE(LumoraPids().empty());
    WaitLine exit;
    ASSERT_TRUE(FindWaitLine(lines, "WaitForSingleObject", &exit)) << Dump(lines);
    EXPECT_EQ(ToAnsi(targetPath_), exit.path);
    // The worker never closes the child's handle, so its id still names it.
    HANDLE child = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, exit.pid);
    ASSERT_NE(nullptr, child);
    DWORD childCode = 0;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child, 0));
    EXPECT_TRUE(GetExitCodeProcess(child, &childCode));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROCESS_ABORTED), childCode);
    CloseHandle(child);
}

TEST_F(ChildStartTest, ChildThatCanBeNeitherResumedNorEndedIsNotWaitedFor) {
    s_terminateFails = true;
    ASSERT_TRUE(RunWorker()) << "the worker waits for a child it could not end";

    EXPECT_FALSE(g_bRunning);
    EXPECT_EQ((std::vector<unsigned>{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(WindowGotClose()) << "the hidden window was not closed";
    ASSERT_TRUE(trace_.Flush(10000));
    const std::vector<std::string> lines = trace_.LinesOf(GetCurrentProcessId());
    EXPECT_TRUE(MatchesExactly(
        lines, LampLines() + Error("ExecXoltThread", "ResumeThread failed", ERROR_ACCESS_DENIED) +
                   Error("ExecXoltThread", "TerminateProcess failed", ERROR_INVALID_HANDLE) +
                   LampLines()));
}

// A close request that finds no target traces the code its lookup leaves, only
// known in process: what the system gives for the same lookup and earlier code.
TEST_F(ChildStartTest, CloseRequestWithoutATargetTracesTheCodeItsLookupLeaves) {
    const DWORD code = FailedLookupCode(kLumoraClass, kLumoraTitle, ERROR_NOACCESS);
    SetLastError(ERROR_NOACCESS);
    CloseXoltWin();
    ASSERT_TRUE(trace_.Flush(10000));
    EXPECT_TRUE(MatchesExactly(trace_.LinesOf(GetCurrentProcessId()), {NoTargetWindow(code)}));
}

// The code the input-idle wait leaves for a console program just resumed, with
// the resume's code before it, as this process finds by making the same call
// on a console program of its own (itself, listing no case).
DWORD IdleWaitCodeOfAConsoleProgram() {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ChildProcess console;
    if (!console.Start(self, L" --gtest_list_tests --gtest_filter=-*", {}, L"", true) ||
        !console.Resume())
        return 0;
    SetLastError(kCodeBeforeIdleWait);
    const DWORD code =
        WaitForInputIdle(console.Handle(), INFINITE) == WAIT_FAILED ? GetLastError() : 0;
    console.WaitForExit(10000);
    return code;
}

// A console program in the target's place has no message queue: the input-idle
// wait fails, an error line naming the child with the wait's code, and the
// exit wait still follows.
TEST_F(ChildStartTest, FailedInputIdleWaitIsAnErrorAndTheExitWaitStillFollows) {
    const DWORD code = IdleWaitCodeOfAConsoleProgram();
    ASSERT_NE(0u, code) << "the input-idle wait did not fail for a console program";
    char hex[16];
    snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    ASSERT_TRUE(CopyFileW(LampProbePath().c_str(), targetPath_.c_str(), FALSE));
    s_resumeFails = false;
    ASSERT_TRUE(RunWorker());
    ASSERT_EQ(1u, s_childAtResume.size());
    char pid[16];
    snprintf(pid, sizeof(pid), "0x%08X", static_cast<unsigned>(s_childAtResume[0]));
    const std::string path = ToAnsi(targetPath_);
    ASSERT_TRUE(trace_.Flush(10000));
    const std::vector<std::string> lines = trace_.LinesOf(GetCurrentProcessId());
    EXPECT_EQ((std::vector<unsigned>{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(MatchesExactly(
        lines, LampLines() +
                   ErrorLike("ExecXoltThread",
                             "WaitForInputIdle failed \\(ErrCode: " + std::string(hex) +
                                 "\\) - PID: " + std::string(pid) + ", it takes [0-9]+ ms \\(" +
                                 RegexEscape(path) + "\\)",
                             code) +
                   WaitSucceeded("WaitForSingleObject", path) + LampLines()));
    WaitLine exit;
    ASSERT_TRUE(FindWaitLine(lines, "WaitForSingleObject", &exit));
    EXPECT_EQ(s_childAtResume[0], exit.pid);
}

TEST_F(ChildStartTest, LampIsLitAndTheFlagSetBeforeTheChildIsResumed) {
    // The child inherits this process's environment: let it end by itself.
    ASSERT_TRUE(SetEnvironmentVariableW(L"LUMORA_MODE", L"exit-after=500"));
    s_resumeFails = false;
    ASSERT_TRUE(RunWorker()) << "the worker did not return after the child ended";

    ASSERT_TRUE(s_resumeCalled);
    EXPECT_EQ(1, s_lampAtResume) << "the lamp request had not completed when the child started";
    EXPECT_TRUE(s_runningAtResume);
    EXPECT_FALSE(g_bRunning);
    EXPECT_EQ((std::vector<unsigned>{kLampOn, kLampOff}), LampRequests());
    EXPECT_TRUE(WindowGotClose());
    std::vector<LumoraStart> starts = LumoraLog(sandbox_->Dir()).Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(1, starts[0].lamp);
}

} // namespace
