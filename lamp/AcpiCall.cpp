#include "lamp/AcpiCall.h"

#include "common/Globals.h"
#include "diag/Trace.h"
#include "lamp/AcpiRequest.h"

// The native request carries the argument record's address in a 32-bit field:
// the program must never be built for a 64-bit target.
static_assert(sizeof(void *) == 4, "the launcher is a 32-bit program only");

BOOL One_Method_Raw(DWORD dwMethodName, DWORD dwArgument, BYTE *pbReply, DWORD *pcbReply) {
    HANDLE hDevice = CreateFileW(ACPI_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (hDevice == INVALID_HANDLE_VALUE) {
        TraceError(L"ACPI drive doesn't exist!", L"One_Method_Raw");
        return FALSE;
    }

    BYTE abRecord[kcbAcpiArgRecord];
    BuildAcpiArgRecord(abRecord, dwArgument);
    const bool bWow64 = IsWow64();
    if (bWow64)
        TraceNotify(L"IsWow64()!!", L"One_Method_Raw");
    BYTE abRequest[kcbAcpiRequestMax];
    const size_t cbRequest =
        BuildAcpiRequest(abRequest, dwMethodName, abRecord,
                         static_cast<DWORD>(reinterpret_cast<UINT_PTR>(abRecord)), bWow64);

    DWORD cbWritten = 0;
    // On a native system the driver reads the record through its address while
    // the request is served: abRecord must live until the call returns.
    BOOL bOk = SendAcpiRequest(hDevice, abRequest, static_cast<DWORD>(cbRequest), pbReply,
                               *pcbReply, &cbWritten);
    // Keep the request's error across the close for the error line.
    DWORD dwError = GetLastError();
    CloseHandle(hDevice);
    if (!bOk) {
        SetLastError(dwError);
        TraceError(L"ACPI DeviceIoControl IoctlResult == NULL!", L"One_Method_Raw");
        return FALSE;
    }
    *pcbReply = cbWritten;
    return TRUE;
}
