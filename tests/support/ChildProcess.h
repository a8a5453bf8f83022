// A program started by a test as a separate process, ended at the latest when
// the object goes.
#ifndef TB_CHILD_PROCESS_H
#define TB_CHILD_PROCESS_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace tb {

// Environment changes for a child: each name is set to its value in a copy of
// this process's environment (names compared without regard to case); an
// empty value removes the variable.
using EnvOverrides = std::vector<std::pair<std::wstring, std::wstring>>;

// This process's environment with `overrides` applied, as a block of
// "name=value\0" entries ending in an extra "\0".
std::wstring BuildEnvironmentBlock(const EnvOverrides &overrides);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // Kill()
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts `exePath` with the command line `"exePath"` followed directly by
    // `tail` (the caller writes any blanks after the name). The current folder
    // is `cwd`, or this process's own when empty. A `suspended` process runs
    // only once Resume() is called.
    bool Start(const std::wstring &exePath, const std::wstring &tail,
               const EnvOverrides &overrides = {}, const std::wstring &cwd = L"",
               bool suspended = false);
    // Lets a process started suspended run; false when there is none.
    bool Resume();

    // Under Wine, starts `exePath` through Wine's loader as a new Unix process whose whole
    // environment, Unix side included, is this process's with `overrides`
    // applied. A program started the ordinary way takes its Unix environment
    // from its parent's, not from the environment block (only WINEDEBUG is
    // carried over), so what Wine reads on the Unix side at start-up, such as
    // LC_ALL for the user's UI language, reaches a child only this way. The
    // loader rebuilds the command line from `tail` split into arguments, so
    // the blanks between them are not kept. The new process is found by its
    // image path within `findTimeoutMs`; it must still run by then.
    // With `logScript` (a Unix path), the loader is started by that script,
    // which sends the loader's diagnostic output to $TB_WINE_LOG.
    // On Windows, Start() with the same arguments.
    bool StartThroughLoader(const std::wstring &exePath, const std::wstring &tail,
                            const EnvOverrides &overrides, const std::wstring &cwd,
                            DWORD findTimeoutMs, const std::wstring &logScript = L"");

    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return hProcess_; }
    DWORD StartError() const { return startError_; }
    const std::wstring &CommandLine() const { return cmdLine_; }

    bool Running() const;
    // Waits at most `timeoutMs` for the process to end; true when it has, with
    // its exit code in *exitCode.
    bool WaitForExit(DWORD timeoutMs, DWORD *exitCode = nullptr);
    // Ends the process if it still runs and waits (bounded) until it has gone.
    void Kill();

private:
    bool Adopt(DWORD pid);
    HANDLE hProcess_ = nullptr;
    HANDLE hThread_ = nullptr; // the main thread, while suspended
    DWORD pid_ = 0;
    DWORD startError_ = 0;
    std::wstring cmdLine_;
};

// Ends every process whose executable lies in `folder` or below it (the
// programs a test started there, and what they started in turn) and waits,
// bounded, until they are gone. Returns how many were found.
size_t KillProcessesUnder(const std::wstring &folder, DWORD timeoutMs);

} // namespace tb

#endif
