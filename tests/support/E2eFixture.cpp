#include "E2eFixture.h"

#include "StandInEnvironment.h"
#include "WinePath.h"

namespace tb {

const wchar_t kGerman[] = L"de_DE.UTF-8";
const wchar_t kFrench[] = L"fr_FR.UTF-8";

namespace {

std::wstring CurrentTestName() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    return std::wstring(name.begin(), name.end());
}

// Every program made of these tests installs the driver stand-in once.
::testing::Environment *const kStandIn =
    ::testing::AddGlobalTestEnvironment(new StandInEnvironment);

} // namespace

void E2eTest::SetUp() {
    // Copies started the ordinary way share this process's UI language.
    ASSERT_EQ(0x0409, GetUserDefaultUILanguage())
        << "run the tests with a US English UI language (LC_ALL unset or en_US.UTF-8)";
    sandbox_.reset(new Sandbox(CurrentTestName()));
    ASSERT_TRUE(sandbox_->Ok()) << "cannot create the sandbox folder";
    ASSERT_TRUE(sandbox_->PlaceExe()) << "cannot copy the launcher from the build tree";
    ASSERT_TRUE(sandbox_->PlaceBuiltIni()) << "cannot copy the strings file from the build tree";
    ASSERT_TRUE(trace_.Start()) << "another listener holds the debugger output stream";
    driver_ = &StandInEnvironment::Driver();
    ASSERT_TRUE(StandInEnvironment::Ensure(startDriver_));
}

void E2eTest::TearDown() {
    copies_.clear(); // ends the copies still running
    if (sandbox_ != nullptr)
        KillProcessesUnder(sandbox_->Root(), 5000);
    trace_.Stop();
    sandbox_.reset();
}

ChildProcess &E2eTest::Launch(const std::wstring &tail, const EnvOverrides &env) {
    copies_.emplace_back(new ChildProcess);
    ChildProcess &copy = *copies_.back();
    EXPECT_TRUE(copy.Start(sandbox_->ExePath(), tail, env, sandbox_->Root()))
        << "cannot start " << ToAnsi(copy.CommandLine()) << ": error " << copy.StartError();
    return copy;
}

ChildProcess &E2eTest::LaunchThroughLoader(const std::wstring &tail, const EnvOverrides &env) {
    copies_.emplace_back(new ChildProcess);
    ChildProcess &copy = *copies_.back();
    // The copy is found by polling; keep it from running to its end meanwhile.
    trace_.Hold();
    bool started =
        copy.StartThroughLoader(sandbox_->ExePath(), tail, env, sandbox_->Root(), kFindMs);
    trace_.Release();
    EXPECT_TRUE(started) << "cannot start " << ToAnsi(copy.CommandLine()) << ": error "
                         << copy.StartError();
    return copy;
}

ChildProcess &E2eTest::LaunchWithLocale(const std::wstring &tail, const wchar_t *locale) {
    return LaunchThroughLoader(tail, {{L"LC_ALL", locale}});
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
    return ReadBox(WaitForBox(copy.Pid(), kBoxCaption, kBoxMs));
}

void E2eTest::DriverAbsent() {
    ASSERT_TRUE(driver_->Stop()) << "the ACPI driver stand-in does not stop";
}

} // namespace tb
