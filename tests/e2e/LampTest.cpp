// The lamp switch as the launcher performs it, from a real 32-bit process (a
// probe linking the launcher's own routines) against the driver stand-in: the
// request bytes the driver received, the trace of its reply, and bad replies.
#include "E2eFixture.h"
#include "TraceLines.h"
#include "LumoraLog.h"
#include "WinePath.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace tb;

namespace {

const unsigned kLampOnArg = 0x41;
const unsigned kLampOffArg = 0x40;

std::string Notify(const std::string &message, const std::string &context = "SetLightLED") {
    return NotifyLine(context, message);
}

// Bytes of a reply as a driver writes it.
struct ReplyBytes {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(12, 0);
    ReplyBytes &Count(int n) {
        for (int i = 0; i < 4; ++i)
            bytes[8 + i] = static_cast<unsigned char>(static_cast<unsigned>(n) >> (8 * i));
        return *this;
    }
    ReplyBytes &Record(unsigned type, unsigned length, std::vector<unsigned char> data) {
        bytes.insert(bytes.end(),
                     {static_cast<unsigned char>(type), 0, static_cast<unsigned char>(length),
                      static_cast<unsigned char>(length >> 8)});
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    ReplyBytes &Integer(unsigned value) {
        return Record(0, 4,
                      {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                       static_cast<unsigned char>(value >> 16),
                       static_cast<unsigned char>(value >> 24)});
    }
    ReplyBytes &Text(const char *ascii) {
        std::vector<unsigned char> data;
        for (const char *p = ascii; *p; ++p)
            data.insert(data.end(), {static_cast<unsigned char>(*p), 0});
        data.insert(data.end(), {0, 0});
        return Record(1, static_cast<unsigned>(data.size()), data);
    }
};

// What the prefix's request layout lets the stand-in see. A 32-bit caller in
// the 64-bit prefix runs under WOW64 and sends its record inline; in the pure
// 32-bit prefix (native32.sh sets AVENOR_PREFIX_ARCH=win32) it sends the
// record's address, so that the stand-in sees neither argument nor lamp. On
// 32-bit Windows the stand-in reads the record through that address.
struct Layout {
    bool wow64;
    std::vector<std::string> notice; // traced before each request is sent
    int lampAfterOn;                 // the lamp state the stand-in keeps
    int lampAfterOff;
    unsigned arguments[2]; // the argument the stand-in read, for on and off
};

const Layout &ThisPrefix() {
    static const Layout kWow64 = {
        true, {NotifyLine("One_Method_Raw", "IsWow64()!!")}, 1, 0, {kLampOnArg, kLampOffArg}};
    static const Layout kNative = {false, {}, -1, -1, {0, 0}};
    static const Layout kNativeWindows = {false, {}, 1, 0, {kLampOnArg, kLampOffArg}};
    if (ThisPlatform() == Platform::Windows)
        return RunsUnderWow64() ? kWow64 : kNativeWindows;
    char arch[16] = {};
    GetEnvironmentVariableA("AVENOR_PREFIX_ARCH", arch, sizeof(arch));
    return lstrcmpA(arch, "win32") == 0 ? kNative : kWow64;
}

// The record's address in a native request; in a WOW64 request the same bytes
// hold the inline record's value.
unsigned AddressIn(const std::vector<unsigned char> &request) {
    return request.size() < 20 ? 0
                               : request[16] | (request[17] << 8) | (request[18] << 16) |
                                     (static_cast<unsigned>(request[19]) << 24);
}

class LampTest : public E2eTest {
protected:
    // Runs the probe to its end and returns its exit code.
    DWORD Probe(const std::wstring &args) {
        ChildProcess probe;
        EXPECT_TRUE(probe.Start(LampProbePath(), L" " + args));
        DWORD code = STILL_ACTIVE;
        EXPECT_TRUE(probe.WaitForExit(kExitMs, &code)) << "the probe hung";
        lastPid_ = probe.Pid();
        return code;
    }
    // The probe's trace lines, after the stream has been drained.
    std::vector<std::string> Trace() {
        trace_.Flush(kFlushMs);
        return trace_.LinesOf(lastPid_);
    }
    // The trace a successful switch emits before the reply's records.
    std::vector<std::string> Head(int count, unsigned written) {
        std::vector<std::string> lines = ThisPrefix().notice;
        lines.push_back(
            Notify("One_Method_Raw Succeed: KLMP ## outArgNum = " + std::to_string(count) +
                   " ## outBufSize = " + std::to_string(written)));
        return lines;
    }
    std::vector<std::string> With(std::vector<std::string> head,
                                  const std::vector<std::string> &records) {
        for (const std::string &r : records)
            head.push_back(Notify(r));
        return head;
    }
    AcpiStandInHistory History() {
        AcpiStandInHistory h = {};
        EXPECT_TRUE(driver_->History(h));
        return h;
    }
    DWORD lastPid_ = 0;
};

} // namespace

TEST_F(LampTest, SwitchingSendsTheLampMethodInThisSystemsLayoutAndTracesTheReply) {
    const Layout &layout = ThisPrefix();
    ASSERT_EQ(layout.wow64, RunsUnderWow64()) << "the prefix is not the one the entry names";
    ASSERT_EQ(0u, Probe(L"on"));
    EXPECT_EQ(With(Head(1, 20), {"Arg[0] = 0x00000001"}), Trace());
    EXPECT_EQ(layout.lampAfterOn, driver_->Lamp());

    ASSERT_EQ(0u, Probe(L"off"));
    EXPECT_EQ(layout.lampAfterOff, driver_->Lamp());

    const AcpiStandInHistory h = History();
    ASSERT_EQ(2u, h.count);
    const unsigned sentArguments[2] = {kLampOnArg, kLampOffArg};
    for (unsigned i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const AcpiStandInRequest &r = h.requests[i];
        EXPECT_EQ(static_cast<unsigned>(ACPI_REQ_OK), r.verdict);
        EXPECT_EQ(768u, r.outCapacity);
        EXPECT_EQ(layout.arguments[i], r.argument);
        // Byte for byte; a native record's address cannot be checked from the
        // driver's side beyond being a non-null 32-bit value.
        const std::vector<unsigned char> sent(r.bytes, r.bytes + r.inLength);
        EXPECT_EQ(LampRequest(sentArguments[i], layout.wow64, AddressIn(sent)), sent);
        EXPECT_NE(0u, AddressIn(sent));
    }
}

TEST_F(LampTest, EachRecordTypeHasItsLineAndUnknownTypesAreSteppedOver) {
    ReplyBytes reply;
    reply.Count(5)
        .Integer(0x1234ABCD)
        .Text("KLMP done")
        .Record(2, 16, std::vector<unsigned char>(16, 0xEE))
        .Record(5, 8, std::vector<unsigned char>(8, 0x55))
        .Integer(7);
    ASSERT_TRUE(driver_->SetReply(ACPI_REPLY_BYTES, reply.bytes));
    ASSERT_EQ(0u, Probe(L"on"));
    EXPECT_EQ(With(Head(5, static_cast<unsigned>(reply.bytes.size())),
                   {"Arg[0] = 0x1234ABCD", "Arg[1] = KLMP done", "Arg[2] = BufSize(16)",
                    "Arg[4] = 0x00000007"}),
              Trace());
}

TEST_F(LampTest, MissingDriverTracesTheErrorThenTheFailure) {
    DriverAbsent();
    ASSERT_EQ(0u, Probe(L"on"));
    const std::vector<std::string> lines = Trace();
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(Error("One_Method_Raw", "ACPI drive doesn't exist!", ERROR_FILE_NOT_FOUND)
                    .matches(lines[0]))
        << lines[0];
    EXPECT_EQ(Notify("One_Method_Raw Failed!"), lines[1]);
}

TEST_F(LampTest, FailedRequestIsAnErrorLineAndLeavesTheReplySizeAlone) {
    ASSERT_TRUE(driver_->SetReply(ACPI_REPLY_FAIL));
    ASSERT_EQ(0u, Probe(L"on"));
    std::vector<std::string> lines = Trace();
    const std::vector<std::string> notice = ThisPrefix().notice;
    ASSERT_EQ(notice.size() + 2, lines.size());
    EXPECT_TRUE(std::equal(notice.begin(), notice.end(), lines.begin()));
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(notice.size()));
    EXPECT_TRUE(
        Error("One_Method_Raw", "ACPI DeviceIoControl IoctlResult == NULL!", ERROR_GEN_FAILURE)
            .matches(lines[0]))
        << lines[0];
    EXPECT_EQ(Notify("One_Method_Raw Failed!"), lines[1]);

    // replySize untouched, no handle kept.
    EXPECT_EQ(0x0300u, Probe(L"raw 768 0x41"));
}

TEST_F(LampTest, ReplySizeBecomesTheBytesWrittenAndNoHandleIsKept) {
    std::vector<unsigned char> forty = ReplyBytes().Count(1).Integer(1).bytes;
    forty.resize(40, 0);
    ASSERT_TRUE(driver_->SetReply(ACPI_REPLY_BYTES, forty));
    EXPECT_EQ(0x10000u | 40u, Probe(L"raw 768 0x41"));
    ASSERT_TRUE(driver_->SetReply(ACPI_REPLY_DEFAULT));
    EXPECT_EQ(0x10000u | 20u, Probe(L"raw 768 0x40"));
}

// The one part of the reply walk that needs a real driver: a driver claiming
// more bytes than it was offered (the platform passes the claim on as the bytes
// written) must not make the walk leave the 768-byte buffer. The reply fills
// the whole buffer with integer records under a huge count, so that a walk
// believing the claim would read records behind it. Every other reply shape
// is a row of the unit table ReplyWalkRows.
TEST_F(LampTest, ADriverClaimingMoreBytesThanItWasOfferedIsNotBelieved) {
    std::vector<unsigned char> full = ReplyBytes().Count(0x7FFFFFFF).bytes;
    while (full.size() + 8 <= 768)
        full.insert(full.end(), {0, 0, 4, 0, 1, 0, 0, 0});
    full.resize(768, 0);
    ASSERT_TRUE(driver_->SetReply(ACPI_REPLY_OVERSTATE, full, ACPI_STANDIN_MAX_REPLY));
    ASSERT_EQ(0u, Probe(L"on"));
    std::vector<std::string> records;
    for (int i = 0; i < 94; ++i)
        records.push_back("Arg[" + std::to_string(i) + "] = 0x00000001");
    EXPECT_EQ(With(Head(0x7FFFFFFF, 768 + ACPI_STANDIN_MAX_REPLY), records), Trace());
}
