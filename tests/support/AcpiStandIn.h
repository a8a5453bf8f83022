// Test-bed control of the ACPI driver stand-in (standins/acpidrv): installs it
// as a kernel service of the current Wine prefix, tells it how to answer, and
// reads back the requests it saw and the lamp state they left.
#ifndef TB_ACPI_STAND_IN_H
#define TB_ACPI_STAND_IN_H

#include <windows.h>

#include <string>
#include <vector>

#include "AcpiStandInProtocol.h"
#include "Machine.h"

namespace tb {

// Installs the stand-in as a demand-start kernel service from a Windows path to
// the .sys and starts it; stops and deletes it on destruction (or on Remove()).
// Every wait is bounded. One instance per prefix at a time: the service name
// and the device name are fixed.
class AcpiStandIn {
public:
    explicit AcpiStandIn(const std::wstring &sysPath); // does not start
    ~AcpiStandIn();                                    // Remove()
    AcpiStandIn(const AcpiStandIn &) = delete;
    AcpiStandIn &operator=(const AcpiStandIn &) = delete;

    // Creates the service if needed (replacing a stale one left by an earlier
    // run), starts it and waits until the device opens (<= 10 s).
    bool Start();
    // Stops the service and waits until the device is gone (<= 10 s). True
    // when no service is left running and the device no longer opens.
    bool Stop();
    // Stops and deletes the service.
    void Remove();

    // Forgets all requests, puts the lamp state back to unknown and the reply
    // mode back to ACPI_REPLY_DEFAULT.
    bool Reset();
    // How the stand-in answers evaluation requests from now on (an
    // AcpiStandInReplyMode). At most ACPI_STANDIN_MAX_REPLY bytes.
    bool SetReply(unsigned mode, const std::vector<unsigned char> &bytes = {},
                  unsigned overstate = 0);
    bool History(AcpiStandInHistory &out);
    // -1 unknown, 0 dark, 1 lit (from History); -1 also when the stand-in
    // cannot be asked.
    int Lamp();

private:
    std::wstring sysPath_;
};

// The same requests, for a stand-in some other part of the run owns: these
// never start, stop or remove anything.
bool StandInReset();
bool StandInSetReply(unsigned mode, const std::vector<unsigned char> &bytes = {},
                     unsigned overstate = 0);
bool StandInHistory(AcpiStandInHistory &out);
int StandInLamp();
// Holds back the next request carrying `argument` until a later request has
// taken effect (it is then overtaken), or until StandInRelease().
bool StandInHold(unsigned argument);
bool StandInRelease();
// Whether a request is being held back now.
bool StandInHolding();

// The outcome of one request sent to the device, as the caller sees it.
struct DeviceReply {
    bool opened = false;             // the device could be opened
    bool ok = false;                 // the request succeeded
    DWORD error = 0;                 // GetLastError() after a failed request
    DWORD bytes = 0;                 // bytes the driver reports as written
    std::vector<unsigned char> data; // the reply buffer, `capacity` bytes
    bool overran = false;            // bytes right behind the reply buffer were written
};

// Sends `request` with control code `code` to the stand-in's device and offers
// `capacity` reply bytes (filled with 0xCC beforehand). Waits at most 10 s.
DeviceReply SendToDevice(DWORD code, const std::vector<unsigned char> &request, DWORD capacity);

// Whether "\\.\TVKACPI" opens now.
bool DeviceOpens();

// The evaluation request of the lamp method "KLMP" with `argument`, in the
// layout of a 32-bit process under WOW64 (24 bytes, record inline) or of a
// native 32-bit system (20 bytes, `recordAddress` in place of the record).
std::vector<unsigned char> LampRequest(unsigned argument, bool wow64,
                                       unsigned recordAddress = 0x00401000u);

} // namespace tb

#endif
