#include "fw/WinApp.h"

#include <gtest/gtest.h>

// The framework's sequence, with a plain application object standing in for
// the launcher's: the tail reaches it, InitInstance then ExitInstance run, and
// the latter's result is the exit code.
TEST(Framework, HandsTheTailToTheOneApplicationObject) {
    EXPECT_EQ(-1, AfxWinMain(L"/d")); // no application object
    {
        CWinApp app;
        EXPECT_EQ(&app, AfxGetApp());
        EXPECT_EQ(0, AfxWinMain(L"/d"));
        EXPECT_STREQ(L"/d", app.m_lpCmdLine);
    }
    EXPECT_EQ(nullptr, AfxGetApp());
}
