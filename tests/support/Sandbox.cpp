#include "Sandbox.h"

#include "WinePath.h"

namespace tb {

namespace {

// Folder names in a deep folder chain: short enough for any file system, long
// enough to reach past MAX_PATH in two or three steps.
const size_t kDeepSegment = 150;

bool StartsWithFolder(const std::wstring &path, const std::wstring &folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == L'\\';
}

bool MakeFolder(const std::wstring &path) {
    return CreateDirectoryW(ExtendedPath(path).c_str(), nullptr) ||
           GetLastError() == ERROR_ALREADY_EXISTS;
}

bool RemoveTreeRaw(const std::wstring &folder) {
    WIN32_FIND_DATAW found;
    HANDLE hFind = FindFirstFileW(ExtendedPath(folder + L"\\*").c_str(), &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeRaw(child);
            } else {
                std::wstring extended = ExtendedPath(child);
                SetFileAttributesW(extended.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(extended.c_str());
            }
        } while (FindNextFileW(hFind, &found));
        FindClose(hFind);
    }
    RemoveDirectoryW(ExtendedPath(folder).c_str());
    return !PathExists(folder);
}

bool WriteWholeFile(const std::wstring &path, const void *data, size_t size) {
    HANDLE h = CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = size == 0 || WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(h);
    return ok && written == size;
}

std::wstring FileNameOf(const std::wstring &name) {
    std::wstring out;
    for (wchar_t c : name) {
        bool fit = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                   (c >= L'0' && c <= L'9') || c == L'-' || c == L'_' || c == L'.';
        out += fit ? c : L'_';
    }
    return out.empty() ? std::wstring(L"_") : out;
}

} // namespace

std::wstring SandboxParent() {
    return TestRoot() + L"\\e2e-sandbox";
}

bool PathExists(const std::wstring &path) {
    return GetFileAttributesW(ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveTree(const std::wstring &folder) {
    if (!StartsWithFolder(folder, SandboxParent()))
        return false;
    if (!PathExists(folder))
        return true;
    return RemoveTreeRaw(folder);
}

Sandbox::Sandbox(const std::wstring &name)
    : root_(SandboxParent() + L"\\" + FileNameOf(name)), dir_(root_ + L"\\") {
    RemoveTree(root_);
    ok_ = MakeFolder(SandboxParent()) && MakeFolder(root_);
}

Sandbox::~Sandbox() {
    RemoveTree(root_);
}

bool Sandbox::UseDeepFolder(size_t cchDir) {
    std::wstring dir = root_ + L"\\";
    if (cchDir < dir.size())
        return false;
    size_t remaining = cchDir - dir.size();
    while (remaining > 0) {
        // One step is a name and its separator. Take a whole segment unless
        // that would leave a single character, which cannot make a step.
        size_t step = kDeepSegment + 1;
        if (remaining <= step)
            step = remaining;
        else if (remaining - step < 2)
            step -= 2;
        if (step < 2)
            return false;
        dir += std::wstring(step - 1, L'd') + L"\\";
        remaining -= step;
        if (!MakeFolder(dir.substr(0, dir.size() - 1)))
            return false;
    }
    dir_ = dir;
    return true;
}

bool Sandbox::CopyIn(const std::wstring &from, const std::wstring &name) {
    return CopyFileW(ExtendedPath(from).c_str(), ExtendedPath(dir_ + name).c_str(), FALSE) != 0;
}

bool Sandbox::PlaceExe(const std::wstring &exeName) {
    exeName_ = exeName;
    return CopyIn(AvenorExePath(), exeName);
}

bool Sandbox::PlaceBuiltIni() {
    return CopyIn(AvenorIniPath(), L"Avenor.ini");
}

bool Sandbox::WriteIni(const std::wstring &text) {
    return WriteIniBytes(Utf16(text));
}

std::wstring Sandbox::IniText(const wchar_t *section, const wchar_t *key) const {
    WCHAR text[1024] = {};
    GetPrivateProfileStringW(section, key, L"", text, ARRAYSIZE(text), IniPath().c_str());
    return text;
}

std::string Utf16(const std::wstring &text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

bool Sandbox::WriteBytes(const std::wstring &name, const std::string &bytes) {
    return WriteWholeFile(dir_ + name, bytes.data(), bytes.size());
}

bool Sandbox::RemoveIni() {
    DeleteFileW(ExtendedPath(IniPath()).c_str());
    return !PathExists(IniPath());
}

bool Sandbox::PlaceLumora() {
    return CopyIn(LumoraExePath(), L"Lumora.exe");
}

} // namespace tb
