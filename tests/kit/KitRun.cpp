// The test kit's runner, started by run.cmd in the kit's folder: checks what
// the run needs and names whatever is missing, refuses a machine that holds
// the real product unless told /force, takes back what an earlier run left,
// runs every test program of the kit in a job with a time limit (JUnit XML and
// the program's output under results\), and prints one summary: passed,
// failed, and not run on this platform with the reason. Exits 0 only when
// nothing failed. It leaves the machine as it found it.
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "AcpiStandIn.h"
#include "Machine.h"

using namespace tb;

namespace {

struct Program {
    const wchar_t *path; // below the kit's folder
    DWORD limitSeconds;
};
const Program kPrograms[] = {
    {L"tests\\avenor_unit.exe", 300},
    {L"tests\\e2e\\avenor_standin_test.exe", 300},
    {L"tests\\seam\\avenor_seam_test.exe", 300},
    {L"tests\\e2e\\avenor_e2e.exe", 1800},
    {L"tests\\stress\\avenor_stress.exe", 900},
    {L"tests\\package\\installer\\avenor_installer_table.exe", 900},
};
const wchar_t kMarker[] = L"avenor-kit-running";  // in %TEMP% while a run goes on
const wchar_t kCertificate[] = L"AvenorTest.cer"; // signs the driver stand-in
const wchar_t *const kStores[] = {L"Root", L"TrustedPublisher"};
const wchar_t kScratch[] = L"\\AvenorInstallerTable"; // the installer table's, on the system drive

std::wstring g_kit; // with its trailing separator

bool IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    BOOL member = FALSE;
    if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                 0, 0, 0, 0, &admins)) {
        CheckTokenMembership(nullptr, admins, &member);
        FreeSid(admins);
    }
    return member != FALSE;
}

// The boot options the system started with (not the stored ones) hold
// TESTSIGNING.
bool TestSigningInEffect() {
    wchar_t options[1024] = L"";
    DWORD size = sizeof options - sizeof(wchar_t);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control", 0,
                      KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegQueryValueExW(key, L"SystemStartOptions", nullptr, nullptr,
                     reinterpret_cast<BYTE *>(options), &size);
    RegCloseKey(key);
    _wcsupr(options);
    return wcsstr(options, L"TESTSIGNING") != nullptr;
}

// Adds the kit's certificate to the machine's stores (add) or takes it out.
bool TrustCertificate(bool add) {
    std::string der;
    if (!ReadFileBytes(g_kit + kCertificate, &der))
        return false;
    bool ok = true;
    for (const wchar_t *name : kStores) {
        HCERTSTORE store =
            CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, name);
        PCCERT_CONTEXT cert =
            store ? CertCreateCertificateContext(X509_ASN_ENCODING,
                                                 reinterpret_cast<const BYTE *>(der.data()),
                                                 static_cast<DWORD>(der.size()))
                  : nullptr;
        if (cert && add) {
            ok = CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING,
                                                  nullptr) &&
                 ok;
        } else if (cert) {
            PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                              CERT_FIND_EXISTING, cert, nullptr);
            if (found)
                CertDeleteCertificateFromStore(found); // frees it
        } else {
            ok = false;
        }
        if (cert)
            CertFreeCertificateContext(cert);
        if (store)
            CertCloseStore(store, 0);
    }
    return ok;
}

// The test bed's own stand-in object stops and deletes the service as it goes.
void RemoveStandInService() {
    AcpiStandIn leftover(L"");
}

std::wstring MarkerPath() {
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + kMarker;
}

// What tells a machine with the real product: the lamp driver's device, an
// installed launcher, or the default install folder.
std::wstring RealThing() {
    HANDLE device = CreateFileW(L"\\\\.\\TVKACPI", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
        return L"the lamp driver's device \\\\.\\TVKACPI exists";
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tavrik\\Avenor", 0,
                      KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return L"Avenor is installed";
    }
    wchar_t files[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"ProgramFiles", files, MAX_PATH); // the 32-bit folder, in this process
    const std::wstring folder = std::wstring(files) + L"\\Tavrik\\Lumora";
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
        return folder + L" exists";
    return L"";
}

struct Results {
    std::vector<std::string> passed, failed, notRun;
};

std::string Attribute(const std::string &element, const char *name) {
    const std::string key = std::string(" ") + name + "=\"";
    const size_t at = element.find(key);
    if (at == std::string::npos)
        return "";
    const size_t from = at + key.size();
    return element.substr(from, element.find('"', from) - from);
}

// An attribute's text with the XML escapes the reports use undone.
std::string Unescaped(std::string text) {
    static const char *const kEscapes[][2] = {{"&apos;", "'"}, {"&quot;", "\""}, {"&lt;", "<"},
                                              {"&gt;", ">"},   {"&#x0A;", " "},  {"&amp;", "&"}};
    for (const auto &e : kEscapes)
        for (size_t at = text.find(e[0]); at != std::string::npos; at = text.find(e[0], at + 1))
            text.replace(at, strlen(e[0]), e[1]);
    return text;
}

// Reads one program's JUnit XML; a skip counts as not run only when the
// program announced the case as such in its output.
void ReadResults(const std::string &xml, const std::string &output, const char *platform,
                 Results *r) {
    for (size_t at = xml.find("<testcase "); at != std::string::npos;
         at = xml.find("<testcase ", at + 1)) {
        const size_t open = xml.find('>', at);
        const bool closed = open != std::string::npos && xml[open - 1] == '/';
        const size_t end = closed ? open : xml.find("</testcase>", at);
        const std::string element =
            xml.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const std::string name = Attribute(element, "classname") + "." + Attribute(element, "name");
        const std::string announced = std::string("[ NOT RUN  ] on ") + platform + ": " + name;
        if (element.find("<failure") != std::string::npos)
            r->failed.push_back(name);
        else if (Attribute(element, "result") != "skipped")
            r->passed.push_back(name);
        else if (output.find(announced) == std::string::npos)
            r->failed.push_back(name + " (skipped unannounced)");
        else {
            std::string why =
                Unescaped(Attribute(element.substr(element.find("<skipped")), "message"));
            why = why.substr(why.find("not run on") == std::string::npos ? 0
                                                                         : why.find("not run on"));
            r->notRun.push_back(name + ": " + why);
        }
    }
}

// Runs one program in a job that ends it, and all it started in the job, at
// its time limit. Its output goes to results\<name>.log.
void RunProgram(const Program &p, const char *platform, Results *r) {
    std::wstring name = p.path;
    name = name.substr(name.find_last_of(L'\\') + 1);
    name.resize(name.size() - 4);
    const std::wstring xml = g_kit + L"results\\" + name + L".xml",
                       log = g_kit + L"results\\" + name + L".log";
    std::wstring cmd =
        L"\"" + g_kit + p.path + L"\" --gtest_color=no --gtest_output=xml:\"" + xml + L"\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             0, nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi = {};
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit = {};
    limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limit, sizeof limit);
    printf("running %ls ...\n", p.path);
    DWORD code = 0xDEAD0001;
    if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                       g_kit.c_str(), &si, &pi)) {
        AssignProcessToJobObject(job, pi.hProcess);
        ResumeThread(pi.hThread);
        if (WaitForSingleObject(pi.hProcess, p.limitSeconds * 1000) == WAIT_TIMEOUT) {
            TerminateJobObject(job, 0xDEAD0002);
            WaitForSingleObject(pi.hProcess, 10000);
        }
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(job);
    CloseHandle(out);
    std::string results, output;
    ReadFileBytes(log, &output);
    const size_t before = r->failed.size();
    if (!ReadFileBytes(xml, &results))
        r->failed.push_back(std::string("all of ") + std::string(name.begin(), name.end()) +
                            (code == 0xDEAD0002 ? " (ended at its time limit)" : " (no results)"));
    ReadResults(results, output, platform, r);
    if (code != 0 && r->failed.size() == before)
        r->failed.push_back(std::string(name.begin(), name.end()) + " exited with " +
                            std::to_string(code));
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    bool force = false, driver = true;
    for (int i = 1; i < argc; ++i) {
        force = force || !_wcsicmp(argv[i], L"/force");
        driver = driver && _wcsicmp(argv[i], L"/nodriver") != 0;
    }
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 2;
    g_kit.assign(self, n);
    g_kit.resize(g_kit.find_last_of(L'\\') + 1);
    const char *platform = PlatformName(ThisPlatform());
    printf("Avenor test kit on %s%s%s\n", platform, RunsUnderWow64() ? " (64-bit)" : "",
           driver ? "" : ", without the driver");

    std::vector<std::wstring> missing;
    if (!IsAdministrator())
        missing.push_back(L"administrator rights: run it from an elevated prompt");
    if (driver && ThisPlatform() == Platform::Windows && RunsUnderWow64() && !TestSigningInEffect())
        missing.push_back(L"test signing: bcdedit /set testsigning on, then restart");
    // What an earlier run left (it may have been ended with Ctrl+C) goes first.
    const bool earlier = GetFileAttributesW(MarkerPath().c_str()) != INVALID_FILE_ATTRIBUTES;
    RemoveStandInService();
    TrustCertificate(false);
    DeleteFolderTree(g_kit + L"results");
    DeleteFolderTree(g_kit + L"e2e-sandbox");
    DeleteFolderTree(SystemDrive() + kScratch);
    const std::wstring real = earlier ? L"" : RealThing();
    if (!real.empty() && !force)
        missing.push_back(L"a machine without the real product (" + real + L"), or run.cmd /force");
    if (!missing.empty()) {
        for (const std::wstring &m : missing)
            printf("MISSING: %ls\n", m.c_str());
        return 2;
    }
    CloseHandle(
        CreateFileW(MarkerPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    // Without the driver, the programs report every case that needs it as not run.
    if (!driver)
        SetEnvironmentVariableW(L"AVENOR_NO_DRIVER", L"1");
    else if (!TrustCertificate(true))
        printf("warning: the kit's certificate could not be trusted; the driver stand-in may not "
               "load\n");
    CreateDirectoryW((g_kit + L"results").c_str(), nullptr);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX); // no crash dialogs, inherited
    SetEnvironmentVariableW(L"AVENOR_TEST_ROOT", g_kit.substr(0, g_kit.size() - 1).c_str());

    Results r;
    for (const Program &p : kPrograms)
        RunProgram(p, platform, &r);

    RemoveStandInService();
    TrustCertificate(false);
    DeleteFolderTree(g_kit + L"e2e-sandbox");
    DeleteFolderTree(SystemDrive() + kScratch);
    DeleteFileW(MarkerPath().c_str());

    printf("\nSUMMARY on %s: %u passed, %u failed, %u not run here\n", platform,
           static_cast<unsigned>(r.passed.size()), static_cast<unsigned>(r.failed.size()),
           static_cast<unsigned>(r.notRun.size()));
    for (const std::string &f : r.failed)
        printf("FAILED   %s\n", f.c_str());
    for (const std::string &s : r.notRun)
        printf("NOT RUN  %s\n", s.c_str());
    // A row that could not take back its own rename says so here.
    for (const auto &p : PendingRenames())
        if (p.first.find(kScratch) != std::wstring::npos ||
            p.first.find(g_kit) != std::wstring::npos)
            printf("PENDING  %ls -> %ls: a rename left for the next restart\n", p.first.c_str(),
                   p.second.c_str());
    printf("JUnit XML and each program's output: %lsresults\\\n", g_kit.c_str());
    return r.failed.empty() ? 0 : 1;
}
