// A listener on the system's debugger output stream (the DBWIN_BUFFER
// protocol). The launcher's trace line forms are in TraceLines.h.
#ifndef TB_TRACE_LISTENER_H
#define TB_TRACE_LISTENER_H

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tb {

// One string a process handed to the stream, as it arrived: converted to the
// ANSI code page, line end included when the writer sent one.
struct TraceEntry {
    DWORD pid;
    std::string text;
};

// Collects every string sent to the stream while it listens, in order. Only
// one listener can exist per session; it must run before the writers start,
// because a writer finding no listener drops its text.
class TraceListener {
public:
    TraceListener() = default;
    ~TraceListener(); // Stop()
    TraceListener(const TraceListener &) = delete;
    TraceListener &operator=(const TraceListener &) = delete;

    // False when the stream's objects cannot be created or another listener
    // already holds them.
    bool Start();
    void Stop();

    std::vector<std::string> LinesOf(DWORD pid) const;
    // Waits until everything sent to the stream before this call has been
    // collected (a marker of this process's own is sent behind it). Not while
    // held.
    bool Flush(DWORD timeoutMs);

    // While held, the listener takes one more string and then keeps the
    // stream's writers waiting in their next write until Release(). A writer
    // gives up after 10 s and drops its text: release well before that.
    void Hold();
    // Holds as soon as the listener has taken a string containing `text`: its
    // writer then waits in its next write until Release().
    void HoldAfter(const std::string &text);
    void Release();

private:
    void Listen();

    HANDLE hMapping_ = nullptr;
    HANDLE hBufferReady_ = nullptr;
    HANDLE hDataReady_ = nullptr;
    const BYTE *view_ = nullptr;
    std::thread thread_;
    bool stop_ = false;
    bool held_ = false;
    bool readyOwed_ = false; // the writers' go-ahead, kept back while held
    std::string holdAfter_;  // HoldAfter's text, until a string carries it
    unsigned flushSent_ = 0;
    unsigned flushSeen_ = 0;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<TraceEntry> entries_;
};

} // namespace tb

#endif
