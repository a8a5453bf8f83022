#include "ChildProcess.h"

#include <psapi.h>

#include <map>

#include <wchar.h>

#include "Machine.h"
#include "Poll.h"
#include "Processes.h"
#include "WinePath.h"

namespace tb {

namespace {

const DWORD kKillWaitMs = 5000;

struct NoCaseLess {
    bool operator()(const std::wstring &a, const std::wstring &b) const {
        return _wcsicmp(a.c_str(), b.c_str()) < 0;
    }
};

// Wine's loader for 32-bit programs, as a Unix executable.
const wchar_t kWineLoader[] = L"Z:\\usr\\lib\\wine\\wine";
const wchar_t kShell[] = L"Z:\\bin\\sh";
const DWORD kPollMs = 20;

// Full image path of a process, without a "\\?\" prefix; empty when unknown.
std::wstring ImagePathOf(HANDLE hProcess) {
    std::vector<wchar_t> image(32768, L'\0');
    DWORD cch =
        GetModuleFileNameExW(hProcess, nullptr, image.data(), static_cast<DWORD>(image.size()));
    std::wstring path(image.data(), cch);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        path.erase(0, 4);
    return path;
}

bool Contains(const std::vector<DWORD> &pids, DWORD pid) {
    for (DWORD p : pids)
        if (p == pid)
            return true;
    return false;
}

} // namespace

std::wstring BuildEnvironmentBlock(const EnvOverrides &overrides) {
    // Entries whose name starts with '=' (per-drive folders) have no place in a
    // name map; keep them as they are, in front.
    std::wstring hidden;
    std::map<std::wstring, std::wstring, NoCaseLess> vars;
    LPWCH env = GetEnvironmentStringsW();
    for (LPCWSTR p = env; p != nullptr && *p != L'\0'; p += wcslen(p) + 1) {
        std::wstring entry = p;
        size_t eq = entry.find(L'=', 1);
        if (entry[0] == L'=' || eq == std::wstring::npos) {
            hidden.append(entry).push_back(L'\0');
            continue;
        }
        vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    if (env != nullptr)
        FreeEnvironmentStringsW(env);
    for (const auto &o : overrides) {
        if (o.second.empty())
            vars.erase(o.first);
        else
            vars[o.first] = o.second;
    }
    std::wstring block = hidden;
    for (const auto &v : vars)
        block.append(v.first).append(L"=").append(v.second).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

ChildProcess::~ChildProcess() {
    Kill();
    if (hThread_ != nullptr)
        CloseHandle(hThread_);
    if (hProcess_ != nullptr)
        CloseHandle(hProcess_);
}

bool ChildProcess::Resume() {
    if (hThread_ == nullptr)
        return false;
    const bool resumed = ResumeThread(hThread_) != static_cast<DWORD>(-1);
    CloseHandle(hThread_);
    hThread_ = nullptr;
    return resumed;
}

bool ChildProcess::Start(const std::wstring &exePath, const std::wstring &tail,
                         const EnvOverrides &overrides, const std::wstring &cwd, bool suspended) {
    if (hProcess_ != nullptr)
        return false;
    cmdLine_ = L"\"" + exePath + L"\"" + tail;
    std::wstring env = BuildEnvironmentBlock(overrides);
    std::vector<wchar_t> cmd(cmdLine_.begin(), cmdLine_.end());
    cmd.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (suspended ? CREATE_SUSPENDED : 0);
    // A name too long for the ordinary form goes in its extended one.
    const std::wstring app = exePath.size() < MAX_PATH ? exePath : ExtendedPath(exePath);
    if (!CreateProcessW(app.c_str(), cmd.data(), nullptr, nullptr, FALSE, flags, &env[0],
                        cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
        startError_ = GetLastError();
        return false;
    }
    if (suspended)
        hThread_ = pi.hThread;
    else
        CloseHandle(pi.hThread);
    hProcess_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool ChildProcess::StartThroughLoader(const std::wstring &exePath, const std::wstring &tail,
                                      const EnvOverrides &overrides, const std::wstring &cwd,
                                      DWORD findTimeoutMs, const std::wstring &logScript) {
    // Windows has no such loader: the environment block is the child's whole
    // environment there, and the child starts directly.
    if (ThisPlatform() == Platform::Windows)
        return Start(exePath, tail, overrides, cwd);
    if (hProcess_ != nullptr)
        return false;
    std::vector<DWORD> before = IdsOf(OtherProcesses());
    cmdLine_ = L"\"" + exePath + L"\"" + tail;
    std::wstring loaderCmd =
        logScript.empty() ? L"wine " + cmdLine_ : L"sh " + logScript + L" " + cmdLine_;
    std::wstring env = BuildEnvironmentBlock(overrides);
    std::vector<wchar_t> cmd(loaderCmd.begin(), loaderCmd.end());
    cmd.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(logScript.empty() ? kWineLoader : kShell, cmd.data(), nullptr, nullptr,
                        FALSE, CREATE_UNICODE_ENVIRONMENT, &env[0],
                        cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
        startError_ = GetLastError();
        return false;
    }
    // A Unix program started this way has no handles of its own here.
    if (pi.hThread != nullptr)
        CloseHandle(pi.hThread);
    if (pi.hProcess != nullptr)
        CloseHandle(pi.hProcess);
    const bool found = PollUntil(findTimeoutMs, kPollMs, [&] {
        for (DWORD pid : IdsOf(OtherProcesses())) {
            if (Contains(before, pid))
                continue;
            HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
            if (h == nullptr)
                continue;
            bool ours = _wcsicmp(ImagePathOf(h).c_str(), exePath.c_str()) == 0;
            CloseHandle(h);
            if (ours && Adopt(pid))
                return true;
        }
        return false;
    });
    if (found)
        return true;
    startError_ = ERROR_NOT_FOUND;
    return false;
}

bool ChildProcess::Adopt(DWORD pid) {
    hProcess_ =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (hProcess_ == nullptr)
        return false;
    pid_ = pid;
    return true;
}

bool ChildProcess::Running() const {
    return hProcess_ != nullptr && WaitForSingleObject(hProcess_, 0) == WAIT_TIMEOUT;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs, DWORD *exitCode) {
    if (hProcess_ == nullptr || WaitForSingleObject(hProcess_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(hProcess_, &code);
    if (exitCode != nullptr)
        *exitCode = code;
    return true;
}

void ChildProcess::Kill() {
    if (!Running())
        return;
    TerminateProcess(hProcess_, 0xDEAD);
    WaitForSingleObject(hProcess_, kKillWaitMs);
}

size_t KillProcessesUnder(const std::wstring &folder, DWORD timeoutMs) {
    std::wstring prefix = folder;
    if (prefix.empty() || prefix.back() != L'\\')
        prefix += L'\\';
    std::vector<HANDLE> ended;
    for (DWORD pid : IdsOf(OtherProcesses())) {
        HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE |
                                   SYNCHRONIZE,
                               FALSE, pid);
        if (h == nullptr)
            continue;
        std::wstring path = ImagePathOf(h);
        if (path.size() > prefix.size() &&
            _wcsnicmp(path.c_str(), prefix.c_str(), prefix.size()) == 0 &&
            TerminateProcess(h, 0xDEAD)) {
            ended.push_back(h);
            continue;
        }
        CloseHandle(h);
    }
    DWORD start = GetTickCount();
    for (HANDLE h : ended) {
        DWORD spent = GetTickCount() - start;
        WaitForSingleObject(h, spent < timeoutMs ? timeoutMs - spent : 0);
        CloseHandle(h);
    }
    return ended.size();
}

} // namespace tb
