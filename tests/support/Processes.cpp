#include "Processes.h"

#include <tlhelp32.h>

#include <wchar.h>

namespace tb {

namespace {

// Every process in a fresh snapshot for which `keep(entry)` holds.
template <typename Keep> std::vector<ProcessEntry> Snapshot(Keep keep) {
    std::vector<ProcessEntry> found;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
        if (keep(entry))
            found.push_back(ProcessEntry{entry.th32ProcessID, entry.th32ParentProcessID});
    CloseHandle(snap);
    return found;
}

std::vector<DWORD> IdsOf(const std::vector<ProcessEntry> &processes) {
    std::vector<DWORD> pids;
    for (const ProcessEntry &p : processes)
        pids.push_back(p.pid);
    return pids;
}

} // namespace

std::vector<ProcessEntry> OtherProcesses() {
    const DWORD self = GetCurrentProcessId();
    return Snapshot([self](const PROCESSENTRY32W &e) { return e.th32ProcessID != self; });
}

std::vector<DWORD> OtherProcessIds() {
    return IdsOf(OtherProcesses());
}

std::vector<ProcessEntry> ProcessesNamed(const wchar_t *exeName) {
    return Snapshot([exeName](const PROCESSENTRY32W &e) {
        // The entry holds the bare file name; be lenient about a path anyway.
        const wchar_t *name = wcsrchr(e.szExeFile, L'\\');
        name = name != nullptr ? name + 1 : e.szExeFile;
        return _wcsicmp(name, exeName) == 0;
    });
}

std::vector<DWORD> ProcessIdsNamed(const wchar_t *exeName) {
    return IdsOf(ProcessesNamed(exeName));
}

bool AllThreadsSuspended(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    size_t seen = 0, suspended = 0;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry)) {
        HANDLE thread = entry.th32OwnerProcessID == pid
                            ? OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)
                            : nullptr;
        if (thread == nullptr)
            continue;
        // Suspending reports the count before; resuming puts it back.
        ++seen;
        const DWORD before = SuspendThread(thread);
        if (before != static_cast<DWORD>(-1) && ResumeThread(thread) != static_cast<DWORD>(-1))
            suspended += before > 0 ? 1 : 0;
        CloseHandle(thread);
    }
    CloseHandle(snap);
    return seen > 0 && suspended == seen;
}

} // namespace tb
