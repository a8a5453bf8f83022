#include "StandInEnvironment.h"

#include <memory>

#include "ChildProcess.h"
#include "Sandbox.h"
#include "WinePath.h"

namespace tb {

namespace {

std::unique_ptr<AcpiStandIn> g_driver;
bool g_started = false; // started at least once by this program

} // namespace

AcpiStandIn &StandInEnvironment::Driver() {
    if (g_driver == nullptr)
        g_driver.reset(new AcpiStandIn(DefaultStandInSysPath()));
    return *g_driver;
}

::testing::AssertionResult StandInEnvironment::Ensure(bool present) {
    AcpiStandIn &driver = Driver();
    if (!present) {
        if (DeviceOpens() && !driver.Stop())
            return ::testing::AssertionFailure() << "the ACPI driver stand-in does not stop";
        return ::testing::AssertionSuccess();
    }
    if (!g_started || !DeviceOpens()) {
        if (!driver.Start())
            return ::testing::AssertionFailure() << "the ACPI driver stand-in does not start";
        g_started = true;
    }
    if (!driver.Reset())
        return ::testing::AssertionFailure() << "the ACPI driver stand-in does not reset";
    return ::testing::AssertionSuccess();
}

void StandInEnvironment::SetUp() {
    KillProcessesUnder(SandboxParent(), 5000);
}

void StandInEnvironment::TearDown() {
    if (g_started)
        Driver().Remove();
    g_driver.reset();
    g_started = false;
}

} // namespace tb
