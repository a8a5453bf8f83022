// Watching a working run of the launcher: the lamp requests the driver
// stand-in received, the trace lines of a working run and the launcher's wait
// lines, and a fixture whose sandbox also holds the assistant application's
// stand-in.
#ifndef TB_WORKING_RUN_H
#define TB_WORKING_RUN_H

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "E2eFixture.h"
#include "LumoraLog.h"
#include "TraceLines.h"

namespace tb {

// Lamp method arguments: bit 0 is the state.
const unsigned kLampOn = 0x41;
const unsigned kLampOff = 0x40;

// Power broadcast codes (wParam of WM_POWERBROADCAST).
const WPARAM kPbtQuerySuspend = 0;
const WPARAM kPbtQuerySuspendFailed = 2;
const WPARAM kPbtSuspend = 4;
const WPARAM kPbtResumeCritical = 6;
const WPARAM kPbtResumeSuspend = 7;

// Arguments of the lamp ("KLMP") requests the stand-in received since its last
// reset, oldest first. A request for any other method, or a malformed one,
// shows as ~0u so that a test comparing lists notices it.
std::vector<unsigned> LampRequests();
// Waits until at least `count` requests have arrived; false after `timeoutMs`.
bool WaitForLampRequests(size_t count, DWORD timeoutMs);

// The lines one lamp switch traces when the stand-in gives its default reply:
// the WOW64 notice (working runs are checked in the 64-bit prefix), the
// success line and the one integer record.
std::vector<ExpectedLine> LampLines();
// The first lines of a working copy started with the trace on: version,
// language, and the handle of its hidden window `hidden`.
std::vector<ExpectedLine> RunHead(HWND hidden);
// A close request that found no target window, with `code`: what calls before
// the lookup left (Wine's sets none), known only to the seam, which calls it.
ExpectedLine NoTargetWindow(DWORD code = kAnyCode);
// What a close request that found the target's window traces.
const char kPressedClose[] = "FindWindowEx succeed, Post WM_CLOSE";
// The end of a working run after the hidden window was closed with no target
// left: destroy, the close request finding nothing, loop end, exit.
std::vector<ExpectedLine> RunTail();
// The whole trace of a working copy with the hidden window `hidden` that found
// no target beside it: nothing launched, no lamp.
std::vector<ExpectedLine> MissingTargetRun(HWND hidden);
// The lines of a working run from the key press that closed its target to its
// end, starting at `from`, and nothing after them: the window procedure's lamp
// switch (`lampOff`) and the worker's end of its exit wait, followed by the
// same lamp switch, may overlap.
::testing::AssertionResult EndsAfterPress(const std::vector<std::string> &trace, size_t from,
                                          const std::string &targetPath,
                                          const std::vector<ExpectedLine> &lampOff);
// A wait line of the worker ("WaitForInputIdle" / "WaitForSingleObject") with
// outcome "succeed" for `targetPath`.
ExpectedLine WaitSucceeded(const std::string &wait, const std::string &targetPath);

// Sends WM_POWERBROADCAST with `event` to `window` and waits for the answer
// (bounded); the answer goes to *result. False when it did not come.
bool SendPower(HWND window, WPARAM event, DWORD_PTR *result);
// Sends WM_NULL to `window` and waits for the answer (bounded): the message its
// thread was handling when the call was made has then been handled to its end.
bool RoundTrip(HWND window);

// A worker wait line in its notification form.
struct WaitLine {
    std::string wait;    // "WaitForInputIdle" or "WaitForSingleObject"
    std::string outcome; // "succeed", "WAIT_TIMEOUT", "WAIT_ABANDONED"
    DWORD pid = 0;
    long ms = 0;
    std::string path;
};
bool ParseWaitLine(const std::string &line, WaitLine *out);
// The first wait line of kind `wait` in `lines`.
bool FindWaitLine(const std::vector<std::string> &lines, const std::string &wait, WaitLine *out);

// The working run with the assistant application's stand-in beside the
// launcher, in a folder below the one the copies start in, in the 64-bit
// prefix. No "Lumora.exe" process runs when a test starts or after it ends.
class WorkingRunTest : public E2eTest {
protected:
    void SetUp() override;
    void TearDown() override;

    LumoraLog Log() const { return LumoraLog(sandbox_->Dir()); }
    // The target's path as the launcher derives it.
    std::wstring TargetPath() const { return sandbox_->Dir() + kLumoraExe; }
    std::string TargetPathAnsi() const;

    // Press 1: starts a copy that becomes the working copy (its hidden window
    // goes to *hidden when asked for) and waits until the target it launched has its window
    // and has logged its start. With the trace on (`tail` " /d") it also waits
    // for the input-idle line, so that the worker is in its exit wait when this
    // returns. False when any of it did not happen in time.
    bool StartWorkingCopy(const std::wstring &tail, const EnvOverrides &env, ChildProcess **copy,
                          HWND *hidden = nullptr);
    // A later press: a copy that forwards and ends; true when it ended with 0.
    ::testing::AssertionResult Press(const std::wstring &tail);
    // Waits until the working copy has traced `text` `count` times.
    bool WaitForTraceCount(const ChildProcess &copy, const std::string &text, size_t count,
                           DWORD timeoutMs);
};

} // namespace tb

#endif
