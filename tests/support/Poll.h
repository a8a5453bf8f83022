// Bounded polling of a condition.
#ifndef TB_POLL_H
#define TB_POLL_H

#include <windows.h>

namespace tb {

// Checks `done` every `pollMs` until it holds or `timeoutMs` have passed, and
// once more when the time is up; true when it held.
template <typename Pred> bool PollUntil(DWORD timeoutMs, DWORD pollMs, Pred done) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return done();
        Sleep(pollMs);
    }
}

} // namespace tb

#endif
