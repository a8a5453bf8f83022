#include "WorkingRun.h"

#include <stdio.h>

#include <regex>

#include "AcpiStandIn.h"
#include "Poll.h"
#include "WinePath.h"

namespace tb {

namespace {

const DWORD kPollMs = 50;
const DWORD kPowerAnswerMs = 10000;
const size_t kSubfolderChars = 8; // the launcher's folder below the sandbox root
const unsigned kKlmp = 'K' | ('L' << 8) | ('M' << 16) | ('P' << 24);

} // namespace

std::vector<unsigned> LampRequests() {
    std::vector<unsigned> args;
    AcpiStandInHistory history = {};
    if (!StandInHistory(history))
        return args;
    for (unsigned i = 0; i < history.count && i < ACPI_STANDIN_HISTORY; ++i) {
        const AcpiStandInRequest &r = history.requests[i];
        const bool lamp = r.verdict == ACPI_REQ_OK && r.method == kKlmp;
        args.push_back(lamp ? r.argument : ~0u);
    }
    return args;
}

bool WaitForLampRequests(size_t count, DWORD timeoutMs) {
    return PollUntil(timeoutMs, kPollMs, [count] { return LampRequests().size() >= count; });
}

std::vector<ExpectedLine> LampLines() {
    return {Note("One_Method_Raw", "IsWow64()!!"),
            Note("SetLightLED", "One_Method_Raw Succeed: KLMP ## outArgNum = 1 ## outBufSize = 20"),
            Note("SetLightLED", "Arg[0] = 0x00000001")};
}

std::vector<ExpectedLine> RunHead(HWND hidden) {
    char handle[32];
    snprintf(handle, sizeof(handle), "g_hWnd: 0x%08X",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(hidden)));
    return {NoteLike("Avenor", "v1\\.0\\.0001 \\(.*\\)"),
            Note("InitInstance - GetUserDefaultUILanguage (g_tszLangID)", "0x0409"),
            Note("MainThreadCreateWindow", handle)};
}

ExpectedLine NoTargetWindow(DWORD code) {
    return Error("CloseXoltWin", "FindWindowEx failed", code);
}

std::vector<ExpectedLine> RunTail() {
    return {Note("WndProc", "WM_DESTROY"), NoTargetWindow(),
            Note("MainThreadCreateWindow", "GetMessage Exits...."), CopyExit()};
}

::testing::AssertionResult EndsAfterPress(const std::vector<std::string> &trace, size_t from,
                                          const std::string &targetPath,
                                          const std::vector<ExpectedLine> &lampOff) {
    const std::vector<ExpectedLine> press = {Note("WndProc", "WM_USER_EXEC"),
                                             Note("CloseXoltWin", kPressedClose)};
    ::testing::AssertionResult pressed = MatchesAt(trace, from, press);
    if (!pressed)
        return pressed;
    from += press.size();
    const std::vector<ExpectedLine> worker =
        std::vector<ExpectedLine>{WaitSucceeded("WaitForSingleObject", targetPath)} + lampOff;
    ::testing::AssertionResult merged = InterleavesAt(trace, from, lampOff, worker);
    if (!merged)
        return merged;
    from += lampOff.size() + worker.size();
    ::testing::AssertionResult tail = MatchesAt(trace, from, RunTail());
    if (!tail)
        return tail;
    if (trace.size() != from + RunTail().size())
        return ::testing::AssertionFailure() << "lines after the end\n" << Dump(trace);
    return ::testing::AssertionSuccess();
}

std::vector<ExpectedLine> MissingTargetRun(HWND hidden) {
    return RunHead(hidden) + NoTargetWindow() +
           Note("ExecXoltThread", "QueryFileExistence failed") + RunTail();
}

ExpectedLine WaitSucceeded(const std::string &wait, const std::string &targetPath) {
    return NoteLike("ExecXoltThread", wait +
                                          " succeed, PID: 0x[0-9A-F]{8}, it takes [0-9]+ ms \\(" +
                                          RegexEscape(targetPath) + "\\)");
}

bool SendPower(HWND window, WPARAM event, DWORD_PTR *result) {
    *result = 0;
    return SendMessageTimeoutW(window, WM_POWERBROADCAST, event, 0, SMTO_NORMAL, kPowerAnswerMs,
                               result) != 0;
}

bool RoundTrip(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kPowerAnswerMs, &result) != 0;
}

bool ParseWaitLine(const std::string &line, WaitLine *out) {
    static const std::regex pattern(
        "\\[Avenor\\]\\[Notify\\] ExecXoltThread -> (WaitForInputIdle|WaitForSingleObject) "
        "(succeed|WAIT_TIMEOUT|WAIT_ABANDONED), PID: 0x([0-9A-F]{8}), it takes (-?[0-9]+) ms "
        "\\((.*)\\) \r\n");
    std::smatch m;
    if (!std::regex_match(line, m, pattern))
        return false;
    out->wait = m[1];
    out->outcome = m[2];
    out->pid = static_cast<DWORD>(std::stoul(m[3].str(), nullptr, 16));
    out->ms = std::stol(m[4].str());
    out->path = m[5];
    return true;
}

bool FindWaitLine(const std::vector<std::string> &lines, const std::string &wait, WaitLine *out) {
    for (const std::string &line : lines) {
        WaitLine parsed;
        if (ParseWaitLine(line, &parsed) && parsed.wait == wait) {
            *out = parsed;
            return true;
        }
    }
    return false;
}

void WorkingRunTest::SetUp() {
    KillAllLumora();
    E2eTest::SetUp();
    if (HasFatalFailure() || IsSkipped())
        return;
    ASSERT_TRUE(ThisPlatform() == Platform::Windows || RunsUnderWow64())
        << "working runs are checked in the 64-bit prefix (the native request layout is "
           "LampTest's, in native32.sh)";
    // The copies run with the sandbox's root as their current folder; put the
    // launcher one folder below it, so that a target found or started through
    // the current folder instead of the launcher's own shows.
    const size_t cchDir = sandbox_->Root().size() + 1 + kSubfolderChars + 1;
    ASSERT_TRUE(sandbox_->UseDeepFolder(cchDir));
    ASSERT_NE(sandbox_->Root() + L"\\", sandbox_->Dir());
    ASSERT_TRUE(sandbox_->PlaceExe());
    ASSERT_TRUE(sandbox_->PlaceBuiltIni());
    ASSERT_TRUE(sandbox_->PlaceLumora()) << "cannot copy the assistant application's stand-in";
}

void WorkingRunTest::TearDown() {
    EndCopies(); // before their targets, as a user would leave them
    KillAllLumora();
    E2eTest::TearDown();
}

std::string WorkingRunTest::TargetPathAnsi() const {
    return ToAnsi(TargetPath());
}

bool WorkingRunTest::StartWorkingCopy(const std::wstring &tail, const EnvOverrides &env,
                                      ChildProcess **copy, HWND *hidden) {
    HWND window = nullptr;
    ChildProcess &started = LaunchWorkingCopy(tail, env, &window);
    *copy = &started;
    if (hidden != nullptr)
        *hidden = window;
    if (window == nullptr || !WaitForLumoraWindow(kExitMs) || !Log().WaitForStarts(1, kExitMs))
        return false;
    if (tail != L" /d")
        return true;
    // The input-idle line is the worker's last before its exit wait.
    return PollUntil(kExitMs, kPollMs, [&] {
        WaitLine idle;
        return FindWaitLine(TraceOf(started), "WaitForInputIdle", &idle);
    });
}

::testing::AssertionResult WorkingRunTest::Press(const std::wstring &tail) {
    return EndedCleanly(RunToEnd(tail)) << " (pressed with \"" << ToAnsi(tail) << "\")";
}

bool WorkingRunTest::WaitForTraceCount(const ChildProcess &copy, const std::string &text,
                                       size_t count, DWORD timeoutMs) {
    return PollUntil(timeoutMs, kPollMs,
                     [&] { return CountLines(trace_.LinesOf(copy.Pid()), text) >= count; });
}

} // namespace tb
