// Measures the launcher against the cost of a bare process start, side by side
// in one run so that the machine's noise hits every figure alike, and prints
// the ratios.
//
//   avenor_bench [REPETITIONS] [IDLE-SECONDS]
#include "AcpiStandIn.h"
#include "ChildProcess.h"
#include "LumoraLog.h"
#include "Sandbox.h"
#include "WinePath.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

using namespace tb;

namespace {

double Now() {
    static LARGE_INTEGER freq;
    if (freq.QuadPart == 0)
        QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Waits for the target's window; the time it appeared, or a negative value.
double WaitWindow(DWORD timeoutMs) {
    const double end = Now() + timeoutMs;
    while (Now() < end) {
        if (FindLumoraWindow() != nullptr)
            return Now();
        Sleep(1);
    }
    return -1;
}

double CpuMs(HANDLE hProcess) {
    FILETIME c, e, k, u;
    if (!GetProcessTimes(hProcess, &c, &e, &k, &u))
        return -1;
    const auto ms = [](const FILETIME &f) {
        return static_cast<double>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) |
                                   f.dwLowDateTime) /
               10000.0;
    };
    return ms(k) + ms(u);
}

int Fail(const char *what) {
    printf("BENCH FAILED: %s\n", what);
    KillAllLumora();
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const int reps = argc > 1 ? atoi(argv[1]) : 10;
    const int idleSeconds = argc > 2 ? atoi(argv[2]) : 30;

    // A user's session always has its desktop running; Wine starts one with the
    // first window of a session and ends it when the last window goes. Hold a
    // window for the whole run so that no measured start pays for the desktop.
    HWND hDesktopHold = CreateWindowExW(0, L"STATIC", L"avenor bench", WS_OVERLAPPED, 0, 0, 1, 1,
                                        nullptr, nullptr, nullptr, nullptr);
    if (hDesktopHold == nullptr)
        return Fail("cannot create the window that keeps the desktop");

    AcpiStandIn driver(DefaultStandInSysPath());
    if (!driver.Start())
        return Fail("cannot start the driver stand-in");
    Sandbox box(L"bench");
    if (!box.Ok() || !box.PlaceExe() || !box.PlaceBuiltIni() || !box.PlaceLumora())
        return Fail("cannot lay out the program folder");
    const std::wstring lumora = box.Dir() + L"Lumora.exe";
    const std::wstring empty = TestRoot() + L"\\tests\\bench\\avenor_bench_empty.exe";
    const std::wstring window = TestRoot() + L"\\tests\\bench\\avenor_bench_window.exe";

    std::vector<double> direct, launched, toggle, bare, windowed;
    for (int i = 0; i < reps + 1; ++i) { // the first round only warms up
        // The target started directly, up to its window.
        {
            ChildProcess target;
            const double t0 = Now();
            if (!target.Start(lumora, L"", {}, box.Dir()))
                return Fail("cannot start the target");
            const double t1 = WaitWindow(20000);
            if (t1 < 0)
                return Fail("no target window");
            PostMessageW(FindLumoraWindow(), WM_CLOSE, 0, 0);
            target.WaitForExit(20000);
            if (i > 0)
                direct.push_back(t1 - t0);
        }
        // Press 1 up to the target's window, press 2 up to the target's end.
        {
            ChildProcess first, second;
            const double t0 = Now();
            if (!first.Start(box.ExePath(), L""))
                return Fail("cannot start the launcher");
            const double t1 = WaitWindow(20000);
            if (t1 < 0)
                return Fail("the launcher started no target");
            const DWORD pid = FindLumoraPid();
            HANDLE hTarget = OpenProcess(SYNCHRONIZE, FALSE, pid);
            Sleep(300); // let the first copy settle into its waits
            const double t2 = Now();
            if (!second.Start(box.ExePath(), L""))
                return Fail("cannot start the second copy");
            if (hTarget == nullptr || WaitForSingleObject(hTarget, 20000) != WAIT_OBJECT_0)
                return Fail("the target did not close on press 2");
            const double t3 = Now();
            CloseHandle(hTarget);
            second.WaitForExit(20000);
            if (!first.WaitForExit(20000))
                return Fail("the first copy did not end");
            if (i > 0) {
                launched.push_back(t1 - t0);
                toggle.push_back(t3 - t2);
            }
        }
        // The bare process's whole life.
        {
            ChildProcess bareApp;
            const double t0 = Now();
            if (!bareApp.Start(empty, L""))
                return Fail("cannot start the empty program");
            bareApp.WaitForExit(20000);
            if (i > 0)
                bare.push_back(Now() - t0);
        }
        // The bare process that also makes a window.
        {
            ChildProcess windowApp;
            const double t0 = Now();
            if (!windowApp.Start(window, L""))
                return Fail("cannot start the empty window program");
            windowApp.WaitForExit(20000);
            if (i > 0)
                windowed.push_back(Now() - t0);
        }
        printf(".");
    }
    printf("\n");

    // Idle: CPU the working copy uses while the target runs.
    double idleCpu = -1;
    {
        ChildProcess first, second;
        if (!first.Start(box.ExePath(), L"") || WaitWindow(20000) < 0)
            return Fail("cannot start the working copy for the idle run");
        Sleep(1000);
        const double c0 = CpuMs(first.Handle());
        Sleep(static_cast<DWORD>(idleSeconds) * 1000);
        idleCpu = CpuMs(first.Handle()) - c0;
        second.Start(box.ExePath(), L"");
        second.WaitForExit(20000);
        first.WaitForExit(20000);
    }

    const double mDirect = Median(direct), mLaunched = Median(launched), mToggle = Median(toggle),
                 mBare = Median(bare), mWindowed = Median(windowed);
    printf("\n| measure (median of %d) | ms | ratio to the empty program | goal |\n", reps);
    printf("|---|---|---|---|\n");
    printf("| empty program's lifetime | %.0f | 1.00 | |\n", mBare);
    printf("| target started directly, to its window | %.0f | | |\n", mDirect);
    printf("| press 1, to the target's window | %.0f | | |\n", mLaunched);
    printf("| launch overhead (press 1 - direct) | %.0f | %.2f | <= 1.2 |\n", mLaunched - mDirect,
           (mLaunched - mDirect) / mBare);
    printf("| toggle latency (press 2, to the target's end) | %.0f | %.2f | <= 1.3 |\n", mToggle,
           mToggle / mBare);
    printf("| empty program with one hidden window | %.0f | %.2f | |\n", mWindowed,
           mWindowed / mBare);
    printf("| launch overhead against the window program | | %.2f | |\n",
           (mLaunched - mDirect) / mWindowed);
    printf("| toggle latency against the window program | | %.2f | |\n", mToggle / mWindowed);
    printf("| idle CPU of the working copy over %d s | %.1f | | < 50 ms |\n", idleSeconds, idleCpu);
    KillAllLumora();
    DestroyWindow(hDesktopHold);
    return 0;
}
