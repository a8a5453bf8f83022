#include "WinePath.h"

#include "AcpiStandIn.h"

namespace tb {

namespace {

bool FileExists(const std::wstring &path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring &path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FindTestRoot() {
    wchar_t given[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"AVENOR_TEST_ROOT", given, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return given;
    wchar_t module[MAX_PATH];
    n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return L"";
    std::wstring dir(module, n);
    for (size_t cut = dir.find_last_of(L'\\'); cut != std::wstring::npos;
         cut = dir.find_last_of(L'\\')) {
        dir.resize(cut);
        if (FileExists(dir + L"\\Avenor.exe") && FolderExists(dir + L"\\standins"))
            return dir;
    }
    return L"";
}

} // namespace

std::wstring TestRoot() {
    static const std::wstring root = FindTestRoot();
    return root;
}

std::wstring AvenorExePath() {
    return TestRoot() + L"\\Avenor.exe";
}

std::wstring AvenorIniPath() {
    return TestRoot() + L"\\Avenor.ini";
}

std::wstring LumoraExePath() {
    return TestRoot() + L"\\standins\\Lumora.exe";
}

std::wstring LampProbePath() {
    return TestRoot() + L"\\tests\\tools\\avenor_lampprobe.exe";
}

std::wstring UnixPathOf(const std::wstring &zPath) {
    std::wstring path = zPath.size() >= 2 && zPath[1] == L':' ? zPath.substr(2) : zPath;
    for (wchar_t &c : path)
        if (c == L'\\')
            c = L'/';
    return path;
}

std::wstring ExtendedPath(const std::wstring &path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    return L"\\\\?\\" + path;
}

std::string ToAnsi(const std::wstring &text) {
    if (text.empty())
        return std::string();
    int cb = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
    if (cb <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0], cb,
                        nullptr, nullptr);
    return narrow;
}

std::wstring DefaultStandInSysPath() {
    return TestRoot() +
           (RunsUnderWow64() ? L"\\standins\\TvkAcpi64.sys" : L"\\standins\\TvkAcpi32.sys");
}

} // namespace tb
