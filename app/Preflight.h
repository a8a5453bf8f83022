#pragma once

// True when the ACPI driver's device can be opened; nothing is sent to it.
bool CheckAcpiDriver();
