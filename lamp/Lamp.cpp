#include "lamp/Lamp.h"

#include "diag/Trace.h"
#include "lamp/AcpiCall.h"
#include "lamp/AcpiRequest.h"
#include "lamp/LampReply.h"

// Bit 0 is the lamp's state; the rest of the argument is fixed.
static const DWORD kdwLampArgOn = 0x41;
static const DWORD kdwLampArgOff = 0x40;

static void TraceReplyLine(LPCWSTR pszLine, void *) {
    TraceNotify(pszLine, L"SetLightLED");
}

void SetLightLED(BOOL bOn) {
    BYTE abReply[kcbAcpiReply] = {};
    DWORD cbReply = kcbAcpiReply;
    if (!One_Method_Raw(AcpiMethodName("KLMP"),
                        static_cast<BYTE>(bOn) ? kdwLampArgOn : kdwLampArgOff, abReply, &cbReply)) {
        TraceNotify(L"One_Method_Raw Failed!", L"SetLightLED");
        return;
    }

    // A driver may claim more bytes than it was offered; never read past them.
    const size_t cbValid = cbReply < kcbAcpiReply ? static_cast<size_t>(cbReply) : kcbAcpiReply;
    WCHAR szLine[kcchReplyLine];
    FormatReplySummary(szLine, kcchReplyLine, ReplyArgCount(abReply, cbValid), cbReply);
    TraceNotify(szLine, L"SetLightLED");
    WalkReplyRecords(abReply, cbValid, TraceReplyLine, NULL);
}
