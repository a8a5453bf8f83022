// Facts and files of the machine a test program runs on, with no test
// framework: the test bed and the test kit's runner both use them.
#ifndef TB_MACHINE_H
#define TB_MACHINE_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace tb {

enum class Platform { Windows, Wine };

// Wine when its ntdll exports wine_get_version.
Platform ThisPlatform();
const char *PlatformName(Platform platform); // "windows", "wine"

// Whether this 32-bit process runs under WOW64, i.e. on 64-bit Windows (or in
// a 64-bit prefix).
bool RunsUnderWow64();

// The whole file; false when it cannot be opened.
bool ReadFileBytes(const std::wstring &path, std::string *bytes);

// Removes `folder` (no trailing separator) with everything in it.
void DeleteFolderTree(const std::wstring &folder);

// The system drive, e.g. "C:".
std::wstring SystemDrive();

// The renames pending for the next restart, as (from, to) pairs; an empty
// `to` is a deletion.
std::vector<std::pair<std::wstring, std::wstring>> PendingRenames();
// Drops the pending renames from or to a path that holds `folder`; the others
// stay.
void DropPendingRenamesUnder(const std::wstring &folder);

} // namespace tb

#endif
