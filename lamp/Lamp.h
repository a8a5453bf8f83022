#pragma once

#include <windows.h>

// Lights (bOn, low byte) or puts out the indicator lamp through the firmware's
// lamp method and traces the driver's reply. No result: a failed switch is
// only traced.
void SetLightLED(BOOL bOn);
