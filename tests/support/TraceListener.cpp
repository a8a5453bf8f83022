#include "TraceListener.h"

#include "WinePath.h"

#include <stdio.h>
#include <stdlib.h>

#include <chrono>

namespace tb {

namespace {

// Layout of the shared buffer: the writer's process id, then its text.
const DWORD kBufferSize = 4096;
const DWORD kPollMs = 50;
// A flush marker carries this prefix and this process's id.
const char kFlushMark[] = "\x01tb-flush ";

} // namespace

TraceListener::~TraceListener() {
    Stop();
}

bool TraceListener::Start() {
    if (hMapping_ != nullptr)
        return true;
    hMapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                                   L"DBWIN_BUFFER");
    bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
    hBufferReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    taken = taken || GetLastError() == ERROR_ALREADY_EXISTS;
    hDataReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    taken = taken || GetLastError() == ERROR_ALREADY_EXISTS;
    if (hMapping_ != nullptr)
        view_ = static_cast<const BYTE *>(MapViewOfFile(hMapping_, FILE_MAP_READ, 0, 0, 0));
    if (taken || view_ == nullptr || hBufferReady_ == nullptr || hDataReady_ == nullptr) {
        Stop();
        return false;
    }
    stop_ = held_ = readyOwed_ = false;
    thread_ = std::thread(&TraceListener::Listen, this);
    return true;
}

void TraceListener::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    if (thread_.joinable())
        thread_.join(); // the thread looks at stop_ every kPollMs
    if (view_ != nullptr)
        UnmapViewOfFile(view_);
    view_ = nullptr;
    for (HANDLE *h : {&hMapping_, &hBufferReady_, &hDataReady_}) {
        if (*h != nullptr)
            CloseHandle(*h);
        *h = nullptr;
    }
}

void TraceListener::Listen() {
    const DWORD self = GetCurrentProcessId();
    const std::string mark = kFlushMark;
    SetEvent(hBufferReady_);
    for (;;) {
        DWORD wait = WaitForSingleObject(hDataReady_, kPollMs);
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stop_)
                return;
        }
        if (wait != WAIT_OBJECT_0)
            continue;
        DWORD pid = *reinterpret_cast<const DWORD *>(view_);
        const char *text = reinterpret_cast<const char *>(view_ + sizeof(DWORD));
        size_t len = 0;
        while (len < kBufferSize - sizeof(DWORD) && text[len] != '\0')
            ++len;
        TraceEntry entry{pid, std::string(text, len)};
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!holdAfter_.empty() && entry.text.find(holdAfter_) != std::string::npos) {
                held_ = true;
                holdAfter_.clear();
            }
            if (held_)
                readyOwed_ = true;
            else
                SetEvent(hBufferReady_);
            if (pid == self && entry.text.compare(0, mark.size(), mark) == 0)
                flushSeen_ =
                    static_cast<unsigned>(strtoul(entry.text.c_str() + mark.size(), nullptr, 10));
            else
                entries_.push_back(entry);
        }
        changed_.notify_all();
    }
}

void TraceListener::Hold() {
    std::lock_guard<std::mutex> guard(lock_);
    held_ = true;
}

void TraceListener::HoldAfter(const std::string &text) {
    std::lock_guard<std::mutex> guard(lock_);
    holdAfter_ = text;
}

void TraceListener::Release() {
    std::lock_guard<std::mutex> guard(lock_);
    held_ = false;
    holdAfter_.clear();
    if (readyOwed_ && hBufferReady_ != nullptr)
        SetEvent(hBufferReady_);
    readyOwed_ = false;
}

std::vector<std::string> TraceListener::LinesOf(DWORD pid) const {
    std::vector<std::string> lines;
    std::lock_guard<std::mutex> guard(lock_);
    for (const TraceEntry &e : entries_)
        if (e.pid == pid)
            lines.push_back(e.text);
    return lines;
}

bool TraceListener::Flush(DWORD timeoutMs) {
    if (!thread_.joinable())
        return false;
    unsigned id = ++flushSent_;
    char marker[64];
    snprintf(marker, sizeof(marker), "%s%u", kFlushMark, id);
    // Writers take turns on the stream, and each waits until the listener has
    // taken the previous text: once the marker is in, so is all that came before.
    OutputDebugStringA(marker);
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [&] { return flushSeen_ >= id; });
}

} // namespace tb
