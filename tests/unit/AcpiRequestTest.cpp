#include "lamp/AcpiRequest.h"

#include <gtest/gtest.h>

#include <vector>

static std::vector<BYTE> Bytes(const BYTE *pb, size_t cb) {
    return std::vector<BYTE>(pb, pb + cb);
}

TEST(AcpiRequest, MethodNameKeepsReadingOrderFromTheLowestByte) {
    EXPECT_EQ(0x504D4C4Bu, AcpiMethodName("KLMP"));
}

TEST(AcpiRequest, Wow64LayoutCarriesTheRecordInline) {
    BYTE abRecord[kcbAcpiArgRecord];
    BuildAcpiArgRecord(abRecord, 0x41);
    BYTE abRequest[kcbAcpiRequestMax];
    ASSERT_EQ(24u, BuildAcpiRequest(abRequest, AcpiMethodName("KLMP"), abRecord, 0x12345678, true));
    const std::vector<BYTE> expected = {
        2,    0,   0,   0,   // leading word
        'K',  'L', 'M', 'P', // method
        1,    0,   0,   0,   // one argument
        8,    0,   0,   0,   // total record bytes
        0,    0,   4,   0,   // integer, 4 bytes
        0x41, 0,   0,   0,   // the argument
    };
    EXPECT_EQ(expected, Bytes(abRequest, 24));
}

TEST(AcpiRequest, NativeLayoutCarriesTheRecordAddress) {
    BYTE abRecord[kcbAcpiArgRecord];
    BuildAcpiArgRecord(abRecord, 0x40);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 4, 0, 0x40, 0, 0, 0}), Bytes(abRecord, 8));
    BYTE abRequest[kcbAcpiRequestMax];
    ASSERT_EQ(20u,
              BuildAcpiRequest(abRequest, AcpiMethodName("KLMP"), abRecord, 0x00AB12F0, false));
    const std::vector<BYTE> expected = {
        2, 0, 0, 0, 'K', 'L', 'M',  'P',  1,    0,
        0, 0, 8, 0, 0,   0,   0xF0, 0x12, 0xAB, 0x00, // address, little-endian
    };
    EXPECT_EQ(expected, Bytes(abRequest, 20));
}
