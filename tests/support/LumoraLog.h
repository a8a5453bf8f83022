// Test-bed view of the assistant application's stand-in (standins/lumora): its
// log in a sandbox folder, its main window, and its processes.
#ifndef TB_LUMORA_LOG_H
#define TB_LUMORA_LOG_H

#include <windows.h>

#include <string>
#include <vector>

namespace tb {

// Window the launcher asks to close.
extern const wchar_t kLumoraClass[];
extern const wchar_t kLumoraTitle[];
extern const wchar_t kLumoraExe[];

// One "start" line of the log.
struct LumoraStart {
    DWORD pid = 0;
    std::wstring cmdline;
    std::wstring cwd;
    int lamp = -1; // lamp state the stand-in saw before its main thread ran; -1 unknown
};

// Splits log text (UTF-8) into complete lines, without line ends. A trailing
// fragment with no line end yet is left out: it is still being written.
std::vector<std::wstring> SplitLumoraLog(const std::string &text);

// "start pid=<n> cmdline=<...> cwd=<...> lamp=<n>"
bool ParseLumoraStart(const std::wstring &line, LumoraStart *out);
// "exit code=<n>"
bool ParseLumoraExit(const std::wstring &line, DWORD *code);

// The log "Lumora.log" of a sandbox folder.
class LumoraLog {
public:
    explicit LumoraLog(const std::wstring &folder);

    std::vector<std::wstring> Lines() const;
    std::vector<LumoraStart> Starts() const;
    std::vector<DWORD> ExitCodes() const;
    size_t CountStarts() const;
    size_t CountCloses() const;
    size_t CountExits() const;
    size_t CountWithPrefix(const std::wstring &prefix) const;

    // Waits until at least `count` lines start with `prefix`.
    bool WaitForCount(const std::wstring &prefix, size_t count, DWORD timeoutMs) const;
    bool WaitForStarts(size_t count, DWORD timeoutMs) const {
        return WaitForCount(L"start ", count, timeoutMs);
    }

private:
    std::wstring path_;
};

// First top-level window of the stand-in, or null.
HWND FindLumoraWindow();
// Process id owning that window, 0 when there is none.
DWORD FindLumoraPid();
// Waits until the window exists; its handle goes to *window.
bool WaitForLumoraWindow(DWORD timeoutMs, HWND *window = nullptr);

// Ids of running "Lumora.exe" processes.
std::vector<DWORD> LumoraPids();
// Waits until no "Lumora.exe" process is left.
bool WaitForNoLumora(DWORD timeoutMs);
// Ends every "Lumora.exe" process and waits (bounded) until they are gone;
// returns how many were asked to end.
size_t KillAllLumora(DWORD timeoutMs = 5000);

} // namespace tb

#endif
