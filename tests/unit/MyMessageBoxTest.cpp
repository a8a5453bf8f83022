#include "diag/MyMessageBox.h"

#include <gtest/gtest.h>

TEST(BoxStyle, TypesMapToIconAndButtons) {
    UINT u;
    ASSERT_TRUE(BoxStyleForType(0, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), u);
    ASSERT_TRUE(BoxStyleForType(1, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), u);
    ASSERT_TRUE(BoxStyleForType(2, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION | MB_YESNO), u);
    ASSERT_TRUE(BoxStyleForType(3, &u));
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), u);
    EXPECT_FALSE(BoxStyleForType(4, &u));
    EXPECT_FALSE(BoxStyleForType(-1, &u));
    // An unknown type shows nothing and answers -1.
    EXPECT_EQ(-1, MyMessageBox(7, L"IDS_CHKTAVRIK"));
}
