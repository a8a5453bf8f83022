// Random and mutated driver replies through the reply walk, each placed so that
// its last written byte is the last byte before a no-access page: a single
// read past the written bytes faults and fails the run.
#include "lamp/LampReply.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <random>
#include <vector>

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
