#include "lamp/LampReply.h"

#include <gtest/gtest.h>

#include "RowName.h"

#include <stdio.h>
#include <stdlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

// A reply as a driver would write it.
struct Reply {
    std::vector<BYTE> bytes = std::vector<BYTE>(12, 0);

    Reply &Count(LONG n) {
        for (int i = 0; i < 4; ++i)
            bytes[8 + i] = static_cast<BYTE>(static_cast<DWORD>(n) >> (8 * i));
        return *this;
    }
    Reply &Record(WORD wType, WORD cbLength, std::vector<BYTE> data) {
        bytes.push_back(static_cast<BYTE>(wType));
        bytes.push_back(static_cast<BYTE>(wType >> 8));
        bytes.push_back(static_cast<BYTE>(cbLength));
        bytes.push_back(static_cast<BYTE>(cbLength >> 8));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    Reply &Integer(DWORD dw) {
        return Record(0, 4, {BYTE(dw), BYTE(dw >> 8), BYTE(dw >> 16), BYTE(dw >> 24)});
    }
    Reply &Text(const std::wstring &text, bool bTerminated = true) {
        std::vector<BYTE> data;
        for (wchar_t ch : text) {
            data.push_back(static_cast<BYTE>(ch));
            data.push_back(static_cast<BYTE>(ch >> 8));
        }
        if (bTerminated)
            data.insert(data.end(), {0, 0});
        while (data.size() < 4)
            data.push_back(0);
        return Record(1, static_cast<WORD>(data.size()), data);
    }
};

struct Walk {
    std::vector<std::wstring> lines;
    ReplyWalkEnd end = kWalkComplete;
};

Walk WalkOf(const std::vector<BYTE> &bytes) {
    Walk walk;
    std::vector<BYTE> copy(bytes);
    walk.end = WalkReplyRecords(
        copy.data(), copy.size(),
        [](LPCWSTR psz, void *p) { static_cast<Walk *>(p)->lines.push_back(psz); }, &walk);
    return walk;
}

} // namespace

namespace {

using Lines = std::vector<std::wstring>;

// One reply and what the walk makes of it.
struct WalkCase {
    const char *name;
    std::vector<BYTE> bytes;
    Lines lines;
    ReplyWalkEnd end;
};

void PrintTo(const WalkCase &c, std::ostream *os) {
    *os << c.name;
}

// A reply of `cb` bytes made of integer records of 1 under a huge count: the
// bytes end the walk.
std::vector<BYTE> IntegersFilling(size_t cb) {
    Reply r;
    r.Count(0x7FFFFFFF);
    while (r.bytes.size() + 8 <= cb)
        r.Integer(1);
    return r.bytes;
}

std::vector<BYTE> HalfHeader() {
    Reply r;
    r.Count(2).Integer(1);
    r.bytes.insert(r.bytes.end(), {0, 0});
    return r.bytes;
}

std::vector<BYTE> UnterminatedText() {
    std::vector<BYTE> bytes = Reply().Count(1).bytes;
    bytes.insert(bytes.end(), {1, 0, 8, 0, 'a', 0, 'b', 0, 'c', 0, 'd', 0});
    return bytes;
}

// `n` lines of integer records of 1.
Lines Ones(size_t n) {
    Lines lines;
    for (size_t i = 0; i < n; ++i)
        lines.push_back(L"Arg[" + std::to_wstring(i) + L"] = 0x00000001");
    return lines;
}

const std::wstring kLongText((kcbAcpiReply - 16) / 2 - 1, L'z');

const WalkCase kWalkCases[] = {
    {"KnownRecordsInOrder",
     Reply()
         .Count(4)
         .Integer(1)
         .Text(L"Lamp on")
         .Record(2, 16, std::vector<BYTE>(16, 0xEE))
         .Integer(0xBEEF)
         .bytes,
     {L"Arg[0] = 0x00000001", L"Arg[1] = Lamp on", L"Arg[2] = BufSize(16)", L"Arg[3] = 0x0000BEEF"},
     kWalkComplete},
    {"UnknownTypesSteppedOverSilently",
     Reply()
         .Count(3)
         .Record(5, 12, std::vector<BYTE>(12, 0x11))
         .Record(7, 2, {9, 9, 9, 9})
         .Integer(0xCAFE)
         .bytes,
     {L"Arg[2] = 0x0000CAFE"},
     kWalkComplete},
    // Length 0..4 occupies 4 data bytes: the next record follows 8 bytes later.
    {"ShortRecordStillTakesEightBytes",
     Reply().Count(2).Record(2, 2, {0, 0, 0, 0}).Integer(3).bytes,
     {L"Arg[0] = BufSize(2)", L"Arg[1] = 0x00000003"},
     kWalkComplete},
    {"CountZero", Reply().Count(0).Integer(1).bytes, {}, kWalkComplete},
    {"CountMinusOne", Reply().Count(-1).Integer(1).bytes, {}, kWalkComplete},
    {"CountMinusFive", Reply().Count(-5).Integer(1).bytes, {}, kWalkComplete},
    {"CountMinimum", Reply().Count(INT_MIN).Integer(1).bytes, {}, kWalkComplete},
    {"Empty", {}, {}, kWalkComplete},
    {"ElevenBytes", std::vector<BYTE>(11, 0x7F), {}, kWalkComplete},
    {"CountWithoutRecords", Reply().Count(3).bytes, {}, kWalkTruncated},
    // A huge count: the walk ends with the bytes, not with the count.
    {"HugeCount",
     Reply().Count(0x7FFFFFFF).Integer(1).Integer(2).bytes,
     {L"Arg[0] = 0x00000001", L"Arg[1] = 0x00000002"},
     kWalkTruncated},
    {"HeaderCutInHalf", HalfHeader(), {L"Arg[0] = 0x00000001"}, kWalkTruncated},
    // Lengths that claim more data than was written.
    {"Length0xFFFF",
     Reply().Count(2).Integer(3).Record(2, 0xFFFF, {1, 2, 3, 4}).bytes,
     {L"Arg[0] = 0x00000003"},
     kWalkTruncated},
    {"LengthOneByteTooMany",
     Reply().Count(1).Record(2, 9, std::vector<BYTE>(8, 0)).bytes,
     {},
     kWalkTruncated},
    {"IntegerCutShort", Reply().Count(1).Record(0, 4, {1, 2}).bytes, {}, kWalkTruncated},
    {"UnterminatedTextCutAtItsRecordEnd", UnterminatedText(), {L"Arg[0] = abcd"}, kWalkComplete},
    {"UnterminatedTextThenInteger",
     Reply().Count(2).Text(L"abcdef", false).Integer(7).bytes,
     {L"Arg[0] = abcdef", L"Arg[1] = 0x00000007"},
     kWalkComplete},
    // A text as long as the whole reply buffer still fits its line.
    {"TextAsLongAsTheBuffer",
     Reply().Count(1).Text(kLongText).bytes,
     {L"Arg[0] = " + kLongText},
     kWalkComplete},
    {"IntegersFillingTheBuffer", IntegersFilling(kcbAcpiReply), Ones(94), kWalkTruncated},
};

class ReplyWalkRows : public ::testing::TestWithParam<WalkCase> {};

} // namespace

TEST_P(ReplyWalkRows, LinesAndEnd) {
    const WalkCase &c = GetParam();
    ASSERT_LE(c.bytes.size(), kcbAcpiReply);
    const Walk w = WalkOf(c.bytes);
    EXPECT_EQ(c.lines, w.lines);
    EXPECT_EQ(c.end, w.end);
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyWalkRows, ::testing::ValuesIn(kWalkCases),
                         RowName<WalkCase>);

// A reply too short to hold its count has none, and no line.
TEST(ReplyWalk, ShortReplyHasNoCountAndNoLine) {
    const std::vector<BYTE> counted = Reply().Count(5).bytes;
    for (size_t cb = 0; cb < 12; ++cb) {
        std::vector<BYTE> shortReply(counted.begin(), counted.begin() + cb);
        EXPECT_EQ(0, ReplyArgCount(shortReply.data(), cb)) << cb;
        EXPECT_TRUE(WalkOf(shortReply).lines.empty()) << cb;
    }
}

TEST(ReplyWalk, SummaryLineShowsCountAndBytesWritten) {
    WCHAR sz[kcchReplyLine];
    FormatReplySummary(sz, kcchReplyLine, 1, 20);
    EXPECT_STREQ(L"One_Method_Raw Succeed: KLMP ## outArgNum = 1 ## outBufSize = 20", sz);
    FormatReplySummary(sz, kcchReplyLine, -3, 0);
    EXPECT_STREQ(L"One_Method_Raw Succeed: KLMP ## outArgNum = -3 ## outBufSize = 0", sz);
}

// Random and mutated driver replies through the reply walk, each placed so that
// its last written byte is the last byte before a no-access page: a single
// read past the written bytes faults and fails the run.
namespace {

const unsigned kSeed = 20091207u;
const int kReplies = 100000;

class GuardedBuffer {
public:
    GuardedBuffer() {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        m_cbPage = si.dwPageSize;
        m_pb = static_cast<BYTE *>(
            VirtualAlloc(nullptr, 2 * m_cbPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD dwOld;
        if (m_pb != nullptr)
            VirtualProtect(m_pb + m_cbPage, m_cbPage, PAGE_NOACCESS, &dwOld);
    }
    ~GuardedBuffer() { VirtualFree(m_pb, 0, MEM_RELEASE); }
    bool Ok() const { return m_pb != nullptr; }
    // Copies the reply so that it ends right at the guard page.
    const BYTE *Place(const std::vector<BYTE> &reply) {
        BYTE *pb = m_pb + m_cbPage - reply.size();
        if (!reply.empty())
            memcpy(pb, reply.data(), reply.size());
        return pb;
    }

private:
    BYTE *m_pb = nullptr;
    size_t m_cbPage = 0;
};

// A well-formed reply of a few records, the seed of the mutations.
std::vector<BYTE> WellFormed(std::mt19937 &rng) {
    std::vector<BYTE> r(12, 0);
    const int n = static_cast<int>(rng() % 6);
    r[8] = static_cast<BYTE>(n);
    for (int i = 0; i < n; ++i) {
        const WORD type = static_cast<WORD>(rng() % 4);
        const WORD len = static_cast<WORD>(type == 0 ? 4 : rng() % 40);
        r.insert(r.end(), {BYTE(type), 0, BYTE(len), 0});
        const size_t cbData = len < 4 ? 4 : len;
        for (size_t j = 0; j < cbData; ++j)
            r.push_back(type == 1 && j + 2 >= cbData ? 0 : static_cast<BYTE>('a' + rng() % 26));
    }
    return r;
}

void Mutate(std::vector<BYTE> &r, std::mt19937 &rng) {
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits && !r.empty(); ++e) {
        switch (rng() % 5) {
        case 0: // flip a byte
            r[rng() % r.size()] ^= static_cast<BYTE>(1 + rng() % 255);
            break;
        case 1: // cut the reply short
            r.resize(rng() % r.size());
            break;
        case 2: // a huge or negative count
            if (r.size() >= 12)
                r[11] = static_cast<BYTE>(rng() % 2 ? 0x7F : 0x80);
            break;
        case 3: // a length word of 0xFFFF somewhere
        {
            const size_t at = rng() % r.size();
            r[at] = 0xFF;
            if (at + 1 < r.size())
                r[at + 1] = 0xFF;
            break;
        }
        default: // clear every terminator
            for (BYTE &b : r)
                if (b == 0)
                    b = 'x';
            break;
        }
    }
}

std::vector<BYTE> RandomBytes(std::mt19937 &rng) {
    std::vector<BYTE> r(rng() % (kcbAcpiReply + 1));
    for (BYTE &b : r)
        b = static_cast<BYTE>(rng());
    return r;
}

} // namespace

TEST(ReplyFuzz, NoReplyMakesTheWalkReadPastTheWrittenBytes) {
    GuardedBuffer guard;
    ASSERT_TRUE(guard.Ok());
    printf("reply fuzz: seed %u, %d replies\n", kSeed, kReplies);
    std::mt19937 rng(kSeed);
    size_t lines = 0;
    for (int i = 0; i < kReplies; ++i) {
        std::vector<BYTE> reply = i % 3 == 0 ? RandomBytes(rng) : WellFormed(rng);
        if (i % 3 == 2)
            Mutate(reply, rng);
        if (reply.size() > kcbAcpiReply)
            reply.resize(kcbAcpiReply);
        const BYTE *pb = guard.Place(reply);
        WalkReplyRecords(
            pb, reply.size(),
            [](LPCWSTR psz, void *p) {
                ++*static_cast<size_t *>(p);
                // Every line is terminated within its own buffer.
                if (wcslen(psz) >= kcchReplyLine)
                    abort();
            },
            &lines);
    }
    EXPECT_GT(lines, 0u);
}

TEST(ReplyFuzz, WellFormedRepliesAreWalkedCompletely) {
    std::mt19937 rng(kSeed + 1);
    GuardedBuffer guard;
    ASSERT_TRUE(guard.Ok());
    for (int i = 0; i < 2000; ++i) {
        const std::vector<BYTE> reply = WellFormed(rng);
        ASSERT_EQ(kWalkComplete,
                  WalkReplyRecords(
                      guard.Place(reply), reply.size(), [](LPCWSTR, void *) {}, nullptr));
    }
}
