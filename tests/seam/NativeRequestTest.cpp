// The request as a native 32-bit system's driver gets it: the driver reads the
// argument record through the 32-bit address in the request, in the caller's
// memory, while the request is served. The driver stand-in, a process of its
// own, cannot follow that address, so this program stands in for the request's
// two platform calls (lamp/AcpiPlatform.cpp), answers "not under WOW64" and
// follows the address itself when the request is sent.
#include <gtest/gtest.h>

#include <windows.h>

#include <string.h>

#include <vector>

#include "lamp/AcpiCall.h"
#include "lamp/AcpiRequest.h"
#include "lamp/Lamp.h"

#include "AcpiStandIn.h"
#include "NotRun.h"
#include "WinePath.h"

namespace {
bool s_native = false;                 // off: both calls do what the product's do
std::vector<std::vector<BYTE>> s_sent; // each request, then the record it pointed at
} // namespace

bool IsWow64() {
    return !s_native && tb::RunsUnderWow64();
}

BOOL SendAcpiRequest(HANDLE hDevice, BYTE *pbRequest, DWORD cbRequest, BYTE *pbReply, DWORD cbReply,
                     DWORD *pcbWritten) {
    if (!s_native)
        return DeviceIoControl(hDevice, ACPI_IOCTL_EVAL_METHOD, pbRequest, cbRequest, pbReply,
                               cbReply, pcbWritten, nullptr);
    s_sent.emplace_back(pbRequest, pbRequest + cbRequest);
    DWORD address = 0;
    memcpy(&address, pbRequest + 16, sizeof address);
    const BYTE *record = reinterpret_cast<const BYTE *>(static_cast<UINT_PTR>(address));
    // Alive means in the frame of a caller still running: above this call's
    // own frame (where the frames of routines that have returned were) and
    // below the stack's base.
    const BYTE *frame = static_cast<const BYTE *>(__builtin_frame_address(0));
    MEMORY_BASIC_INFORMATION stack = {};
    VirtualQuery(frame, &stack, sizeof stack);
    const BYTE *base = static_cast<const BYTE *>(stack.BaseAddress) + stack.RegionSize;
    const bool alive = record > frame + 2 * sizeof(void *) && record + kcbAcpiArgRecord <= base;
    s_sent.emplace_back(alive ? record : nullptr, alive ? record + kcbAcpiArgRecord : nullptr);
    *pcbWritten = 0;
    return TRUE;
}

TEST(NativeRequestTest, CarriesTheAddressOfALiveRecordForBothLampArguments) {
    TB_NOT_RUN_WITHOUT(tb::Need::Driver);
    tb::AcpiStandIn driver(tb::DefaultStandInSysPath()); // the device must open
    ASSERT_TRUE(driver.Start());
    s_sent.clear(); // a run repeated in one process starts afresh
    s_native = true;
    SetLightLED(TRUE);
    SetLightLED(FALSE);
    s_native = false;

    ASSERT_EQ(4u, s_sent.size());
    const BYTE args[] = {0x41, 0x40};
    for (size_t i = 0; i < 2; ++i) {
        const std::vector<BYTE> &request = s_sent[2 * i];
        ASSERT_EQ(kcbAcpiRequestNative, request.size());
        EXPECT_EQ((std::vector<BYTE>{2, 0, 0, 0, 'K', 'L', 'M', 'P', 1, 0, 0, 0, 8, 0, 0, 0}),
                  std::vector<BYTE>(request.begin(), request.begin() + 16));
        EXPECT_EQ((std::vector<BYTE>{0, 0, 4, 0, args[i], 0, 0, 0}), s_sent[2 * i + 1])
            << "the address names no live record (empty: outside the running callers' frames)";
    }
}
