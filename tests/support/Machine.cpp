#include "Machine.h"

#include <shellapi.h>

namespace tb {

Platform ThisPlatform() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") ? Platform::Wine : Platform::Windows;
}

const char *PlatformName(Platform platform) {
    return platform == Platform::Wine ? "wine" : "windows";
}

bool RunsUnderWow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool ReadFileBytes(const std::wstring &path, std::string *bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes->append(chunk, got);
    CloseHandle(h);
    return true;
}

void DeleteFolderTree(const std::wstring &folder) {
    const std::wstring from = folder + L'\0'; // a list of one
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

std::wstring SystemDrive() {
    wchar_t drive[MAX_PATH] = L"C:";
    GetEnvironmentVariableW(L"SystemDrive", drive, MAX_PATH);
    return drive;
}

namespace {
const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPending[] = L"PendingFileRenameOperations";
} // namespace

std::vector<std::pair<std::wstring, std::wstring>> PendingRenames() {
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return pairs;
    DWORD size = 0;
    if (RegQueryValueExW(key, kPending, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size) {
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
        RegQueryValueExW(key, kPending, nullptr, nullptr, reinterpret_cast<BYTE *>(text.data()),
                         &size);
        std::vector<std::wstring> items;
        for (size_t at = 0; at + 1 < text.size() && (items.size() % 2 || text[at]);) {
            items.emplace_back(&text[at]);
            at += items.back().size() + 1;
        }
        for (size_t i = 0; i + 1 < items.size(); i += 2)
            pairs.emplace_back(items[i], items[i + 1]);
    }
    RegCloseKey(key);
    return pairs;
}

void DropPendingRenamesUnder(const std::wstring &folder) {
    std::wstring kept;
    for (const auto &p : PendingRenames())
        if (p.first.find(folder) == std::wstring::npos &&
            p.second.find(folder) == std::wstring::npos)
            kept += p.first + L'\0' + p.second + L'\0';
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (kept.empty())
        RegDeleteValueW(key, kPending);
    else
        RegSetValueExW(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(kept.c_str()),
                       static_cast<DWORD>((kept.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

} // namespace tb
