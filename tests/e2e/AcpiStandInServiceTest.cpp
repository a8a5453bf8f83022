#include <gtest/gtest.h>

#include "AcpiStandIn.h"
#include "NotRun.h"
#include "WinePath.h"

// The service's life: a service left behind by a run that crashed (pointing at
// a build tree that is gone, or still running) must not stop the next run.
TEST(AcpiStandInServiceTest, StartReplacesAStaleServiceAndRemoveTakesEverythingAway) {
    TB_NOT_RUN_WITHOUT(tb::Need::Driver);
    // AcpiStandInTest removes the stand-in it starts: one still running here
    // was left by an earlier run, and this test would prove nothing over it.
    // It fails, and takes the stand-in away so that the next run starts clean.
    if (tb::DeviceOpens()) {
        tb::AcpiStandIn(tb::DefaultStandInSysPath()).Remove();
        FAIL() << "a driver stand-in left over from an earlier run was running (now removed)";
    }

    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm, nullptr);
    SC_HANDLE stale =
        CreateServiceW(scm, ACPI_STANDIN_SERVICE, ACPI_STANDIN_SERVICE, SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                       L"C:\\gone\\TvkAcpi.sys", nullptr, nullptr, nullptr, nullptr, nullptr);
    if (stale)
        CloseServiceHandle(stale);

    {
        tb::AcpiStandIn first(tb::DefaultStandInSysPath());
        ASSERT_TRUE(first.Start()) << "over a stale service pointing at a missing file";
        ASSERT_TRUE(tb::DeviceOpens());
        ASSERT_TRUE(tb::SendToDevice(ACPI_STANDIN_IOCTL_EVAL, tb::LampRequest(0x41, true), 768).ok);
        ASSERT_EQ(tb::StandInLamp(), 1);

        // Left running, as by a crashed run: the next Start() reloads it.
        tb::AcpiStandIn second(tb::DefaultStandInSysPath());
        ASSERT_TRUE(second.Start()) << "over a running service";
        EXPECT_EQ(tb::StandInLamp(), -1) << "the driver was not reloaded";

        EXPECT_TRUE(second.Stop());
        EXPECT_FALSE(tb::DeviceOpens());
        EXPECT_TRUE(second.Start()) << "after a stop";
        second.Remove();
        EXPECT_FALSE(tb::DeviceOpens());
    } // `first` removes again: nothing left to do, no harm done

    SC_HANDLE left = OpenServiceW(scm, ACPI_STANDIN_SERVICE, SERVICE_QUERY_STATUS);
    EXPECT_EQ(left, nullptr) << "the service is still registered";
    if (left)
        CloseServiceHandle(left);
    CloseServiceHandle(scm);
}
