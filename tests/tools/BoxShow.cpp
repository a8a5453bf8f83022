// Puts one of the launcher's message boxes on the screen and holds it there
// for a picture: lays out a program folder, sets up the condition that makes
// the launcher show that box, starts the launcher and waits for the box. Then
// prints "ready LEFT TOP WIDTH HEIGHT" (the box's screen rectangle) and waits
// until the done file exists (at most 60 s) before it answers the box and
// clears everything away.
//
//   avenor_boxshow question|driver|occupied DONE-FILE [LOCALE]
//
//   question  no strings file: "Cannot find Avenor.ini. Continue?"
//   driver    strings file present, the ACPI driver absent
//   occupied  driver present, the machine-wide mutex held here as by a copy
//             in another session
//
// LOCALE (default en_US.UTF-8) becomes the launcher's LC_ALL, which gives its
// user the UI language. DONE-FILE may be a Windows path or a Linux one.
#include "AcpiStandIn.h"
#include "ChildProcess.h"
#include "Impostors.h"
#include "MessageBoxes.h"
#include "Poll.h"
#include "Sandbox.h"
#include "WinePath.h"

#include <shellapi.h>
#include <stdio.h>

#include <memory>
#include <string>

using namespace tb;

namespace {

const DWORD kFindMs = 9000;   // the launcher started through Wine's loader to be found
const DWORD kBoxMs = 30000;   // its box to come up
const DWORD kPaintMs = 1500;  // the box to be painted on the X display
const DWORD kHoldMs = 60000;  // the longest the box is held for the picture
const DWORD kPressMs = 10000; // the box to go after the answer
const DWORD kExitMs = 15000;  // the launcher to end after the answer
const DWORD kPollMs = 100;

enum Scenario { kQuestion, kDriver, kOccupied, kUnknown };

Scenario ScenarioOf(const std::wstring &name) {
    if (name == L"question")
        return kQuestion;
    if (name == L"driver")
        return kDriver;
    if (name == L"occupied")
        return kOccupied;
    return kUnknown;
}

std::wstring DonePath(const std::wstring &arg) {
    if (arg.empty() || arg[0] != L'/')
        return arg;
    std::wstring path = L"Z:" + arg;
    for (wchar_t &c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

int Fail(const char *what) {
    fprintf(stderr, "boxshow: %s\n", what);
    return 1;
}

// Everything the run set up, undone in reverse order when it goes: the
// launcher and whatever else runs from the folder, the held mutex, the driver
// service, the folder.
struct Run {
    std::unique_ptr<Sandbox> folder;
    std::unique_ptr<AcpiStandIn> driver;
    std::unique_ptr<HeldName> globalMutex;
    std::unique_ptr<ChildProcess> launcher;

    ~Run() {
        if (launcher)
            launcher->Kill();
        if (folder)
            KillProcessesUnder(folder->Root(), kExitMs);
        launcher.reset();
        globalMutex.reset();
        driver.reset();
        folder.reset();
    }
};

// Lays out the folder and the condition for `scenario`; null text when all is
// in place, otherwise what failed.
const char *Prepare(Scenario scenario, Run &run) {
    run.folder.reset(
        new Sandbox(std::wstring(L"boxshow-") + (scenario == kQuestion ? L"question"
                                                 : scenario == kDriver ? L"driver"
                                                                       : L"occupied")));
    if (!run.folder->Ok() || !run.folder->PlaceExe())
        return "cannot lay out the program folder";
    if (scenario == kQuestion)
        return nullptr; // asked before the driver is looked at
    if (!run.folder->PlaceBuiltIni())
        return "cannot place the strings file";
    run.driver.reset(new AcpiStandIn(DefaultStandInSysPath()));
    if (scenario == kDriver)
        return run.driver->Stop() && !DeviceOpens() ? nullptr : "cannot take the ACPI driver away";
    if (!run.driver->Start())
        return "cannot start the ACPI driver stand-in";
    // Another session's copy holds only the machine-wide name; this session's
    // name must be free or the launcher would forward instead of refusing.
    HANDLE local = OpenMutexW(SYNCHRONIZE, FALSE, kLocalMutexName);
    if (local != nullptr) {
        CloseHandle(local);
        return "a copy of the launcher already runs in this session";
    }
    run.globalMutex.reset(new HeldName(HeldName::Mutex, kGlobalMutexName));
    return run.globalMutex->Ok() ? nullptr : "cannot hold the machine-wide mutex";
}

bool WaitForFile(const std::wstring &path, DWORD timeoutMs) {
    return PollUntil(timeoutMs, kPollMs, [&] { return PathExists(path); });
}

} // namespace

int main() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3 || argc > 4 || ScenarioOf(argv[1]) == kUnknown) {
        fprintf(stderr, "usage: avenor_boxshow question|driver|occupied DONE-FILE [LOCALE]\n");
        return 2;
    }
    const Scenario scenario = ScenarioOf(argv[1]);
    const std::wstring donePath = DonePath(argv[2]);
    const std::wstring locale = argc == 4 ? argv[3] : L"en_US.UTF-8";
    LocalFree(argv);
    DeleteFileW(donePath.c_str());

    Run run;
    if (const char *failure = Prepare(scenario, run))
        return Fail(failure);

    // Through Wine's loader, so that LC_ALL reaches the launcher's Unix side.
    run.launcher.reset(new ChildProcess);
    if (!run.launcher->StartThroughLoader(run.folder->ExePath(), L"", {{L"LC_ALL", locale}},
                                          run.folder->Dir(), kFindMs))
        return Fail("cannot start the launcher");
    HWND box = WaitForBox(run.launcher->Pid(), kBoxCaption, kBoxMs);
    if (box == nullptr)
        return Fail("no box came up");
    const BoxView view = ReadBox(box);
    const bool question = scenario == kQuestion;
    if (question ? !(view.yes && view.no && !view.ok) : !(view.ok && !view.yes && !view.no))
        return Fail("the box has other buttons than expected");
    if (view.text.empty())
        return Fail("the box shows no text");
    printf("text: %s\n", ToAnsi(view.text).c_str());

    // On a desktop the new box is the active window. A bare X server has no
    // window manager to hand it the focus, so its caption would be painted
    // as inactive; have it painted active, then let the painting reach the
    // display.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(box, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, kPressMs, &ignored);
    Sleep(kPaintMs);
    RECT rc = {};
    if (!GetWindowRect(box, &rc))
        return Fail("cannot read the box's rectangle");
    printf("ready %ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);

    if (!WaitForFile(donePath, kHoldMs))
        fprintf(stderr, "boxshow: no done file after %lu s, answering anyway\n", kHoldMs / 1000);
    if (!PressButton(box, question ? IDNO : IDOK, kPressMs))
        return Fail("the box did not go when answered");
    DWORD code = 0;
    if (!run.launcher->WaitForExit(kExitMs, &code))
        return Fail("the launcher did not end after the box was answered");
    printf("done: launcher ended with %lu\n", code);
    return 0;
}
