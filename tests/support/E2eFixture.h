// Base of the end-to-end tests: each test gets its own sandbox folder holding
// the launcher and its built strings file, a listener on the debugger output
// stream, and the ACPI driver stand-in running and reset (installed once for
// the program, see StandInEnvironment.h); all of it but the stand-in, and
// every process the test started, is gone when the test ends.
#ifndef TB_E2E_FIXTURE_H
#define TB_E2E_FIXTURE_H

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "AcpiStandIn.h"
#include "ChildProcess.h"
#include "Impostors.h"
#include "MessageBoxes.h"
#include "NotRun.h"
#include "Sandbox.h"
#include "TraceLines.h"
#include "TraceListener.h"

namespace tb {

// Bounds of the waits, generous for emulated processes on a busy machine.
const DWORD kExitMs = 20000;  // a copy's whole run
const DWORD kBoxMs = 15000;   // a box to come up
const DWORD kPressMs = 5000;  // a box to go after a press
const DWORD kFlushMs = 10000; // the trace to be collected
const DWORD kFindMs = 8000;   // a copy started through Wine's loader to be found (< 10 s)

// Locales giving a copy's user its UI language (Wine follows LC_ALL).
extern const wchar_t kGerman[]; // 0x0407
extern const wchar_t kFrench[]; // 0x040C

// What one copy did from start to end.
struct CopyRun {
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    std::vector<std::string> trace;
};

// The copy ended with exit code 0, the launcher's on every path; and, given
// `trace`, traced exactly that.
::testing::AssertionResult EndedCleanly(const CopyRun &run);
::testing::AssertionResult EndedCleanly(const CopyRun &run, const std::vector<ExpectedLine> &trace);

class E2eTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a copy of the launcher from the sandbox with the command-line
    // text `tail` written right after the program's quoted name, and `env`
    // applied to its environment block (its processes' Windows environment;
    // the Unix side, and with it the UI language, stays this process's: US
    // English). A `suspended` copy runs once ChildProcess::Resume() is called.
    // The test's copies live until the test ends at the latest.
    ChildProcess &Launch(const std::wstring &tail, const EnvOverrides &env = {},
                         bool suspended = false);
    // Starts a copy as a new Unix process of Wine's loader, with `env` applied
    // to its whole environment (see ChildProcess::StartThroughLoader): for a
    // UI language of the copy's own, and for a launcher path longer than the
    // ordinary process creation takes. The blanks between arguments are not
    // kept. The copy must not end before it is found: one that traces is held
    // at its second line meanwhile; one that does not must show a box.
    // With `logScript`, the loader's diagnostic output goes to $TB_WINE_LOG
    // (see ChildProcess::StartThroughLoader).
    ChildProcess &LaunchThroughLoader(const std::wstring &tail, const EnvOverrides &env = {},
                                      const std::wstring &logScript = L"");
    // Starts a copy that becomes the working copy and finds its hidden window,
    // whose handle goes to *hidden (null when the copy ended without one).
    // With the trace on, the copy is held in its write after the line with
    // that handle until the window is found, so that even a run that ends at
    // once is seen with its window.
    ChildProcess &LaunchWorkingCopy(const std::wstring &tail, const EnvOverrides &env,
                                    HWND *hidden);
    // A copy whose user has the UI language of `locale`.
    ChildProcess &LaunchWithLocale(const std::wstring &tail, const wchar_t *locale);
    // Under Wine, a copy started through Wine's loader whose message box,
    // mutex creation and handle close calls are recorded: for the icon and
    // buttons each box was asked for, which Wine does not let another process
    // read from a box's window, and for the order in which the copy lets go
    // of its mutexes. One such copy per test. On Windows, a copy whose boxes
    // are recorded as WaitForBoxOf reads them; its mutex closes are not seen.
    ChildProcess &LaunchRecordingCalls(const std::wstring &tail);
    // The style (MB_ICON* | MB_* buttons) of every box the recorded copy
    // asked for so far (on Windows: showed to WaitForBoxOf), in order.
    std::vector<unsigned> RecordedBoxStyles();
    // The names of the mutexes the recorded copy has closed so far, in order
    // (under Wine).
    std::vector<std::string> RecordedMutexCloses();
    // Waits (bounded) for a copy to end; its trace follows once collected.
    CopyRun Finish(ChildProcess &copy);
    // Launch + Finish, for a copy that needs no answer from the test.
    CopyRun RunToEnd(const std::wstring &tail, const EnvOverrides &env = {});
    // Every line a copy has traced so far, after the stream has been drained.
    std::vector<std::string> TraceOf(const ChildProcess &copy);

    // Waits for the copy's box with the launcher's caption and reads it; the
    // view's hwnd is null when no box came up in time.
    BoxView WaitForBoxOf(const ChildProcess &copy);

    // No request reached the driver: the copies only opened its device.
    void ExpectNoDriverRequest() {
        AcpiStandInHistory history = {};
        ASSERT_TRUE(driver_->History(history));
        EXPECT_EQ(0u, history.total);
    }

    // Ends the copies still running.
    void EndCopies() { copies_.clear(); }

    // Takes the driver's device away (stops the stand-in) for the rest of the test.
    void DriverAbsent();

    // Set in a derived fixture's constructor to start without the driver.
    bool startDriver_ = true;

    std::unique_ptr<Sandbox> sandbox_;
    TraceListener trace_;
    AcpiStandIn *driver_ = nullptr; // the program's one stand-in

private:
    std::wstring RelayLogPath() const;

    std::vector<std::unique_ptr<ChildProcess>> copies_;
    DWORD recordedPid_ = 0;                        // on Windows: the recorded copy
    std::vector<std::pair<HWND, unsigned>> boxes_; // and the boxes it showed
};

} // namespace tb

#endif
