// The request the ACPI driver evaluates: one named method with one integer
// argument, laid out differently for a native 32-bit system and for a 32-bit
// process under WOW64.
#pragma once

#include <windows.h>

#define ACPI_IOCTL_EVAL_METHOD 0x00222404u // device 0x22, function 0x901, buffered

enum : size_t {
    kcbAcpiArgRecord = 8,      // type u16, length u16, 32-bit data
    kcbAcpiRequestNative = 20, // ... and the record's address
    kcbAcpiRequestWow64 = 24,  // ... and the record itself, inline
    kcbAcpiRequestMax = kcbAcpiRequestWow64,
};

// The four-character method name as the driver reads it: first character in
// the lowest byte.
DWORD AcpiMethodName(const char szName[4]);

// Fills an integer argument record: type 0, length 4, data dwArgument.
void BuildAcpiArgRecord(BYTE abRecord[kcbAcpiArgRecord], DWORD dwArgument);

// Builds the request into abRequest and returns its length in bytes. Under
// WOW64 the record goes inline; otherwise dwRecordAddress, the address of the
// record in this process, stands in its place.
size_t BuildAcpiRequest(BYTE abRequest[kcbAcpiRequestMax], DWORD dwMethod,
                        const BYTE abRecord[kcbAcpiArgRecord], DWORD dwRecordAddress, bool bWow64);
