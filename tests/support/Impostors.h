// Stand-ins for other copies of the launcher: the named objects a copy holds
// while it runs, and the hidden window through which a copy is reached.
#ifndef TB_IMPOSTORS_H
#define TB_IMPOSTORS_H

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tb {

extern const wchar_t kLocalMutexName[];  // a copy in this session
extern const wchar_t kGlobalMutexName[]; // a copy in any session
extern const wchar_t kLauncherWindowName[];

// Private messages a later copy forwards to the running one.
const UINT kMsgDebug = WM_USER + 200;
const UINT kMsgExec = WM_USER + 201;

// A named kernel object held open by the test for as long as the object lives.
class HeldName {
public:
    enum Kind {
        Mutex,       // an ordinary mutex, as a running copy holds it
        DeniedMutex, // a mutex with an empty access list: another user's copy
        Event        // an event: the name is taken by an object of another type
    };
    HeldName(Kind kind, const std::wstring &name);
    ~HeldName();
    HeldName(const HeldName &) = delete;
    HeldName &operator=(const HeldName &) = delete;

    // The object was created anew (not opened: no one else held the name).
    bool Ok() const { return handle_ != nullptr && error_ == 0; }

private:
    HANDLE handle_ = nullptr;
    DWORD error_ = 0;
};

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// " 0x<message>(<wParam>,<lParam>)" for each: compared, and shown on failure.
std::string Shown(const std::vector<Received> &messages);

// A near miss: a top-level window of this thread that a lookup loose about its
// class or its title takes. Never pumped: what is posted to it stays queued.
class NearMissWindow {
public:
    NearMissWindow(const wchar_t *className, const wchar_t *title);
    ~NearMissWindow();
    NearMissWindow(const NearMissWindow &) = delete;
    NearMissWindow &operator=(const NearMissWindow &) = delete;

    // Empties its queue: true when it was made and got no close request or private message.
    bool NothingPosted();

private:
    std::wstring class_;
    HWND hwnd_ = nullptr;
};

// The code a lookup of a top-level window that finds none leaves in a thread
// that held `earlier`, asked of the system now (Wine's sets none).
DWORD FailedLookupCode(const wchar_t *className, const wchar_t *title, DWORD earlier);

// A running copy's hidden window, faked: an ordinary hidden top-level window
// with the launcher's class and title on a thread of its own, recording every
// message its procedure receives after creation.
class FakeLauncherWindow {
public:
    FakeLauncherWindow() = default;
    ~FakeLauncherWindow(); // Stop()
    FakeLauncherWindow(const FakeLauncherWindow &) = delete;
    FakeLauncherWindow &operator=(const FakeLauncherWindow &) = delete;

    // Creates the window; false when it could not be created within 5 s.
    bool Start();
    // Destroys the window and ends its thread (bounded).
    void Stop();

    HWND Handle() const;
    std::vector<Received> Messages() const;
    // The recorded messages from WM_USER up: what another copy forwards.
    std::vector<Received> PrivateMessages() const;
    // Posts a marker (WM_NULL) behind whatever is queued for the window and
    // waits until it arrives: every message posted before it has arrived too.
    bool Drain(DWORD timeoutMs) const;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Run();

    HWND hwnd_ = nullptr;
    bool created_ = false;
    bool finished_ = false;
    bool failed_ = false;
    bool recording_ = false;
    std::thread thread_;
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<Received> messages_;
};

} // namespace tb

#endif
