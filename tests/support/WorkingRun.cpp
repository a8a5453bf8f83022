#include "WorkingRun.h"

#include <regex>
#include <sstream>

#include "AcpiStandIn.h"
#include "WinePath.h"

namespace tb {

namespace {

const DWORD kPollMs = 50;
const DWORD kPowerAnswerMs = 10000;
const size_t kSubfolderChars = 8; // the launcher's folder below the sandbox root
const unsigned kKlmp = 'K' | ('L' << 8) | ('M' << 16) | ('P' << 24);

// Text of a line without its line end, for messages.
std::string Shown(const std::string &line) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

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
    const DWORD start = GetTickCount();
    for (;;) {
        if (LampRequests().size() >= count)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

std::string RegexEscape(const std::string &text) {
    static const std::string kOperators = "\\^$.|?*+()[]{}";
    std::string out;
    for (char c : text) {
        if (kOperators.find(c) != std::string::npos)
            out += '\\';
        out += c;
    }
    return out;
}

ExpectedLine Note(const std::string &context, const std::string &message) {
    const std::string line = NotifyLine(context, message);
    return ExpectedLine{Shown(line), [line](const std::string &got) { return got == line; }};
}

ExpectedLine NoteLike(const std::string &context, const std::string &messagePattern) {
    const std::regex pattern(RegexEscape("[Avenor][Notify] " + context + " -> ") + "(" +
                             messagePattern + ")" + RegexEscape(" \r\n"));
    return ExpectedLine{
        "[Avenor][Notify] " + context + " -> /" + messagePattern + "/",
        [pattern](const std::string &got) { return std::regex_match(got, pattern); }};
}

ExpectedLine Error(const std::string &context, const std::string &message) {
    return ExpectedLine{
        ErrorLineHead(context, message) + "<code> - <text>",
        [context, message](const std::string &got) { return IsErrorLine(got, context, message); }};
}

std::vector<ExpectedLine> LampLines() {
    std::vector<ExpectedLine> lines;
    if (RunsUnderWow64())
        lines.push_back(Note("One_Method_Raw", "IsWow64()!!"));
    lines.push_back(
        Note("SetLightLED", "One_Method_Raw Succeed: KLMP ## outArgNum = 1 ## outBufSize = 20"));
    lines.push_back(Note("SetLightLED", "Arg[0] = 0x00000001"));
    return lines;
}

std::vector<ExpectedLine> RunHead() {
    return {NoteLike("Avenor", "v1\\.0\\.0001 \\(.*\\)"),
            Note("InitInstance - GetUserDefaultUILanguage (g_tszLangID)", "0x0409"),
            NoteLike("MainThreadCreateWindow", "g_hWnd: 0x[0-9A-F]{8}")};
}

ExpectedLine NoTargetWindow() {
    return Error("CloseXoltWin", "FindWindowEx failed");
}

std::vector<ExpectedLine> RunTail() {
    return {Note("WndProc", "WM_DESTROY"), NoTargetWindow(),
            Note("MainThreadCreateWindow", "GetMessage Exits...."),
            Note("ExitInstance", "I am called!")};
}

ExpectedLine WaitSucceeded(const std::string &wait, const std::string &targetPath) {
    return NoteLike("ExecXoltThread", wait +
                                          " succeed, PID: 0x[0-9A-F]{8}, it takes [0-9]+ ms \\(" +
                                          RegexEscape(targetPath) + "\\)");
}

std::vector<ExpectedLine> operator+(std::vector<ExpectedLine> a,
                                    const std::vector<ExpectedLine> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<ExpectedLine> operator+(std::vector<ExpectedLine> a, const ExpectedLine &b) {
    a.push_back(b);
    return a;
}

std::string Dump(const std::vector<std::string> &lines) {
    std::ostringstream out;
    for (size_t i = 0; i < lines.size(); ++i)
        out << "  [" << i << "] " << Shown(lines[i]) << "\n";
    return out.str();
}

size_t CountLines(const std::vector<std::string> &lines, const std::string &text) {
    size_t n = 0;
    for (const std::string &line : lines)
        n += line == text ? 1 : 0;
    return n;
}

::testing::AssertionResult MatchesAt(const std::vector<std::string> &lines, size_t from,
                                     const std::vector<ExpectedLine> &wanted) {
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (from + i >= lines.size())
            return ::testing::AssertionFailure() << "trace ends before line " << from + i
                                                 << ", expected " << wanted[i].what << "\ntrace:\n"
                                                 << Dump(lines);
        if (!wanted[i].matches(lines[from + i]))
            return ::testing::AssertionFailure()
                   << "line " << from + i << " is " << Shown(lines[from + i]) << "\nexpected "
                   << wanted[i].what << "\ntrace:\n"
                   << Dump(lines);
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult MatchesExactly(const std::vector<std::string> &lines,
                                          const std::vector<ExpectedLine> &wanted) {
    ::testing::AssertionResult prefix = MatchesAt(lines, 0, wanted);
    if (!prefix)
        return prefix;
    if (lines.size() != wanted.size())
        return ::testing::AssertionFailure()
               << lines.size() - wanted.size() << " more lines than expected\ntrace:\n"
               << Dump(lines);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult InterleavesAt(const std::vector<std::string> &lines, size_t from,
                                         const std::vector<ExpectedLine> &a,
                                         const std::vector<ExpectedLine> &b) {
    const size_t na = a.size();
    const size_t nb = b.size();
    if (from + na + nb > lines.size())
        return ::testing::AssertionFailure()
               << "trace ends before the " << na + nb << " lines of two threads from line " << from
               << "\ntrace:\n"
               << Dump(lines);
    // can[i][j]: the first i lines of a and j of b make up the first i+j lines.
    std::vector<std::vector<bool>> can(na + 1, std::vector<bool>(nb + 1, false));
    can[0][0] = true;
    for (size_t i = 0; i <= na; ++i) {
        for (size_t j = 0; j <= nb; ++j) {
            if (i == 0 && j == 0)
                continue;
            const std::string &line = lines[from + i + j - 1];
            can[i][j] = (i > 0 && can[i - 1][j] && a[i - 1].matches(line)) ||
                        (j > 0 && can[i][j - 1] && b[j - 1].matches(line));
        }
    }
    if (can[na][nb])
        return ::testing::AssertionSuccess();
    std::ostringstream want;
    want << "lines " << from << " to " << from + na + nb - 1
         << " are not the two threads' lines merged\nfirst thread:\n";
    for (const ExpectedLine &s : a)
        want << "  " << s.what << "\n";
    want << "second thread:\n";
    for (const ExpectedLine &s : b)
        want << "  " << s.what << "\n";
    return ::testing::AssertionFailure() << want.str() << "trace:\n" << Dump(lines);
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
    if (HasFatalFailure())
        return;
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
    ownCopies_.clear(); // ends the copies still running
    KillAllLumora();
    E2eTest::TearDown();
}

std::string WorkingRunTest::TargetPathAnsi() const {
    return ToAnsi(TargetPath());
}

ChildProcess &WorkingRunTest::LaunchWith(const std::wstring &tail, const EnvOverrides &env) {
    ownCopies_.emplace_back(new ChildProcess);
    ChildProcess &copy = *ownCopies_.back();
    EXPECT_TRUE(copy.Start(sandbox_->ExePath(), tail, env, sandbox_->Root()))
        << "cannot start " << ToAnsi(copy.CommandLine()) << ": error " << copy.StartError();
    return copy;
}

bool WorkingRunTest::StartWorkingCopy(const std::wstring &tail, const EnvOverrides &env,
                                      ChildProcess **copy) {
    ChildProcess &started = LaunchWith(tail, env);
    *copy = &started;
    if (!WaitForLumoraWindow(kExitMs) || !Log().WaitForStarts(1, kExitMs))
        return false;
    if (tail != L" /d")
        return true;
    // The input-idle line is the worker's last before its exit wait.
    const DWORD start = GetTickCount();
    for (;;) {
        WaitLine idle;
        if (FindWaitLine(TraceOf(started), "WaitForInputIdle", &idle))
            return true;
        if (GetTickCount() - start >= kExitMs)
            return false;
        Sleep(kPollMs);
    }
}

::testing::AssertionResult WorkingRunTest::Press(const std::wstring &tail) {
    CopyRun run = RunToEnd(tail);
    if (!run.ended)
        return ::testing::AssertionFailure()
               << "the copy pressed with \"" << ToAnsi(tail) << "\" did not end";
    if (run.exitCode != 0)
        return ::testing::AssertionFailure()
               << "the copy pressed with \"" << ToAnsi(tail) << "\" ended with " << run.exitCode;
    return ::testing::AssertionSuccess();
}

HWND WorkingRunTest::HiddenWindowOf(const ChildProcess &copy) const {
    HWND window = FindWindowW(kLauncherWindowName, kLauncherWindowName);
    DWORD pid = 0;
    if (window != nullptr)
        GetWindowThreadProcessId(window, &pid);
    return pid == copy.Pid() ? window : nullptr;
}

bool WorkingRunTest::SendPower(HWND window, WPARAM event, DWORD_PTR *result) const {
    *result = 0;
    return SendMessageTimeoutW(window, WM_POWERBROADCAST, event, 0, SMTO_NORMAL, kPowerAnswerMs,
                               result) != 0;
}

bool WorkingRunTest::WaitForTraceCount(const ChildProcess &copy, const std::string &text,
                                       size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (CountLines(trace_.LinesOf(copy.Pid()), text) >= count)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
}

} // namespace tb
