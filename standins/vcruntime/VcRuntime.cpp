// Stand-in for the parts of the Visual C++ static runtime (libcmt) that the
// launcher, compiled by clang-cl in MSVC mode, references: the entry, the
// static constructors and destructors, the stack cookie and operator delete.
// Only scripts/msvc-check.sh links it, to run that build under Wine; the
// shipped Visual Studio build links the real runtime.
#define atexit avenor_header_atexit // declared dllimport by the CRT headers
#include <windows.h>
#undef atexit

extern "C" {

typedef void(__cdecl *PVFV)(void);

// The compiler puts the static constructors between these two (".CRT$XCU").
#pragma section(".CRT$XCA", read)
#pragma section(".CRT$XCZ", read)
__declspec(allocate(".CRT$XCA")) PVFV g_pfnFirstCtor = nullptr;
__declspec(allocate(".CRT$XCZ")) PVFV g_pfnLastCtor = nullptr;
#pragma comment(linker, "/merge:.CRT=.rdata")

UINT_PTR __security_cookie = 0xBB40E64E;

void __fastcall __security_check_cookie(UINT_PTR uCookie) {
    if (uCookie != __security_cookie)
        ExitProcess(STATUS_STACK_BUFFER_OVERRUN);
}

static PVFV s_apfnAtExit[32];
static int s_cAtExit;

int __cdecl atexit(PVFV pfn) {
    if (s_cAtExit == ARRAYSIZE(s_apfnAtExit))
        return -1;
    s_apfnAtExit[s_cAtExit++] = pfn;
    return 0;
}

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR pszCmdLine, int nCmdShow);

// The command line after the program's name, as the runtime hands it to wWinMain.
void __cdecl wWinMainCRTStartup(void) {
    for (PVFV *ppfn = &g_pfnFirstCtor + 1; ppfn < &g_pfnLastCtor; ++ppfn)
        if (*ppfn != nullptr)
            (*ppfn)();
    LPWSTR psz = GetCommandLineW();
    BOOL bQuoted = FALSE;
    while (*psz != L'\0' && (bQuoted || (*psz != L' ' && *psz != L'\t'))) {
        if (*psz == L'"')
            bQuoted = !bQuoted;
        ++psz;
    }
    while (*psz == L' ' || *psz == L'\t')
        ++psz;
    const int nResult = wWinMain(GetModuleHandleW(nullptr), nullptr, psz, SW_SHOWDEFAULT);
    while (s_cAtExit > 0)
        s_apfnAtExit[--s_cAtExit]();
    ExitProcess(static_cast<UINT>(nResult));
}

} // extern "C"

void __cdecl operator delete(void *p) noexcept {
    HeapFree(GetProcessHeap(), 0, p);
}
void __cdecl operator delete(void *p, size_t) noexcept {
    HeapFree(GetProcessHeap(), 0, p);
}
