// Where the build tree's artefacts are, as the Windows programs under test see
// them, and the text form in which trace lines arrive.
#ifndef TB_WINE_PATH_H
#define TB_WINE_PATH_H

#include <windows.h>

#include <string>

namespace tb {

// A Linux path as Wine sees it: "Z:" + path with '/' turned into '\'.
std::wstring WindowsPathOf(const std::string &linuxPath);

// The build tree and the source tree as Windows paths (Wine's Z: drive, see
// WindowsPathOf), without a trailing separator.
std::wstring BuildDir();
std::wstring SourceDir();

// Artefacts of the build: the launcher, its strings file beside it, the
// assistant application's stand-in, and the probe that runs the launcher's
// lamp switch.
std::wstring AvenorExePath();
std::wstring AvenorIniPath();
std::wstring LumoraExePath();
std::wstring LampProbePath();

// The .sys matching this prefix (64-bit prefix: TvkAcpi64.sys, 32-bit prefix:
// TvkAcpi32.sys) in the build tree (or beside or above the running
// program), as a Windows path.
std::wstring DefaultStandInSysPath();

// The Unix path of a path on Wine's Z: drive.
std::wstring UnixPathOf(const std::wstring &zPath);

// The "\\?\" form of a full path, for file operations on paths of any length.
std::wstring ExtendedPath(const std::wstring &path);

// Wide text in the ANSI code page (the form in which trace lines arrive).
std::string ToAnsi(const std::wstring &text);

} // namespace tb

#endif
