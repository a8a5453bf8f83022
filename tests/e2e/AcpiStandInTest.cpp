// The ACPI driver stand-in, driven with hand-made requests from this 32-bit
// process: what it accepts, how it answers, and what it remembers. The
// product's own requests are covered by the lamp tests; these pin down the
// instrument those tests read.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "AcpiStandIn.h"
#include "NotRun.h"
#include "WinePath.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Every case of this program drives the stand-in.
const tb::NeedRow kNeeds[] = {{tb::Need::Driver, "*"}};
const bool kNeedsKnown = tb::RegisterNeeds(kNeeds, 1);

const DWORD kCapacity = 768;
const unsigned kKlmp = 'K' | ('L' << 8) | ('M' << 16) | ('P' << 24);
const unsigned kStatusSuccess = 0;
const unsigned kStatusUnsuccessful = 0xC0000001u;
const unsigned kStatusInvalidParameter = 0xC000000Du;

class AcpiStandInTest : public ::testing::Test {
protected:
    // One driver load for the suite. When another part of the run already
    // has the stand-in up, use that one and leave it running.
    static void SetUpTestSuite() {
        if (tb::DeviceOpens() || tb::Lacks(tb::Need::Driver))
            return;
        owned_ = std::make_unique<tb::AcpiStandIn>(tb::DefaultStandInSysPath());
        started_ = owned_->Start();
    }
    static void TearDownTestSuite() { owned_.reset(); }

    void SetUp() override {
        TB_NOT_RUN_WITHOUT(tb::Need::Driver);
        ASSERT_TRUE(tb::DeviceOpens()) << "stand-in not running (started: " << started_ << ")";
        ASSERT_TRUE(tb::StandInReset());
    }
    void TearDown() override { tb::StandInReset(); }

    static tb::DeviceReply Eval(const Bytes &request, DWORD capacity = kCapacity) {
        return tb::SendToDevice(ACPI_STANDIN_IOCTL_EVAL, request, capacity);
    }

    AcpiStandInHistory History() {
        AcpiStandInHistory h = {};
        EXPECT_TRUE(tb::StandInHistory(h));
        return h;
    }

    static std::unique_ptr<tb::AcpiStandIn> owned_;
    static bool started_;
};

std::unique_ptr<tb::AcpiStandIn> AcpiStandInTest::owned_;
bool AcpiStandInTest::started_ = false;

Bytes Sequence(unsigned n, unsigned char first) {
    Bytes v(n);
    for (unsigned i = 0; i < n; ++i)
        v[i] = static_cast<unsigned char>(first + i);
    return v;
}

TEST_F(AcpiStandInTest, Wow64LampRequestsSwitchTheLampAndGetTheDefaultReply) {
    EXPECT_EQ(tb::StandInLamp(), -1);

    tb::DeviceReply on = Eval(tb::LampRequest(0x41, true));
    ASSERT_TRUE(on.ok) << on.error;
    ASSERT_EQ(on.bytes, 20u);
    // count 1, then one integer record of value 1; nothing beyond 20 bytes
    const Bytes tail(on.data.begin() + 8, on.data.begin() + 20);
    EXPECT_EQ(tail, (Bytes{1, 0, 0, 0, 0, 0, 4, 0, 1, 0, 0, 0}));
    EXPECT_EQ(on.data[20], 0xCC);
    EXPECT_EQ(tb::StandInLamp(), 1);

    ASSERT_TRUE(Eval(tb::LampRequest(0x40, true)).ok);
    EXPECT_EQ(tb::StandInLamp(), 0);

    AcpiStandInHistory h = History();
    ASSERT_EQ(h.count, 2u);
    EXPECT_EQ(h.total, 2u);
    const unsigned arguments[] = {0x41, 0x40};
    for (unsigned i = 0; i < 2; ++i) {
        const AcpiStandInRequest &r = h.requests[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(r.sequence, i + 1);
        EXPECT_EQ(r.inLength, 24u);
        EXPECT_EQ(r.outCapacity, kCapacity);
        EXPECT_EQ(r.verdict, static_cast<unsigned>(ACPI_REQ_OK));
        EXPECT_EQ(r.method, kKlmp);
        EXPECT_EQ(r.argument, arguments[i]);
        EXPECT_EQ(r.written, 20u);
        EXPECT_EQ(r.status, kStatusSuccess);
        EXPECT_EQ(Bytes(r.bytes, r.bytes + 24), tb::LampRequest(arguments[i], true));
    }
}

// The record of a native request sits in the caller's memory, out of the
// driver's sight: the request is answered, its argument stays unknown.
// Only on 32-bit Windows does the stand-in run in the caller's context and read
// the record through its address: there the record sets the lamp.
TEST_F(AcpiStandInTest, NativeRequestIsAnsweredButLeavesTheLampUnknown) {
    ASSERT_TRUE(Eval(tb::LampRequest(0x41, true)).ok);
    ASSERT_EQ(tb::StandInLamp(), 1);

    const unsigned char record[8] = {0, 0, 4, 0, 0, 0, 0, 0}; // integer 0: lamp off
    const unsigned address = static_cast<unsigned>(reinterpret_cast<UINT_PTR>(record));
    const bool read = tb::ThisPlatform() == tb::Platform::Windows && !tb::RunsUnderWow64();
    tb::DeviceReply r = Eval(tb::LampRequest(0x40, false, address));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, 20u);

    AcpiStandInHistory h = History();
    ASSERT_EQ(h.count, 2u);
    const AcpiStandInRequest &native = h.requests[1];
    EXPECT_EQ(native.inLength, 20u);
    EXPECT_EQ(native.verdict, static_cast<unsigned>(ACPI_REQ_OK));
    EXPECT_EQ(native.method, kKlmp);
    EXPECT_EQ(native.argument, 0u);
    EXPECT_EQ(Bytes(native.bytes, native.bytes + 20), tb::LampRequest(0x40, false, address));
    EXPECT_EQ(h.lamp, read ? 0 : -1);
}

TEST_F(AcpiStandInTest, MalformedRequestsAreRefusedAndRecordedWithTheirVerdict) {
    ASSERT_TRUE(Eval(tb::LampRequest(0x40, true)).ok);

    struct Case {
        const char *name;
        Bytes request;
        AcpiStandInVerdict verdict;
    };
    const Bytes good = tb::LampRequest(0x41, true);
    auto with = [&](size_t offset, unsigned char value) {
        Bytes v = good;
        v[offset] = value;
        return v;
    };
    const Case cases[] = {
        {"empty", {}, ACPI_REQ_BAD_LENGTH},
        {"short", Bytes(good.begin(), good.begin() + 16), ACPI_REQ_BAD_LENGTH},
        {"long", Sequence(40, 2), ACPI_REQ_BAD_LENGTH},
        {"lead 3", with(0, 3), ACPI_REQ_BAD_LEAD},
        {"count 2", with(8, 2), ACPI_REQ_BAD_COUNT},
        {"total 16", with(12, 16), ACPI_REQ_BAD_TOTAL},
        {"record type 1", with(16, 1), ACPI_REQ_BAD_RECORD},
        {"record length 8", with(18, 8), ACPI_REQ_BAD_RECORD},
        {"native, null address", tb::LampRequest(0x41, false, 0), ACPI_REQ_BAD_ADDRESS},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tb::DeviceReply r = Eval(c.request);
        EXPECT_TRUE(r.opened);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(r.bytes, 0u);
        EXPECT_EQ(r.data[0], 0xCC) << "a refused request got reply bytes";
    }

    AcpiStandInHistory h = History();
    const size_t n = sizeof(cases) / sizeof(cases[0]);
    ASSERT_EQ(h.count, n + 1);
    for (size_t i = 0; i < n; ++i) {
        const AcpiStandInRequest &r = h.requests[i + 1];
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(r.sequence, i + 2);
        EXPECT_EQ(r.inLength, cases[i].request.size());
        EXPECT_EQ(r.verdict, static_cast<unsigned>(cases[i].verdict));
        EXPECT_EQ(r.status, kStatusInvalidParameter);
        EXPECT_EQ(r.written, 0u);
        const size_t kept = std::min<size_t>(cases[i].request.size(), ACPI_STANDIN_MAX_REQUEST);
        EXPECT_EQ(Bytes(r.bytes, r.bytes + kept),
                  Bytes(cases[i].request.begin(), cases[i].request.begin() + kept));
    }
    EXPECT_EQ(h.requests[3].method, 0x09080706u) << "method word of the 40-byte request";
    EXPECT_EQ(h.lamp, 0) << "a refused lamp request must not switch the lamp";
}

TEST_F(AcpiStandInTest, OtherMethodsDoNotTouchTheLamp) {
    Bytes other = tb::LampRequest(0x41, true);
    other[7] = 'X'; // "KLMX"
    ASSERT_TRUE(Eval(other).ok);
    EXPECT_EQ(tb::StandInLamp(), -1);
}

TEST_F(AcpiStandInTest, BytesModeAnswersExactlyTheGivenBytesCutToCapacity) {
    const Bytes reply = Sequence(40, 0x10);
    ASSERT_TRUE(tb::StandInSetReply(ACPI_REPLY_BYTES, reply));

    tb::DeviceReply full = Eval(tb::LampRequest(0x41, true));
    ASSERT_TRUE(full.ok);
    ASSERT_EQ(full.bytes, 40u);
    EXPECT_EQ(Bytes(full.data.begin(), full.data.begin() + 40), reply);
    EXPECT_EQ(full.data[40], 0xCC);

    tb::DeviceReply cut = Eval(tb::LampRequest(0x41, true), 16);
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.bytes, 16u);
    EXPECT_EQ(cut.data, Bytes(reply.begin(), reply.begin() + 16));

    ASSERT_TRUE(tb::StandInSetReply(ACPI_REPLY_BYTES, {}));
    tb::DeviceReply empty = Eval(tb::LampRequest(0x41, true));
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.bytes, 0u);

    AcpiStandInHistory h = History();
    ASSERT_EQ(h.count, 3u);
    EXPECT_EQ(h.requests[0].written, 40u);
    EXPECT_EQ(h.requests[1].written, 16u);
    EXPECT_EQ(h.requests[1].outCapacity, 16u);
    EXPECT_EQ(h.requests[2].written, 0u);
}

TEST_F(AcpiStandInTest, DefaultReplyIsCutToASmallCapacity) {
    tb::DeviceReply r = Eval(tb::LampRequest(0x41, true), 12);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 12u);
    EXPECT_EQ(r.data[8], 1);
}

TEST_F(AcpiStandInTest, FailModeFailsWellFormedRequestsButStillSwitchesTheLamp) {
    ASSERT_TRUE(tb::StandInSetReply(ACPI_REPLY_FAIL));
    tb::DeviceReply r = Eval(tb::LampRequest(0x41, true));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_EQ(r.data[0], 0xCC);

    AcpiStandInHistory h = History();
    ASSERT_EQ(h.count, 1u);
    EXPECT_EQ(h.requests[0].verdict, static_cast<unsigned>(ACPI_REQ_OK));
    EXPECT_EQ(h.requests[0].status, kStatusUnsuccessful);
    EXPECT_EQ(h.requests[0].written, 0u);
    EXPECT_EQ(h.lamp, 1);
}

// Wine hands the claimed count to the caller unchecked, while it copies at most
// the caller's capacity: the caller sees more bytes "written" than it offered,
// and nothing behind its buffer is touched.
TEST_F(AcpiStandInTest, OverstateModeClaimsMoreBytesThanItWrites) {
    const Bytes reply = Sequence(20, 0x30);
    ASSERT_TRUE(tb::StandInSetReply(ACPI_REPLY_OVERSTATE, reply, 100));

    tb::DeviceReply r = Eval(tb::LampRequest(0x41, true), 64);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 120u);
    EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + 20), reply);
    EXPECT_FALSE(r.overran);

    // the same with a reply that fills the whole capacity
    ASSERT_TRUE(tb::StandInSetReply(ACPI_REPLY_OVERSTATE, Sequence(80, 1), 16));
    tb::DeviceReply full = Eval(tb::LampRequest(0x41, true), 64);
    ASSERT_TRUE(full.ok);
    EXPECT_EQ(full.bytes, 80u);
    EXPECT_EQ(full.data, Sequence(64, 1));
    EXPECT_FALSE(full.overran);

    AcpiStandInHistory h = History();
    ASSERT_EQ(h.count, 2u);
    EXPECT_EQ(h.requests[0].written, 120u);
    EXPECT_EQ(h.requests[1].written, 80u);
}

TEST_F(AcpiStandInTest, ResetForgetsRequestsLampAndReplyMode) {
    ASSERT_TRUE(tb::StandInSetReply(ACPI_REPLY_FAIL));
    ASSERT_FALSE(Eval(tb::LampRequest(0x41, true)).ok);
    ASSERT_EQ(History().total, 1u);

    ASSERT_TRUE(tb::StandInReset());
    AcpiStandInHistory h = History();
    EXPECT_EQ(h.total, 0u);
    EXPECT_EQ(h.count, 0u);
    EXPECT_EQ(h.lamp, -1);

    tb::DeviceReply r = Eval(tb::LampRequest(0x40, true));
    EXPECT_TRUE(r.ok) << "reply mode not back to default";
    EXPECT_EQ(r.bytes, 20u);
    EXPECT_EQ(History().requests[0].sequence, 1u);
}

TEST_F(AcpiStandInTest, HistoryKeepsTheMostRecentRequestsOldestFirst) {
    const unsigned sent = ACPI_STANDIN_HISTORY + 6;
    for (unsigned i = 1; i <= sent; ++i)
        ASSERT_TRUE(Eval(tb::LampRequest(0x40 + i, true)).ok) << i;

    AcpiStandInHistory h = History();
    EXPECT_EQ(h.total, sent);
    ASSERT_EQ(h.count, ACPI_STANDIN_HISTORY);
    for (unsigned i = 0; i < ACPI_STANDIN_HISTORY; ++i) {
        const unsigned sequence = sent - ACPI_STANDIN_HISTORY + 1 + i;
        EXPECT_EQ(h.requests[i].sequence, sequence);
        EXPECT_EQ(h.requests[i].argument, 0x40 + sequence);
    }
    EXPECT_EQ(h.lamp, static_cast<int>((0x40 + sent) & 1));
}

TEST_F(AcpiStandInTest, BadControlRequestsAreRefused) {
    EXPECT_FALSE(tb::StandInSetReply(ACPI_REPLY_OVERSTATE + 1));
    EXPECT_FALSE(tb::StandInSetReply(ACPI_REPLY_OVERSTATE, {1}, ACPI_STANDIN_MAX_REPLY + 1));
    // a reply longer than the stand-in holds, and one claiming more bytes than it carries
    Bytes tooLong = {ACPI_REPLY_BYTES, 0, 0, 0, 0x01, 0x04, 0, 0, 0, 0, 0, 0};
    tooLong.resize(tooLong.size() + ACPI_STANDIN_MAX_REPLY + 1, 7);
    EXPECT_FALSE(tb::SendToDevice(ACPI_STANDIN_IOCTL_SET_REPLY, tooLong, 0).ok);
    Bytes truncated = {ACPI_REPLY_BYTES, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 1, 2};
    EXPECT_FALSE(tb::SendToDevice(ACPI_STANDIN_IOCTL_SET_REPLY, truncated, 0).ok);

    tb::DeviceReply small =
        tb::SendToDevice(ACPI_STANDIN_IOCTL_GET_HISTORY, {}, sizeof(AcpiStandInHistory) - 1);
    EXPECT_FALSE(small.ok);
    EXPECT_FALSE(tb::SendToDevice(ACPI_STANDIN_CTL(0xA0F), {}, 0).ok);

    // none of it disturbed the default reply
    EXPECT_EQ(Eval(tb::LampRequest(0x41, true)).bytes, 20u);
}

} // namespace
