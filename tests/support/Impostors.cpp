#include "Impostors.h"

#include <atomic>
#include <chrono>

#include <stdio.h>

namespace tb {

const wchar_t kLocalMutexName[] = L"Tavrik Xolt Wrapper Local Mutex";
const wchar_t kGlobalMutexName[] = L"Global\\Tavrik Xolt Wrapper Global Mutex";
const wchar_t kLauncherWindowName[] = L"Tavrik Xolt Wrapper Invisible Window";

namespace {

const DWORD kStartMs = 5000;
const DWORD kStopMs = 5000;
// The window currently faked; its procedure records into it.
std::atomic<FakeLauncherWindow *> s_active{nullptr};

// A top-level window of this thread, of a class registered with `proc` unless
// this process has it already; null when it could not be made.
HWND MakeWindow(const wchar_t *className, const wchar_t *title, WNDPROC proc) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    if (RegisterClassW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    return CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                           CW_USEDEFAULT, 0, nullptr, nullptr, wc.hInstance, nullptr);
}

} // namespace

HeldName::HeldName(Kind kind, const std::wstring &name) {
    SECURITY_ATTRIBUTES sa = {};
    SECURITY_DESCRIPTOR sd;
    ACL acl;
    SECURITY_ATTRIBUTES *psa = nullptr;
    if (kind == DeniedMutex) {
        // An access list without entries grants nobody anything, so opening
        // the mutex elsewhere fails with ERROR_ACCESS_DENIED.
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);
        sa.nLength = sizeof(sa);
        sa.lpSecurityDescriptor = &sd;
        psa = &sa;
    }
    if (kind == Event)
        handle_ = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    else
        handle_ = CreateMutexW(psa, FALSE, name.c_str());
    error_ = GetLastError();
    if (handle_ != nullptr && error_ != ERROR_ALREADY_EXISTS)
        error_ = 0;
}

HeldName::~HeldName() {
    if (handle_ != nullptr)
        CloseHandle(handle_);
}

std::string Shown(const std::vector<Received> &messages) {
    std::string out;
    for (const Received &m : messages) {
        char one[64];
        snprintf(one, sizeof(one), " 0x%04X(%u,%ld)", m.message, static_cast<unsigned>(m.wParam),
                 static_cast<long>(m.lParam));
        out += one;
    }
    return out;
}

NearMissWindow::NearMissWindow(const wchar_t *className, const wchar_t *title)
    : class_(className), hwnd_(MakeWindow(className, title, DefWindowProcW)) {}

NearMissWindow::~NearMissWindow() {
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
    UnregisterClassW(class_.c_str(), GetModuleHandleW(nullptr));
}

bool NearMissWindow::NothingPosted() {
    MSG msg;
    bool none = hwnd_ != nullptr;
    while (hwnd_ != nullptr && PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE))
        none = none && msg.message != WM_CLOSE && msg.message < WM_USER;
    return none;
}

DWORD FailedLookupCode(const wchar_t *className, const wchar_t *title, DWORD earlier) {
    SetLastError(earlier);
    return FindWindowExW(nullptr, nullptr, className, title) == nullptr ? GetLastError() : 0;
}

FakeLauncherWindow::~FakeLauncherWindow() {
    Stop();
}

bool FakeLauncherWindow::Start() {
    FakeLauncherWindow *none = nullptr;
    if (thread_.joinable() || !s_active.compare_exchange_strong(none, this))
        return false;
    created_ = failed_ = finished_ = false;
    thread_ = std::thread(&FakeLauncherWindow::Run, this);
    std::unique_lock<std::mutex> guard(lock_);
    bool done = changed_.wait_for(guard, std::chrono::milliseconds(kStartMs),
                                  [this] { return created_ || failed_; });
    return done && created_;
}

void FakeLauncherWindow::Stop() {
    if (!thread_.joinable())
        return;
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, std::chrono::milliseconds(kStartMs),
                      [this] { return created_ || failed_; });
    // The thread leaves its loop once the window is destroyed; the close is
    // repeated in case it came before the loop ran.
    DWORD start = GetTickCount();
    while (!finished_ && GetTickCount() - start < kStopMs) {
        HWND hwnd = hwnd_;
        guard.unlock();
        if (hwnd != nullptr)
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        guard.lock();
        changed_.wait_for(guard, std::chrono::milliseconds(100), [this] { return finished_; });
    }
    bool finished = finished_;
    guard.unlock();
    s_active = nullptr;
    if (finished)
        thread_.join();
    else
        thread_.detach(); // stuck: leave it rather than wait without bound
}

void FakeLauncherWindow::Run() {
    HWND hwnd = MakeWindow(kLauncherWindowName, kLauncherWindowName, &FakeLauncherWindow::Proc);
    if (hwnd != nullptr)
        ShowWindow(hwnd, SW_HIDE);
    {
        std::lock_guard<std::mutex> guard(lock_);
        hwnd_ = hwnd;
        created_ = hwnd != nullptr;
        failed_ = hwnd == nullptr;
        recording_ = created_;
    }
    changed_.notify_all();
    if (hwnd != nullptr) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        recording_ = false;
        hwnd_ = nullptr;
    }
    UnregisterClassW(kLauncherWindowName, GetModuleHandleW(nullptr));
    {
        std::lock_guard<std::mutex> guard(lock_);
        finished_ = true;
    }
    changed_.notify_all();
}

LRESULT CALLBACK FakeLauncherWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    FakeLauncherWindow *self = s_active.load();
    if (self != nullptr) {
        {
            std::lock_guard<std::mutex> guard(self->lock_);
            if (self->recording_)
                self->messages_.push_back(Received{msg, wParam, lParam});
        }
        self->changed_.notify_all();
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND FakeLauncherWindow::Handle() const {
    std::lock_guard<std::mutex> guard(lock_);
    return hwnd_;
}

std::vector<Received> FakeLauncherWindow::Messages() const {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_;
}

std::vector<Received> FakeLauncherWindow::PrivateMessages() const {
    std::vector<Received> out;
    std::lock_guard<std::mutex> guard(lock_);
    for (const Received &r : messages_)
        if (r.message >= WM_USER)
            out.push_back(r);
    return out;
}

bool FakeLauncherWindow::Drain(DWORD timeoutMs) const {
    static LONG s_markers = 0;
    const LPARAM marker = InterlockedIncrement(&s_markers);
    const HWND hwnd = Handle();
    if (hwnd == nullptr || !PostMessageW(hwnd, WM_NULL, 0, marker))
        return false;
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Received &r : messages_)
            if (r.message == WM_NULL && r.lParam == marker)
                return true;
        return false;
    });
}

} // namespace tb
