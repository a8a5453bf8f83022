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
// Ids of every running process except this one.
std::vector<DWORD> OtherProcessIds();
// The running processes whose executable is named `exeName` (any case).
std::vector<ProcessEntry> ProcessesNamed(const wchar_t *exeName);
// Their ids.
std::vector<DWORD> ProcessIdsNamed(const wchar_t *exeName);
// Whether every thread of process `pid` is suspended now (a process created
// suspended and not yet resumed); false when it has no thread to see.
bool AllThreadsSuspended(DWORD pid);
// Whether a thread of `process` waits now for a critical section of its
// program image that another of its threads holds, read from the section in
// the process's memory.
bool WaitsOnALockOfItsImage(HANDLE process);

} // namespace tb

#endif
