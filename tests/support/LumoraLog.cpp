#include "LumoraLog.h"

#include <stdlib.h>
#include <wchar.h>

#include "Poll.h"
#include "Processes.h"

namespace tb {

const wchar_t kLumoraClass[] = L"RURAZAD3IRUVAV";
const wchar_t kLumoraTitle[] = L"Lumora";
const wchar_t kLumoraExe[] = L"Lumora.exe";

namespace {

const DWORD kPollMs = 20;

bool StartsWith(const std::wstring &s, const std::wstring &prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::wstring FromUtf8(const std::string &s) {
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// Whole decimal number; false for empty text, other characters or overflow.
bool ParseDecimal(const std::wstring &s, unsigned long *value) {
    if (s.empty() || s.find_first_not_of(L"0123456789") != std::wstring::npos || s.size() > 10)
        return false;
    unsigned long long v = wcstoull(s.c_str(), nullptr, 10);
    if (v > 0xFFFFFFFFull)
        return false;
    *value = static_cast<unsigned long>(v);
    return true;
}

std::string ReadWholeFile(const std::wstring &path) {
    std::string text;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return text;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        text.append(buf, got);
    CloseHandle(h);
    return text;
}

} // namespace

std::vector<std::wstring> SplitLumoraLog(const std::string &text) {
    std::vector<std::wstring> lines;
    size_t pos = 0;
    for (;;) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            break;
        size_t end = eol;
        if (end > pos && text[end - 1] == '\r')
            --end;
        lines.push_back(FromUtf8(text.substr(pos, end - pos)));
        pos = eol + 1;
    }
    return lines;
}

bool ParseLumoraStart(const std::wstring &line, LumoraStart *out) {
    static const std::wstring kHead = L"start pid=";
    static const std::wstring kCmd = L" cmdline=";
    static const std::wstring kCwd = L" cwd=";
    static const std::wstring kLamp = L" lamp=";
    if (!StartsWith(line, kHead))
        return false;
    // The command line and the folder may hold anything, so the fields after
    // them are searched from the end.
    size_t cmd = line.find(kCmd, kHead.size());
    size_t lamp = line.rfind(kLamp);
    if (cmd == std::wstring::npos || lamp == std::wstring::npos || lamp < cmd)
        return false;
    size_t cwd = line.rfind(kCwd, lamp);
    if (cwd == std::wstring::npos || cwd < cmd + kCmd.size())
        return false;

    unsigned long pid = 0;
    if (!ParseDecimal(line.substr(kHead.size(), cmd - kHead.size()), &pid))
        return false;
    std::wstring lampText = line.substr(lamp + kLamp.size());
    int lampValue;
    if (lampText == L"-1")
        lampValue = -1;
    else if (lampText == L"0")
        lampValue = 0;
    else if (lampText == L"1")
        lampValue = 1;
    else
        return false;

    out->pid = pid;
    out->cmdline = line.substr(cmd + kCmd.size(), cwd - cmd - kCmd.size());
    out->cwd = line.substr(cwd + kCwd.size(), lamp - cwd - kCwd.size());
    out->lamp = lampValue;
    return true;
}

bool ParseLumoraExit(const std::wstring &line, DWORD *code) {
    static const std::wstring kHead = L"exit code=";
    unsigned long value = 0;
    if (!StartsWith(line, kHead) || !ParseDecimal(line.substr(kHead.size()), &value))
        return false;
    *code = value;
    return true;
}

LumoraLog::LumoraLog(const std::wstring &folder) : path_(folder) {
    if (!path_.empty() && path_.back() != L'\\' && path_.back() != L'/')
        path_ += L'\\';
    path_ += L"Lumora.log";
}

std::vector<std::wstring> LumoraLog::Lines() const {
    return SplitLumoraLog(ReadWholeFile(path_));
}

std::vector<LumoraStart> LumoraLog::Starts() const {
    std::vector<LumoraStart> starts;
    for (const std::wstring &line : Lines()) {
        LumoraStart s;
        if (ParseLumoraStart(line, &s))
            starts.push_back(s);
    }
    return starts;
}

std::vector<DWORD> LumoraLog::ExitCodes() const {
    std::vector<DWORD> codes;
    for (const std::wstring &line : Lines()) {
        DWORD code = 0;
        if (ParseLumoraExit(line, &code))
            codes.push_back(code);
    }
    return codes;
}

size_t LumoraLog::CountWithPrefix(const std::wstring &prefix) const {
    size_t n = 0;
    for (const std::wstring &line : Lines())
        if (StartsWith(line, prefix))
            ++n;
    return n;
}

size_t LumoraLog::CountStarts() const {
    return CountWithPrefix(L"start ");
}
size_t LumoraLog::CountCloses() const {
    size_t n = 0;
    for (const std::wstring &line : Lines())
        if (line == L"close")
            ++n;
    return n;
}
size_t LumoraLog::CountExits() const {
    return CountWithPrefix(L"exit ");
}

bool LumoraLog::WaitForCount(const std::wstring &prefix, size_t count, DWORD timeoutMs) const {
    return PollUntil(timeoutMs, kPollMs, [&] { return CountWithPrefix(prefix) >= count; });
}

HWND FindLumoraWindow() {
    return FindWindowW(kLumoraClass, kLumoraTitle);
}

DWORD FindLumoraPid() {
    return OwnerOf(FindLumoraWindow());
}

bool WaitForLumoraWindow(DWORD timeoutMs, HWND *window) {
    HWND found = nullptr;
    bool ok =
        PollUntil(timeoutMs, kPollMs, [&] { return (found = FindLumoraWindow()) != nullptr; });
    if (window)
        *window = found;
    return ok;
}

std::vector<DWORD> LumoraPids() {
    return IdsOf(ProcessesNamed(kLumoraExe));
}

bool WaitForNoLumora(DWORD timeoutMs) {
    return PollUntil(timeoutMs, kPollMs, [] { return LumoraPids().empty(); });
}

size_t KillAllLumora(DWORD timeoutMs) {
    std::vector<DWORD> pids = LumoraPids();
    for (DWORD pid : pids) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!h)
            continue;
        TerminateProcess(h, 0xDEAD);
        WaitForSingleObject(h, timeoutMs);
        CloseHandle(h);
    }
    WaitForNoLumora(timeoutMs);
    return pids.size();
}

} // namespace tb
