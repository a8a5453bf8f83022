#include "lamp/AcpiRequest.h"

#include <string.h>

static void PutU16(BYTE *pb, WORD w) {
    pb[0] = static_cast<BYTE>(w);
    pb[1] = static_cast<BYTE>(w >> 8);
}

static void PutU32(BYTE *pb, DWORD dw) {
    PutU16(pb, static_cast<WORD>(dw));
    PutU16(pb + 2, static_cast<WORD>(dw >> 16));
}

DWORD AcpiMethodName(const char szName[4]) {
    return static_cast<DWORD>(static_cast<BYTE>(szName[0])) |
           static_cast<DWORD>(static_cast<BYTE>(szName[1])) << 8 |
           static_cast<DWORD>(static_cast<BYTE>(szName[2])) << 16 |
           static_cast<DWORD>(static_cast<BYTE>(szName[3])) << 24;
}

void BuildAcpiArgRecord(BYTE abRecord[kcbAcpiArgRecord], DWORD dwArgument) {
    PutU16(abRecord, 0); // integer
    PutU16(abRecord + 2, 4);
    PutU32(abRecord + 4, dwArgument);
}

size_t BuildAcpiRequest(BYTE abRequest[kcbAcpiRequestMax], DWORD dwMethod,
                        const BYTE abRecord[kcbAcpiArgRecord], DWORD dwRecordAddress, bool bWow64) {
    PutU32(abRequest, 2);
    PutU32(abRequest + 4, dwMethod);
    PutU32(abRequest + 8, 1);                 // one argument
    PutU32(abRequest + 12, kcbAcpiArgRecord); // total length of the records
    if (bWow64) {
        memcpy(abRequest + 16, abRecord, kcbAcpiArgRecord);
        return kcbAcpiRequestWow64;
    }
    PutU32(abRequest + 16, dwRecordAddress);
    return kcbAcpiRequestNative;
}
