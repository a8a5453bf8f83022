// A throw-away folder per test under <build>\e2e-sandbox\<name>, holding a copy
// of the launcher and whatever strings file the test asks for.
#ifndef TB_SANDBOX_H
#define TB_SANDBOX_H

#include <windows.h>

#include <string>

namespace tb {

class Sandbox {
public:
    // Creates the folder, removing a stale one of the same name first. `name`
    // may hold any characters; those unfit for a file name become '_'.
    explicit Sandbox(const std::wstring &name);
    // Removes the whole tree.
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    // The folder was created.
    bool Ok() const { return ok_; }
    // The sandbox's own folder, without a trailing separator.
    const std::wstring &Root() const { return root_; }
    // The folder holding the launcher, with its trailing separator: the root
    // unless UseDeepFolder moved it.
    const std::wstring &Dir() const { return dir_; }

    // Moves the launcher's folder into nested folders below the root so that
    // Dir() (trailing separator included) is exactly `cchDir` characters long.
    // Call before placing files. False when the root is already longer.
    bool UseDeepFolder(size_t cchDir);

    // Copies the built launcher into Dir() under `exeName`.
    bool PlaceExe(const std::wstring &exeName = L"Avenor.exe");
    // Copies the built strings file (the one installed beside the launcher).
    bool PlaceBuiltIni();
    // Writes Dir()\Avenor.ini as UTF-16LE with a byte-order mark.
    bool WriteIni(const std::wstring &text);
    // Writes Dir()\Avenor.ini with exactly these bytes.
    bool WriteIniBytes(const std::string &bytes) { return WriteBytes(L"Avenor.ini", bytes); }
    // Writes Dir()\<name> with exactly these bytes.
    bool WriteBytes(const std::wstring &name, const std::string &bytes);
    bool RemoveIni();
    // Copies the assistant application's stand-in as Dir()\Lumora.exe.
    bool PlaceLumora();

    std::wstring ExePath() const { return dir_ + exeName_; }
    std::wstring IniPath() const { return dir_ + L"Avenor.ini"; }
    // The text the strings file holds for `key` in `section` (empty when none),
    // as the system reads it.
    std::wstring IniText(const wchar_t *section, const wchar_t *key) const;
    std::wstring EnglishText(const wchar_t *key) const { return IniText(L"English", key); }

private:
    bool CopyIn(const std::wstring &from, const std::wstring &name);
    bool ok_ = false;
    std::wstring root_;
    std::wstring dir_;
    std::wstring exeName_ = L"Avenor.exe";
};

// `text` as the bytes of a UTF-16LE file with a byte-order mark.
std::string Utf16(const std::wstring &text);

// The parent of every sandbox: <build>\e2e-sandbox.
std::wstring SandboxParent();

// Removes a folder tree; refuses anything outside SandboxParent(). True when
// nothing is left.
bool RemoveTree(const std::wstring &folder);

// Whether `path` names an existing file or folder (paths of any length).
bool PathExists(const std::wstring &path);

} // namespace tb

#endif
