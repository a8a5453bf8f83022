// The processes running on this machine, as a snapshot of the process list.
#ifndef TB_PROCESSES_H
#define TB_PROCESSES_H

#include <windows.h>

#include <vector>

namespace tb {

struct ProcessEntry {
    DWORD pid;
    DWORD parent; // the process that started it
};

// Every running process except this one.
std::vector<ProcessEntry> OtherProcesses();
// The running processes whose executable is named `exeName` (any case).
std::vector<ProcessEntry> ProcessesNamed(const wchar_t *exeName);
// Their ids.
std::vector<DWORD> IdsOf(const std::vector<ProcessEntry> &processes);
// The process that made `window`; 0 for none.
DWORD OwnerOf(HWND window);
// Whether every thread of process `pid` is suspended now (a process created
// suspended and not yet resumed); false when it has no thread to see.
bool AllThreadsSuspended(DWORD pid);
// Whether a thread of `process` now waits for a critical section that another
// of its threads holds: on Windows as the system's wait chain of each thread
// tells; under Wine, whose wait chains tell nothing, as read from the
// process's memory, for a critical section in its program image.
bool WaitsOnALockOfItsOwn(HANDLE process);

} // namespace tb

#endif
