#include "lamp/AcpiCall.h"

#include "lamp/AcpiRequest.h"

typedef BOOL(WINAPI *PFN_IsWow64Process)(HANDLE, PBOOL);

bool IsWow64() {
    // Looked up at run time: older systems have no such function.
    BOOL bWow64 = FALSE;
    PFN_IsWow64Process pfn = reinterpret_cast<PFN_IsWow64Process>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    if (pfn != NULL)
        pfn(GetCurrentProcess(), &bWow64);
    return bWow64 != FALSE;
}

BOOL SendAcpiRequest(HANDLE hDevice, BYTE *pbRequest, DWORD cbRequest, BYTE *pbReply, DWORD cbReply,
                     DWORD *pcbWritten) {
    return DeviceIoControl(hDevice, ACPI_IOCTL_EVAL_METHOD, pbRequest, cbRequest, pbReply, cbReply,
                           pcbWritten, NULL);
}
