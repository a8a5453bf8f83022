// Where the files under test are, as the Windows programs under test see
// them, and the text form in which trace lines arrive.
#ifndef TB_WINE_PATH_H
#define TB_WINE_PATH_H

#include <windows.h>

#include <string>

namespace tb {

// The folder of the files under test, without a trailing separator: the build
// tree, or a copy laid out like it (the launcher and its strings file, the
// stand-ins in standins\, the test programs in tests\). AVENOR_TEST_ROOT when
// set, else the nearest folder above the running program that holds
// Avenor.exe and standins\. No path of the build is compiled in.
std::wstring TestRoot();

// The files under test: the launcher, its strings file beside it, the
// assistant application's stand-in, and the probe that runs the launcher's
// lamp switch.
std::wstring AvenorExePath();
std::wstring AvenorIniPath();
std::wstring LumoraExePath();
std::wstring LampProbePath();

// The driver stand-in's .sys matching this prefix (64-bit prefix:
// TvkAcpi64.sys, 32-bit prefix: TvkAcpi32.sys) in TestRoot()\standins.
std::wstring DefaultStandInSysPath();

// The Unix path of a path on Wine's Z: drive.
std::wstring UnixPathOf(const std::wstring &zPath);

// The "\\?\" form of a full path, for file operations on paths of any length.
std::wstring ExtendedPath(const std::wstring &path);

// Wide text in the ANSI code page (the form in which trace lines arrive).
std::string ToAnsi(const std::wstring &text);

} // namespace tb

#endif
