#include "E2eFixture.h"

#include "Poll.h"
#include "Processes.h"
#include "StandInEnvironment.h"
#include "WinePath.h"

#include <fstream>
#include <map>
#include <regex>

namespace tb {

const wchar_t kGerman[] = L"de_DE.UTF-8";
const wchar_t kFrench[] = L"fr_FR.UTF-8";

namespace {

std::wstring CurrentTestName() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    return std::wstring(name.begin(), name.end());
}

// The hidden window of process `pid`, null when it has none.
HWND HiddenWindowOf(DWORD pid) {
    HWND window = FindWindowW(kLauncherWindowName, kLauncherWindowName);
    return OwnerOf(window) == pid ? window : nullptr;
}

// Every program made of these tests installs the driver stand-in once.
::testing::Environment *const kStandIn =
    ::testing::AddGlobalTestEnvironment(new StandInEnvironment);

} // namespace

void E2eTest::SetUp() {
    TB_NOT_RUN_WITHOUT(Need::Driver);
    TB_NOT_RUN_WITHOUT(Need::UsEnglishUi);
    // Copies started the ordinary way share this process's UI language.
    ASSERT_EQ(0x0409, GetUserDefaultUILanguage())
        << "run the tests with a US English UI language (LC_ALL unset or en_US.UTF-8)";
    sandbox_.reset(new Sandbox(CurrentTestName()));
    ASSERT_TRUE(sandbox_->Ok()) << "cannot create the sandbox folder";
    ASSERT_TRUE(sandbox_->PlaceExe()) << "cannot copy the launcher from the build tree";
    ASSERT_TRUE(sandbox_->PlaceBuiltIni()) << "cannot copy the strings file from the build tree";
    ASSERT_TRUE(trace_.Start()) << "another listener holds the debugger output stream";
    driver_ = &StandInEnvironment::Driver();
    // A case that runs without the driver where none can load finds none.
    if (!Lacks(Need::Driver)) {
        ASSERT_TRUE(StandInEnvironment::Ensure(startDriver_));
    }
}

void E2eTest::TearDown() {
    EndCopies();
    if (sandbox_ != nullptr)
        KillProcessesUnder(sandbox_->Root(), 5000);
    trace_.Stop();
    sandbox_.reset();
}

ChildProcess &E2eTest::Launch(const std::wstring &tail, const EnvOverrides &env, bool suspended) {
    copies_.emplace_back(new ChildProcess);
    ChildProcess &copy = *copies_.back();
    EXPECT_TRUE(copy.Start(sandbox_->ExePath(), tail, env, sandbox_->Root(), suspended))
        << "cannot start " << ToAnsi(copy.CommandLine()) << ": error " << copy.StartError();
    return copy;
}

ChildProcess &E2eTest::LaunchThroughLoader(const std::wstring &tail, const EnvOverrides &env,
                                           const std::wstring &logScript) {
    copies_.emplace_back(new ChildProcess);
    ChildProcess &copy = *copies_.back();
    // The copy is found by polling; keep it from running to its end meanwhile.
    trace_.Hold();
    bool started = copy.StartThroughLoader(sandbox_->ExePath(), tail, env, sandbox_->Root(),
                                           kFindMs, logScript);
    trace_.Release();
    EXPECT_TRUE(started) << "cannot start " << ToAnsi(copy.CommandLine()) << ": error "
                         << copy.StartError();
    return copy;
}

ChildProcess &E2eTest::LaunchWorkingCopy(const std::wstring &tail, const EnvOverrides &env,
                                         HWND *hidden) {
    // The line after the handle waits until the window is found.
    trace_.HoldAfter("g_hWnd: ");
    ChildProcess &copy = Launch(tail, env);
    *hidden = nullptr;
    PollUntil(kExitMs, 20, [&] {
        *hidden = HiddenWindowOf(copy.Pid());
        return *hidden != nullptr || !copy.Running();
    });
    trace_.Release();
    return copy;
}

ChildProcess &E2eTest::LaunchWithLocale(const std::wstring &tail, const wchar_t *locale) {
    return LaunchThroughLoader(tail, {{L"LC_ALL", locale}});
}

ChildProcess &E2eTest::LaunchRecordingCalls(const std::wstring &tail) {
    if (ThisPlatform() == Platform::Windows) {
        ChildProcess &copy = Launch(tail);
        recordedPid_ = copy.Pid();
        return copy;
    }
    // Wine's relay trace, limited to these calls of the copy's own: "Call
    // user32.MessageBoxW(owner,text,caption,style) ret=...", "Call
    // KERNEL32.CreateMutexW(...,name) ret=..." then "Ret ... retval=handle",
    // "Call KERNEL32.CloseHandle(handle) ret=...". The limit is read at
    // process start and matters only to processes tracing the relay channel.
    HKEY key = nullptr;
    static const wchar_t kRecordedCalls[] =
        L"user32.MessageBoxW;kernel32.CreateMutexW;kernel32.CloseHandle";
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Debug", 0,
                                             nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
    if (key != nullptr) {
        RegSetValueExW(key, L"RelayInclude", 0, REG_SZ,
                       reinterpret_cast<const BYTE *>(kRecordedCalls), sizeof(kRecordedCalls));
        RegCloseKey(key);
    }
    return LaunchThroughLoader(
        tail, {{L"WINEDEBUG", L"-all,+relay"}, {L"TB_WINE_LOG", UnixPathOf(RelayLogPath())}},
        UnixPathOf(TestRoot() + L"\\tests\\support\\wine-to-log.sh"));
}

std::vector<unsigned> E2eTest::RecordedBoxStyles() {
    std::vector<unsigned> styles;
    if (ThisPlatform() == Platform::Windows) {
        for (const auto &box : boxes_)
            styles.push_back(box.second);
        return styles;
    }
    std::ifstream log(ToAnsi(RelayLogPath()), std::ios::binary);
    static const std::regex call("Call user32\\.MessageBoxW\\(.*,([0-9a-fA-F]{8})\\) ret=");
    std::string line;
    while (std::getline(log, line)) {
        std::smatch m;
        if (std::regex_search(line, m, call))
            styles.push_back(static_cast<unsigned>(std::stoul(m[1].str(), nullptr, 16)));
    }
    return styles;
}

std::vector<std::string> E2eTest::RecordedMutexCloses() {
    std::vector<std::string> closed;
    std::map<std::string, std::string> names; // by handle
    std::ifstream log(ToAnsi(RelayLogPath()), std::ios::binary);
    static const std::regex create("Call KERNEL32\\.CreateMutexW\\(.* L\"(.*)\"\\) ret=");
    static const std::regex created("Ret  KERNEL32\\.CreateMutexW\\(\\) retval=([0-9a-f]{8})");
    static const std::regex close("Call KERNEL32\\.CloseHandle\\(([0-9a-f]{8})\\)");
    std::string line, name;
    while (std::getline(log, line)) {
        std::smatch m;
        if (std::regex_search(line, m, create))
            name = std::regex_replace(m[1].str(), std::regex("\\\\\\\\"), "\\");
        else if (std::regex_search(line, m, created))
            names[m[1].str()] = name;
        else if (std::regex_search(line, m, close) && names.count(m[1].str()) != 0)
            closed.push_back(names[m[1].str()]);
    }
    return closed;
}

std::wstring E2eTest::RelayLogPath() const {
    return sandbox_->Root() + L"\\relay.log";
}

::testing::AssertionResult EndedCleanly(const CopyRun &run) {
    if (!run.ended)
        return ::testing::AssertionFailure() << "the copy did not end";
    if (run.exitCode != 0)
        return ::testing::AssertionFailure() << "the copy ended with " << run.exitCode;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult EndedCleanly(const CopyRun &run,
                                        const std::vector<ExpectedLine> &trace) {
    ::testing::AssertionResult ended = EndedCleanly(run);
    return ended ? MatchesExactly(run.trace, trace) : ended;
}

CopyRun E2eTest::Finish(ChildProcess &copy) {
    CopyRun run;
    run.ended = copy.WaitForExit(kExitMs, &run.exitCode);
    run.trace = TraceOf(copy);
    return run;
}

CopyRun E2eTest::RunToEnd(const std::wstring &tail, const EnvOverrides &env) {
    return Finish(Launch(tail, env));
}

std::vector<std::string> E2eTest::TraceOf(const ChildProcess &copy) {
    EXPECT_TRUE(trace_.Flush(kFlushMs)) << "the debugger output stream is stuck";
    return trace_.LinesOf(copy.Pid());
}

BoxView E2eTest::WaitForBoxOf(const ChildProcess &copy) {
    BoxView box = ReadBox(WaitForBox(copy.Pid(), kBoxCaption, kBoxMs));
    if (box.hwnd != nullptr && copy.Pid() == recordedPid_ &&
        (boxes_.empty() || boxes_.back().first != box.hwnd))
        boxes_.emplace_back(box.hwnd, StyleOf(box));
    return box;
}

void E2eTest::DriverAbsent() {
    ASSERT_TRUE(driver_->Stop()) << "the ACPI driver stand-in does not stop";
}

} // namespace tb
