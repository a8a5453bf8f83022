#include "app/Preflight.h"

#include "common/Globals.h"

bool CheckAcpiDriver() {
    HANDLE hDevice = CreateFileW(ACPI_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (hDevice == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hDevice);
    return true;
}
