#pragma once

#include <windows.h>

// The running flag and the lamp change together. The worker, the close request
// and the power handler may each change or read the flag and then switch the
// lamp; doing both under one lock keeps the last lamp request in effect in
// line with the flag, whichever thread gets there first.

// Sets or clears g_bRunning and lights or puts out the lamp to match.
void SwitchRunning(BOOL bRunning);

// Sets the lamp again to match g_bRunning (after a resume from sleep).
void ReapplyRunningLamp();
