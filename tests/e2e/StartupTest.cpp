// Start-up as the user meets it: the debug switch, the strings-file question,
// the driver check, and the arbitration between copies by the two named
// mutexes and the hidden window. Every copy is the real program in a sandbox;
// the other copies it meets are the test's impostors.
#include "WorkingRun.h"
#include "RowName.h"

#include <memory>

using namespace tb;

namespace {

const char kStartupContext[] = "InitInstance";
const char kLocalExists[] = "m_hLocalMutex - ERROR_ALREADY_EXISTS";
const char kNoWindow[] = "Mutex exist but FindWindowEx failed";
const wchar_t kIniQuestion[] = L"Cannot find Avenor.ini. Continue?";

// A traced copy that met a running copy's per-session mutex but not its window
// (the lookup leaving `code`).
std::vector<ExpectedLine> MutexWithoutWindow(DWORD code = kAnyCode) {
    return CopyHead() + Note(kStartupContext, kLocalExists) +
           Error(kStartupContext, kNoWindow, code) + CopyExit();
}

} // namespace

class StartupTest : public E2eTest {
protected:
    // Waits for the copy's box, checks its caption and buttons, and presses
    // `button`; returns the box's text.
    std::wstring AnswerBox(ChildProcess &copy, bool yesNo, int button) {
        BoxView box = WaitForBoxOf(copy);
        EXPECT_NE(nullptr, box.hwnd) << "no box came up";
        if (box.hwnd == nullptr)
            return L"<no box>";
        EXPECT_EQ(yesNo, box.yes);
        EXPECT_EQ(yesNo, box.no);
        EXPECT_EQ(!yesNo, box.ok);
        EXPECT_FALSE(box.cancel);
        EXPECT_TRUE(PressButton(box.hwnd, button, kPressMs)) << "the box did not go";
        return box.text;
    }
};

// ---------------------------------------------------------------- strings file

TEST_F(StartupTest, MissingIniAnsweredNoEndsWithoutTracingTheStep) {
    ASSERT_TRUE(sandbox_->RemoveIni());
    ASSERT_TRUE(CreateDirectoryW(sandbox_->IniPath().c_str(), nullptr)); // a folder in its place
    ChildProcess &copy = LaunchRecordingCalls(L" /d");
    EXPECT_EQ(kIniQuestion, AnswerBox(copy, true, IDNO));
    EXPECT_EQ(std::vector<unsigned>{MB_ICONINFORMATION | MB_YESNO}, RecordedBoxStyles());
    ASSERT_TRUE(EndedCleanly(Finish(copy), CopyHead() + CopyExit()));
    ExpectNoDriverRequest();
}

TEST_F(StartupTest, MissingIniAnsweredYesGoesOnToArbitration) {
    ASSERT_TRUE(sandbox_->RemoveIni());
    HeldName local(HeldName::Mutex, kLocalMutexName);
    ASSERT_TRUE(local.Ok());
    ChildProcess &copy = Launch(L" /d");
    EXPECT_EQ(kIniQuestion, AnswerBox(copy, true, IDYES));
    ASSERT_TRUE(EndedCleanly(Finish(copy), MutexWithoutWindow()));
}

TEST_F(StartupTest, MissingIniAnsweredYesThenMissingDriverShowsAnEmptyText) {
    ASSERT_TRUE(sandbox_->RemoveIni());
    DriverAbsent();
    ChildProcess &copy = Launch(L"");
    EXPECT_EQ(kIniQuestion, AnswerBox(copy, true, IDYES));
    EXPECT_EQ(L"", AnswerBox(copy, false, IDOK));
    ASSERT_TRUE(EndedCleanly(Finish(copy), {}));
}

// ---------------------------------------------------------------- driver

// The one home of the driver box in English: each press below finds no driver,
// shows the error box with the English text of the built strings file, and
// ends once it is answered. The first press's box call is recorded for its
// icon and buttons; without the switch the copy traces nothing; a later press
// runs the driver check before it looks for a running copy, so it forwards
// nothing.
TEST_F(StartupTest, MissingDriverShowsTheLocalizedErrorBoxAndEnds) {
    DriverAbsent();
    const std::wstring expected = sandbox_->EnglishText(L"IDS_CHKTAVRIK");
    ASSERT_FALSE(expected.empty()) << "the built strings file has no English driver text";
    const struct {
        const char *name;
        const wchar_t *tail;
        bool recordBoxes; // one recorded copy per test
        bool runningCopy;
        std::vector<ExpectedLine> trace;
    } presses[] = {
        {"Traced", L" /d", true, false, CopyHead() + CopyExit()},
        {"WithTheTraceOff", L"", false, false, {}},
        {"LaterPress", L" /d", false, true, CopyHead() + CopyExit()},
    };
    for (const auto &press : presses) {
        SCOPED_TRACE(press.name);
        std::unique_ptr<HeldName> local;
        FakeLauncherWindow running;
        if (press.runningCopy) {
            local.reset(new HeldName(HeldName::Mutex, kLocalMutexName));
            ASSERT_TRUE(local->Ok());
            ASSERT_TRUE(running.Start());
        }
        ChildProcess &copy =
            press.recordBoxes ? LaunchRecordingCalls(press.tail) : Launch(press.tail);
        EXPECT_EQ(expected, AnswerBox(copy, false, IDOK));
        ASSERT_TRUE(EndedCleanly(Finish(copy), press.trace));
        // The copy has ended: once a marker posted now arrived, so did all it posted.
        ASSERT_TRUE(!press.runningCopy || running.Drain(kExitMs));
        EXPECT_TRUE(running.PrivateMessages().empty()) << Shown(running.PrivateMessages());
    }
    EXPECT_EQ(std::vector<unsigned>{MB_ICONERROR}, RecordedBoxStyles());
}

// ---------------------------------------------------------------- a copy in this session

// An error line too is written only with the switch. Its code is the one the
// lookup leaves after the mutex call that met the running copy's mutex.
TEST_F(StartupTest, MutexWithoutWindowTracesTheErrorAndEnds) {
    HeldName local(HeldName::Mutex, kLocalMutexName);
    ASSERT_TRUE(local.Ok());
    const DWORD code =
        FailedLookupCode(kLauncherWindowName, kLauncherWindowName, ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(EndedCleanly(RunToEnd(L" /d"), MutexWithoutWindow(code)));

    ASSERT_TRUE(EndedCleanly(RunToEnd(L""), {}));
}

// The per-session name taken by an object that is no mutex.
TEST_F(StartupTest, LocalMutexThatCannotBeCreatedIsAnErrorWithTheSystemCode) {
    HeldName squatter(HeldName::Event, kLocalMutexName);
    ASSERT_TRUE(squatter.Ok());
    CopyRun run = RunToEnd(L" /d");
    ASSERT_TRUE(EndedCleanly(
        run, CopyHead() + Error(kStartupContext, "m_hLocalMutex == NULL", ERROR_INVALID_HANDLE) +
                 CopyExit()));
}

// ---------------------------------------------------------------- a copy elsewhere

TEST_F(StartupTest, CopyInAnotherSessionIsRefusedWithTheOccupiedBox) {
    HeldName global(HeldName::Mutex, kGlobalMutexName);
    ASSERT_TRUE(global.Ok());
    ChildProcess &refused = LaunchRecordingCalls(L" /d");
    BoxView box = WaitForBoxOf(refused);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ(sandbox_->EnglishText(L"IDS_USEROCCUPY"), box.text);
    EXPECT_TRUE(box.ok && !box.yes && !box.no && !box.cancel);
    EXPECT_EQ(std::vector<unsigned>{MB_ICONINFORMATION}, RecordedBoxStyles());

    // While its box is open the refused copy holds the per-session mutex, and
    // it has no window: a further press finds the one without the other.
    ASSERT_TRUE(EndedCleanly(RunToEnd(L" /d"), MutexWithoutWindow()));

    ASSERT_TRUE(PressButton(box.hwnd, IDOK, kPressMs));
    ASSERT_TRUE(EndedCleanly(
        Finish(refused),
        CopyHead() + Note(kStartupContext, "m_hGlobalMutex - ERROR_ALREADY_EXISTS") + CopyExit()));
    ExpectNoDriverRequest();
    // The machine-wide mutex goes first: a press between the two closes then
    // finds this session's mutex without a window and ends quietly, instead
    // of being refused with the box.
    TB_NOT_RUN_ON(Platform::Windows, "the order of the mutex closes is read from Wine's relay "
                                     "trace; Windows has no such trace");
    EXPECT_EQ((std::vector<std::string>{"Global\\Tavrik Xolt Wrapper Global Mutex",
                                        "Tavrik Xolt Wrapper Local Mutex"}),
              RecordedMutexCloses());
}

TEST_F(StartupTest, CopyOfAnotherUserIsRefusedWithTheOccupiedBox) {
    HeldName global(HeldName::DeniedMutex, kGlobalMutexName);
    ASSERT_TRUE(global.Ok());
    ChildProcess &refused = LaunchRecordingCalls(L" /d");
    EXPECT_EQ(sandbox_->EnglishText(L"IDS_USEROCCUPY"), AnswerBox(refused, false, IDOK));
    EXPECT_EQ(std::vector<unsigned>{MB_ICONINFORMATION}, RecordedBoxStyles());
    ASSERT_TRUE(EndedCleanly(
        Finish(refused),
        CopyHead() + Note(kStartupContext, "m_hGlobalMutex - ERROR_ACCESS_DENIED") + CopyExit()));
}

// The machine-wide name taken by an object that is no mutex: refused without a box.
TEST_F(StartupTest, GlobalMutexFailingOtherwiseEndsWithoutABox) {
    HeldName squatter(HeldName::Event, kGlobalMutexName);
    ASSERT_TRUE(squatter.Ok());
    ASSERT_TRUE(
        EndedCleanly(RunToEnd(L" /d"),
                     CopyHead() + Note(kStartupContext, "m_hGlobalMutex == NULL") + CopyExit()))
        << "the copy did not end (a box?)";
}

// ---------------------------------------------------------------- the working copy

TEST_F(StartupTest, WorkingCopyWithTheTraceOffIsSilent) {
    ASSERT_TRUE(EndedCleanly(RunToEnd(L""), {}));
}

// The first copy becomes the working copy and, without the assistant
// application beside it, ends by itself; its mutexes go with it, so the next
// press is a working copy again.
TEST_F(StartupTest, CopyAfterTheWorkingCopyEndedWorksAgain) {
    for (int press = 0; press < 2; ++press) {
        SCOPED_TRACE(press);
        HWND hidden = nullptr;
        CopyRun run = Finish(LaunchWorkingCopy(L" /d", {}, &hidden));
        ASSERT_TRUE(EndedCleanly(run, MissingTargetRun(hidden)));
    }
}
