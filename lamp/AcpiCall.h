#pragma once

#include <windows.h>

// Evaluates one ACPI method with one integer argument through the maker's
// ACPI driver. *pcbReply holds the reply capacity on entry and, on success
// only, the number of bytes the driver wrote. Opens and closes its own device
// handle, so the main thread and the worker may call it at once. FALSE after
// an error trace.
BOOL One_Method_Raw(DWORD dwMethodName, DWORD dwArgument, BYTE *pbReply, DWORD *pcbReply);

// The two platform calls the request depends on, kept in a file of their own
// (lamp/AcpiPlatform.cpp) so that a test can stand in for both and see the
// request a native system's driver would get.

// True when this 32-bit process runs under WOW64 on 64-bit Windows.
bool IsWow64();

// Sends one evaluation request to the driver; DeviceIoControl's result.
BOOL SendAcpiRequest(HANDLE hDevice, BYTE *pbRequest, DWORD cbRequest, BYTE *pbReply, DWORD cbReply,
                     DWORD *pcbWritten);
