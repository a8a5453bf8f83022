#include "app/RunningLamp.h"

#include "common/Globals.h"
#include "lamp/Lamp.h"

namespace {

// Ready before any thread of the program runs. Never deleted: the process
// ends without joining the worker, which may still be switching the lamp
// while the runtime runs its exit handlers.
class CLampLock {
public:
    CLampLock() { InitializeCriticalSection(&m_cs); }
    CLampLock(const CLampLock &) = delete;
    CLampLock &operator=(const CLampLock &) = delete;

    void Enter() { EnterCriticalSection(&m_cs); }
    void Leave() { LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

CLampLock s_lampLock;

} // namespace

void SwitchRunning(BOOL bRunning) {
    s_lampLock.Enter();
    g_bRunning = static_cast<BYTE>(bRunning) != 0;
    SetLightLED(bRunning);
    s_lampLock.Leave();
}

void ReapplyRunningLamp() {
    s_lampLock.Enter();
    SetLightLED(g_bRunning);
    s_lampLock.Leave();
}
