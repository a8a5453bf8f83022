#include "common/FileProbe.h"

#include <gtest/gtest.h>

TEST(FileProbe, NoPathIsNoFile) {
    EXPECT_FALSE(QueryFileExistence(nullptr));
}
