// The system's wait chains came with Vista.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600

#include "Processes.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <wct.h>

#include "Machine.h"

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

} // namespace

std::vector<DWORD> IdsOf(const std::vector<ProcessEntry> &processes) {
    std::vector<DWORD> pids;
    for (const ProcessEntry &p : processes)
        pids.push_back(p.pid);
    return pids;
}

std::vector<ProcessEntry> OtherProcesses() {
    const DWORD self = GetCurrentProcessId();
    return Snapshot([self](const PROCESSENTRY32W &e) { return e.th32ProcessID != self; });
}

std::vector<ProcessEntry> ProcessesNamed(const wchar_t *exeName) {
    return Snapshot([exeName](const PROCESSENTRY32W &e) {
        // The entry holds the bare file name; be lenient about a path anyway.
        const wchar_t *name = wcsrchr(e.szExeFile, L'\\');
        name = name != nullptr ? name + 1 : e.szExeFile;
        return _wcsicmp(name, exeName) == 0;
    });
}

DWORD OwnerOf(HWND window) {
    DWORD pid = 0;
    if (window != nullptr)
        GetWindowThreadProcessId(window, &pid);
    return pid;
}

namespace {

// The ids of the threads of process `pid`.
std::vector<DWORD> ThreadsOf(DWORD pid) {
    std::vector<DWORD> threads;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == pid)
            threads.push_back(entry.th32ThreadID);
    CloseHandle(snap);
    return threads;
}

// Windows: a thread of the process whose wait chain runs through a critical
// section to another thread of the same process.
bool WaitsOnALockInItsChain(DWORD pid) {
    HWCT session = OpenThreadWaitChainSession(0, nullptr);
    if (session == nullptr)
        return false;
    bool waits = false;
    for (DWORD tid : ThreadsOf(pid)) {
        WAITCHAIN_NODE_INFO nodes[16] = {}; // the system gives at most 16
        DWORD count = 16;
        BOOL cycle = FALSE;
        // thread, critical section, owning thread
        if (GetThreadWaitChain(session, 0, 0, tid, &count, nodes, &cycle) && count >= 3 &&
            nodes[1].ObjectType == WctCriticalSectionType && nodes[2].ObjectType == WctThreadType &&
            nodes[2].ThreadObject.ProcessId == pid && nodes[2].ThreadObject.ThreadId != tid) {
            waits = true;
            break;
        }
    }
    CloseThreadWaitChainSession(session);
    return waits;
}

} // namespace

bool AllThreadsSuspended(DWORD pid) {
    size_t seen = 0, suspended = 0;
    for (DWORD tid : ThreadsOf(pid)) {
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, tid);
        if (thread == nullptr)
            continue;
        // Suspending reports the count before; resuming puts it back.
        ++seen;
        const DWORD before = SuspendThread(thread);
        if (before != static_cast<DWORD>(-1) && ResumeThread(thread) != static_cast<DWORD>(-1))
            suspended += before > 0 ? 1 : 0;
        CloseHandle(thread);
    }
    return seen > 0 && suspended == seen;
}

bool WaitsOnALockOfItsOwn(HANDLE process) {
    if (ThisPlatform() == Platform::Windows)
        return WaitsOnALockInItsChain(GetProcessId(process));
    HMODULE image = nullptr;
    DWORD needed = 0;
    MODULEINFO info = {};
    if (!EnumProcessModules(process, &image, sizeof(image), &needed) ||
        !GetModuleInformation(process, image, &info, sizeof(info)))
        return false;
    std::vector<DWORD> words(info.SizeOfImage / sizeof(DWORD));
    if (!ReadProcessMemory(process, info.lpBaseOfDll, words.data(), words.size() * sizeof(DWORD),
                           nullptr))
        return false;
    // A critical section: debug record, lock count (-1 free, 0 held, more with
    // waiters), recursion count, owner, ...; its debug record points back at it.
    for (size_t i = 0; i + 4 <= words.size(); ++i) {
        DWORD debug[2] = {};
        if (words[i] != 0 && static_cast<LONG>(words[i + 1]) > 0 && words[i + 3] != 0 &&
            ReadProcessMemory(process, reinterpret_cast<void *>(static_cast<UINT_PTR>(words[i])),
                              debug, sizeof(debug), nullptr) &&
            debug[1] == reinterpret_cast<UINT_PTR>(info.lpBaseOfDll) + i * sizeof(DWORD))
            return true;
    }
    return false;
}

} // namespace tb
