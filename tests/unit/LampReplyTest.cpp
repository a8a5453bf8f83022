#include "lamp/LampReply.h"

#include <gtest/gtest.h>

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

TEST(ReplyWalk, OneLinePerKnownRecordInOrder) {
    Reply r;
    r.Count(4)
        .Integer(1)
        .Text(L"Lamp on")
        .Record(2, 16, std::vector<BYTE>(16, 0xEE))
        .Integer(0xBEEF);
    Walk w = WalkOf(r.bytes);
    EXPECT_EQ(kWalkComplete, w.end);
    EXPECT_EQ((std::vector<std::wstring>{L"Arg[0] = 0x00000001", L"Arg[1] = Lamp on",
                                         L"Arg[2] = BufSize(16)", L"Arg[3] = 0x0000BEEF"}),
              w.lines);
}

TEST(ReplyWalk, UnknownTypesAreSteppedOverSilently) {
    Reply r;
    r.Count(3)
        .Record(5, 12, std::vector<BYTE>(12, 0x11))
        .Record(7, 2, {9, 9, 9, 9})
        .Integer(0xCAFE);
    Walk w = WalkOf(r.bytes);
    EXPECT_EQ(kWalkComplete, w.end);
    EXPECT_EQ((std::vector<std::wstring>{L"Arg[2] = 0x0000CAFE"}), w.lines);
}

TEST(ReplyWalk, ShortRecordsStillTakeEightBytes) {
    // Length 0..4 occupies 4 data bytes; a 2-byte buffer record is followed
    // 8 bytes later.
    Reply r;
    r.Count(2).Record(2, 2, {0, 0, 0, 0}).Integer(3);
    EXPECT_EQ((std::vector<std::wstring>{L"Arg[0] = BufSize(2)", L"Arg[1] = 0x00000003"}),
              WalkOf(r.bytes).lines);
}

TEST(ReplyWalk, CountZeroNegativeOrMissingWalksNothing) {
    EXPECT_TRUE(WalkOf(Reply().Count(0).Integer(1).bytes).lines.empty());
    EXPECT_TRUE(WalkOf(Reply().Count(-1).Integer(1).bytes).lines.empty());
    EXPECT_TRUE(WalkOf(Reply().Count(INT_MIN).Integer(1).bytes).lines.empty());
    const std::vector<BYTE> counted = Reply().Count(5).bytes;
    for (size_t cb = 0; cb < 12; ++cb) {
        std::vector<BYTE> shortReply(counted.begin(), counted.begin() + cb);
        EXPECT_EQ(0, ReplyArgCount(shortReply.data(), cb));
        EXPECT_TRUE(WalkOf(shortReply).lines.empty());
    }
}

TEST(ReplyWalk, StopsWhereARecordWouldCrossTheEnd) {
    // A huge count: the walk ends with the bytes, not with the count.
    Walk w = WalkOf(Reply().Count(0x7FFFFFFF).Integer(1).Integer(2).bytes);
    EXPECT_EQ(kWalkTruncated, w.end);
    EXPECT_EQ(2u, w.lines.size());

    // A header cut in half.
    Reply half;
    half.Count(2).Integer(1);
    half.bytes.insert(half.bytes.end(), {0, 0});
    w = WalkOf(half.bytes);
    EXPECT_EQ(kWalkTruncated, w.end);
    EXPECT_EQ(1u, w.lines.size());

    // Lengths that claim more data than was written: 0xFFFF and one byte too many.
    EXPECT_EQ(kWalkTruncated, WalkOf(Reply().Count(1).Record(2, 0xFFFF, {1, 2, 3, 4}).bytes).end);
    EXPECT_EQ(kWalkTruncated,
              WalkOf(Reply().Count(1).Record(2, 9, std::vector<BYTE>(8, 0)).bytes).end);
    // An integer record whose data is missing.
    EXPECT_EQ(kWalkTruncated, WalkOf(Reply().Count(1).Record(0, 4, {1, 2}).bytes).end);
}

TEST(ReplyWalk, TextWithoutTerminatorIsCutAtItsRecordEnd) {
    Reply r;
    r.Count(2).Text(L"abcdef", false).Integer(7);
    EXPECT_EQ((std::vector<std::wstring>{L"Arg[0] = abcdef", L"Arg[1] = 0x00000007"}),
              WalkOf(r.bytes).lines);
    // A text as long as the whole reply buffer still fits its line.
    Reply big;
    big.Count(1).Text(std::wstring((kcbAcpiReply - 16) / 2 - 1, L'z'));
    ASSERT_LE(big.bytes.size(), kcbAcpiReply);
    Walk w = WalkOf(big.bytes);
    ASSERT_EQ(1u, w.lines.size());
    EXPECT_EQ(L"Arg[0] = " + std::wstring((kcbAcpiReply - 16) / 2 - 1, L'z'), w.lines[0]);
}

TEST(ReplyWalk, SummaryLineShowsCountAndBytesWritten) {
    WCHAR sz[kcchReplyLine];
    FormatReplySummary(sz, kcchReplyLine, 1, 20);
    EXPECT_STREQ(L"One_Method_Raw Succeed: KLMP ## outArgNum = 1 ## outBufSize = 20", sz);
    FormatReplySummary(sz, kcchReplyLine, -3, 0);
    EXPECT_STREQ(L"One_Method_Raw Succeed: KLMP ## outArgNum = -3 ## outBufSize = 0", sz);
}
