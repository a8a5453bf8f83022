// The key toggle, shown end to end: two presses of the key under Wine, with
// the driver and the assistant application stood in for. Prints the first
// copy's trace, the lamp requests the driver received and what the
// application saw; exits non-zero when the toggle did not happen as it should.
// With a folder as its argument it runs the launcher installed there (beside
// Avenor.ini and a Lumora.exe); without one it lays out a folder of its own.
#include "AcpiStandIn.h"
#include "ChildProcess.h"
#include "LumoraLog.h"
#include "Sandbox.h"
#include "WinePath.h"
#include "TraceListener.h"

#include <stdio.h>

#include <string>

using namespace tb;

static int Fail(const char *what) {
    printf("\nDEMO FAILED: %s\n", what);
    KillAllLumora();
    return 1;
}

static void PrintLamp(AcpiStandIn &driver, const char *when) {
    const int lamp = driver.Lamp();
    printf("    lamp %s: %s\n", when, lamp < 0 ? "unknown" : lamp ? "LIT" : "dark");
}

int wmain(int argc, wchar_t **argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    TraceListener trace;
    if (!trace.Start())
        return Fail("cannot listen on the debugger output stream");
    AcpiStandIn driver(DefaultStandInSysPath());
    if (!driver.Start() || !driver.Reset())
        return Fail("cannot start the ACPI driver stand-in");
    Sandbox box(L"demo");
    std::wstring dir = box.Dir();
    if (argc > 1)
        dir = std::wstring(argv[1]) + L"\\";
    else if (!box.Ok() || !box.PlaceExe() || !box.PlaceBuiltIni() || !box.PlaceLumora())
        return Fail("cannot lay out the program folder");
    const std::wstring exe = dir + L"Avenor.exe";
    LumoraLog log(dir);
    printf("Program folder: %ls\n", dir.c_str());

    printf("\n[press 1] %ls /d\n", exe.c_str());
    ChildProcess first;
    if (!first.Start(exe, L" /d"))
        return Fail("cannot start the launcher");
    HWND hTarget = nullptr;
    if (!WaitForLumoraWindow(30000, &hTarget))
        return Fail("the assistant application did not come up");
    log.WaitForStarts(1, 5000);
    printf("    Lumora is up (pid %lu)\n", FindLumoraPid());
    PrintLamp(driver, "after press 1");
    Sleep(1000);

    printf("\n[press 2] %ls\n", exe.c_str());
    ChildProcess second;
    if (!second.Start(exe, L""))
        return Fail("cannot start the second copy");
    DWORD code = 0;
    if (!second.WaitForExit(30000, &code))
        return Fail("the second copy did not end");
    printf("    second copy forwarded the press and ended (exit code %lu)\n", code);
    if (!first.WaitForExit(30000, &code))
        return Fail("the first copy did not end after the target closed");
    printf("    Lumora closed; first copy ended (exit code %lu)\n", code);
    PrintLamp(driver, "after press 2");
    trace.Flush(10000);

    printf("\nTrace of the first copy (debugger output stream):\n");
    for (const std::string &line : trace.LinesOf(first.Pid())) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        printf("    %s\n", text.c_str());
    }

    printf("\nLamp requests the driver received:\n");
    AcpiStandInHistory history = {};
    driver.History(history);
    for (unsigned i = 0; i < history.count; ++i) {
        const AcpiStandInRequest &r = history.requests[i];
        printf("    #%u  %u-byte request, method %.4s, argument 0x%02X -> lamp %s\n", r.sequence,
               r.inLength, reinterpret_cast<const char *>(&r.method), r.argument,
               (r.argument & 1) ? "on" : "off");
    }

    printf("\nWhat the application recorded:\n");
    for (const std::wstring &line : log.Lines())
        printf("    %ls\n", line.c_str());

    const bool ok = history.count >= 2 && (history.requests[0].argument & 1) == 1 &&
                    driver.Lamp() == 0 && log.CountStarts() == 1 && log.CountCloses() >= 1;
    if (!ok)
        return Fail("the toggle did not light and then darken the lamp around one run");
    printf("\nDemo OK: press 1 started Lumora with the lamp lit, press 2 closed it and the lamp "
           "went dark.\n");
    return 0;
}
