// The ACPI driver stand-in, installed once for a whole test program: the
// first test that wants the device installs and starts it, and the end of the
// program removes it. Between tests the stand-in is only reset; a test that
// takes the device away leaves it to the next test that wants it to start it
// again.
#ifndef TB_STAND_IN_ENVIRONMENT_H
#define TB_STAND_IN_ENVIRONMENT_H

#include <gtest/gtest.h>

#include "AcpiStandIn.h"

namespace tb {

class StandInEnvironment : public ::testing::Environment {
public:
    // The program's one stand-in.
    static AcpiStandIn &Driver();
    // Makes the device present (started, then reset to its defaults) or
    // absent (stopped) for the test about to run. The first start of the
    // program reloads whatever an earlier run left behind.
    static ::testing::AssertionResult Ensure(bool present);

    // Ends what a program that crashed earlier left running in the sandboxes.
    void SetUp() override;
    // Removes the service when this program started it.
    void TearDown() override;
};

} // namespace tb

#endif
