// The request as a native 32-bit system's driver gets it. There the driver
// reads the argument record through the 32-bit address in the request, in the
// caller's memory, while the request is served; the driver stand-in runs in a
// process of its own and cannot follow that address. So this program stands in
// for the two platform calls of the request (lamp/AcpiPlatform.cpp): it answers
// "not under WOW64" and follows the address itself, at the moment the request
// is sent.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <vector>

#include "lamp/AcpiCall.h"
#include "lamp/AcpiRequest.h"
#include "lamp/Lamp.h"

#include "AcpiStandIn.h"
#include "WinePath.h"

namespace {

// Off: both calls do what the product's do. On: this process is a native
// system's, and requests are captured instead of sent.
bool s_native = false;

struct SentRequest {
    std::vector<BYTE> bytes;
    bool recordLive = false;  // the address lies in a frame of a caller still running
    std::vector<BYTE> record; // what the address pointed at then
};
std::vector<SentRequest> s_sent;

} // namespace

bool IsWow64() {
    BOOL wow64 = FALSE;
    return !s_native && IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

BOOL SendAcpiRequest(HANDLE hDevice, BYTE *pbRequest, DWORD cbRequest, BYTE *pbReply, DWORD cbReply,
                     DWORD *pcbWritten) {
    if (!s_native)
        return DeviceIoControl(hDevice, ACPI_IOCTL_EVAL_METHOD, pbRequest, cbRequest, pbReply,
                               cbReply, pcbWritten, nullptr);
    SentRequest sent;
    sent.bytes.assign(pbRequest, pbRequest + cbRequest);
    if (cbRequest == kcbAcpiRequestNative) {
        DWORD address = 0;
        memcpy(&address, pbRequest + 16, sizeof address);
        const BYTE *record = reinterpret_cast<const BYTE *>(static_cast<UINT_PTR>(address));
        // Above this call's own frame and below the stack's base: a frame of
        // one of its callers. A record left in the frame of a routine that
        // has already returned lies at or below this frame, and is gone.
        const BYTE *frame = static_cast<const BYTE *>(__builtin_frame_address(0));
        MEMORY_BASIC_INFORMATION stack = {};
        VirtualQuery(frame, &stack, sizeof stack);
        const BYTE *base = static_cast<const BYTE *>(stack.BaseAddress) + stack.RegionSize;
        sent.recordLive = record > frame + 2 * sizeof(void *) && record + kcbAcpiArgRecord <= base;
        if (sent.recordLive)
            sent.record.assign(record, record + kcbAcpiArgRecord);
    }
    s_sent.push_back(sent);
    *pcbWritten = 0;
    return TRUE;
}

TEST(NativeRequestTest, CarriesTheAddressOfALiveRecordForBothLampArguments) {
    tb::AcpiStandIn driver(tb::DefaultStandInSysPath()); // the device must open
    ASSERT_TRUE(driver.Start());
    s_native = true;
    s_sent.clear();
    SetLightLED(TRUE);
    SetLightLED(FALSE);
    s_native = false;

    ASSERT_EQ(2u, s_sent.size());
    const BYTE args[] = {0x41, 0x40};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(args[i]);
        const std::vector<BYTE> head = {2, 0, 0, 0, 'K', 'L', 'M', 'P', 1, 0, 0, 0, 8, 0, 0, 0};
        ASSERT_EQ(kcbAcpiRequestNative, s_sent[i].bytes.size());
        EXPECT_EQ(head, std::vector<BYTE>(s_sent[i].bytes.begin(), s_sent[i].bytes.begin() + 16));
        ASSERT_TRUE(s_sent[i].recordLive) << "the address names no record of a running caller";
        EXPECT_EQ((std::vector<BYTE>{0, 0, 4, 0, args[i], 0, 0, 0}), s_sent[i].record);
    }
}
