// Switches the lamp with the launcher's own routines, so that tests can watch
// the driver request and the reply walk from a real 32-bit process.
//
//   lampprobe on|off        SetLightLED with the trace on
//   lampprobe raw CAP ARG   One_Method_Raw("KLMP", ARG) offering CAP reply bytes;
//                           the exit code tells the outcome: replySize in the
//                           low 16 bits, 0x10000 when it succeeded, 0x20000
//                           when it kept a handle open
#include "common/Globals.h"
#include "lamp/AcpiCall.h"
#include "lamp/AcpiRequest.h"
#include "lamp/Lamp.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

int main(int argc, char **argv) {
    g_bDebug = true;
    if (argc == 2 && (strcmp(argv[1], "on") == 0 || strcmp(argv[1], "off") == 0)) {
        SetLightLED(strcmp(argv[1], "on") == 0);
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "raw") == 0) {
        const DWORD cbCapacity = strtoul(argv[2], nullptr, 0);
        std::vector<BYTE> reply(cbCapacity + 1);
        DWORD cbReply = cbCapacity;
        DWORD dwBefore = 0, dwAfter = 0;
        GetProcessHandleCount(GetCurrentProcess(), &dwBefore);
        const BOOL bOk = One_Method_Raw(AcpiMethodName("KLMP"), strtoul(argv[3], nullptr, 0),
                                        reply.data(), &cbReply);
        GetProcessHandleCount(GetCurrentProcess(), &dwAfter);
        printf("result=%d replySize=%lu handles=%ld\n", bOk ? 1 : 0, cbReply,
               static_cast<long>(dwAfter) - static_cast<long>(dwBefore));
        return static_cast<int>((cbReply & 0xFFFF) | (bOk ? 0x10000 : 0) |
                                (dwAfter != dwBefore ? 0x20000 : 0));
    }
    fprintf(stderr, "usage: lampprobe on|off | raw CAPACITY ARGUMENT\n");
    return 2;
}
