#include "AcpiStandIn.h"

#include "Poll.h"

#include <cstdio>
#include <cstring>

namespace tb {

namespace {

const DWORD kWaitMs = 10000;
const DWORD kPollMs = 50;
const DWORD kGuardBytes = 64;
const BYTE kGuardFill = 0xA5;

// A service-manager handle closed on scope exit.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE h = nullptr) : h_(h) {}
    ~ScHandle() { Reset(); }
    ScHandle(const ScHandle &) = delete;
    ScHandle &operator=(const ScHandle &) = delete;
    void Reset(SC_HANDLE h = nullptr) {
        if (h_)
            CloseServiceHandle(h_);
        h_ = h;
    }
    SC_HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_;
};

// Milliseconds left until `deadline` (a GetTickCount() value), 0 once passed.
DWORD Remaining(DWORD deadline) {
    DWORD now = GetTickCount();
    return static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
}

// Failures of the test bed's own plumbing go to stderr, so that a failing test
// says which step broke.
void Complain(const char *what, DWORD error) {
    std::fprintf(stderr, "AcpiStandIn: %s failed, error %lu\n", what,
                 static_cast<unsigned long>(error));
}

bool WaitDevice(bool present, DWORD deadline) {
    return PollUntil(Remaining(deadline), kPollMs, [present] { return DeviceOpens() == present; });
}

bool WaitServiceState(SC_HANDLE svc, DWORD state, DWORD deadline) {
    bool queried = true;
    return PollUntil(Remaining(deadline), kPollMs,
                     [&] {
                         SERVICE_STATUS st = {};
                         queried = queried && QueryServiceStatus(svc, &st);
                         return !queried || st.dwCurrentState == state;
                     }) &&
           queried;
}

// Asks a running service to stop and waits until it has.
bool StopService(SC_HANDLE svc, DWORD deadline) {
    SERVICE_STATUS st = {};
    if (!QueryServiceStatus(svc, &st)) {
        Complain("QueryServiceStatus", GetLastError());
        return false;
    }
    if (st.dwCurrentState == SERVICE_STOPPED)
        return true;
    if (st.dwCurrentState != SERVICE_STOP_PENDING &&
        !ControlService(svc, SERVICE_CONTROL_STOP, &st)) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE) {
            Complain("ControlService(STOP)", error);
            return false;
        }
    }
    if (WaitServiceState(svc, SERVICE_STOPPED, deadline))
        return true;
    Complain("waiting for the service to stop", WAIT_TIMEOUT);
    return false;
}

SC_HANDLE CreateStandInService(SC_HANDLE scm, const std::wstring &sysPath, DWORD deadline) {
    SC_HANDLE svc = nullptr;
    DWORD error = 0;
    // A service deleted a moment ago may linger until its last handle closes.
    PollUntil(Remaining(deadline), kPollMs, [&] {
        svc = CreateServiceW(scm, ACPI_STANDIN_SERVICE, ACPI_STANDIN_SERVICE, SERVICE_ALL_ACCESS,
                             SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                             sysPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        error = svc != nullptr ? 0 : GetLastError();
        return svc != nullptr ||
               (error != ERROR_SERVICE_MARKED_FOR_DELETE && error != ERROR_SERVICE_EXISTS);
    });
    if (svc == nullptr)
        Complain("CreateServiceW", error);
    return svc;
}

void PutU32(std::vector<unsigned char> &v, unsigned value) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

} // namespace

AcpiStandIn::AcpiStandIn(const std::wstring &sysPath) : sysPath_(sysPath) {}

AcpiStandIn::~AcpiStandIn() {
    Remove();
}

bool AcpiStandIn::Start() {
    const DWORD deadline = GetTickCount() + kWaitMs;
    ScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!scm) {
        Complain("OpenSCManagerW", GetLastError());
        return false;
    }

    // A service of that name may be left over from a run that crashed, possibly
    // still running and pointing at another build: stop it and re-point it.
    ScHandle svc(OpenServiceW(scm.Get(), ACPI_STANDIN_SERVICE, SERVICE_ALL_ACCESS));
    if (svc) {
        if (!StopService(svc.Get(), deadline))
            return false;
        if (!ChangeServiceConfigW(svc.Get(), SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_IGNORE, sysPath_.c_str(), nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr)) {
            DeleteService(svc.Get());
            svc.Reset();
        }
    }
    if (!svc)
        svc.Reset(CreateStandInService(scm.Get(), sysPath_, deadline));
    if (!svc)
        return false;

    if (!StartServiceW(svc.Get(), 0, nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_ALREADY_RUNNING) {
            Complain("StartServiceW", error);
            return false;
        }
    }
    if (WaitDevice(true, deadline))
        return true;
    Complain("waiting for the device to open", WAIT_TIMEOUT);
    return false;
}

bool AcpiStandIn::Stop() {
    const DWORD deadline = GetTickCount() + kWaitMs;
    ScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!scm) {
        Complain("OpenSCManagerW", GetLastError());
        return false;
    }
    ScHandle svc(OpenServiceW(scm.Get(), ACPI_STANDIN_SERVICE, SERVICE_ALL_ACCESS));
    if (svc && !StopService(svc.Get(), deadline))
        return false;
    if (WaitDevice(false, deadline))
        return true;
    Complain("waiting for the device to go", WAIT_TIMEOUT);
    return false;
}

void AcpiStandIn::Remove() {
    Stop();
    ScHandle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!scm)
        return;
    ScHandle svc(OpenServiceW(scm.Get(), ACPI_STANDIN_SERVICE, SERVICE_ALL_ACCESS));
    if (svc && !DeleteService(svc.Get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        Complain("DeleteService", GetLastError());
}

bool AcpiStandIn::Reset() {
    return StandInReset();
}

bool AcpiStandIn::SetReply(unsigned mode, const std::vector<unsigned char> &bytes,
                           unsigned overstate) {
    return StandInSetReply(mode, bytes, overstate);
}

bool AcpiStandIn::History(AcpiStandInHistory &out) {
    return StandInHistory(out);
}

int AcpiStandIn::Lamp() {
    return StandInLamp();
}

bool StandInReset() {
    return SendToDevice(ACPI_STANDIN_IOCTL_RESET, {}, 0).ok;
}

bool StandInSetReply(unsigned mode, const std::vector<unsigned char> &bytes, unsigned overstate) {
    if (bytes.size() > ACPI_STANDIN_MAX_REPLY)
        return false;
    std::vector<unsigned char> request;
    PutU32(request, mode);
    PutU32(request, static_cast<unsigned>(bytes.size()));
    PutU32(request, overstate);
    request.insert(request.end(), bytes.begin(), bytes.end());
    return SendToDevice(ACPI_STANDIN_IOCTL_SET_REPLY, request, 0).ok;
}

bool StandInHistory(AcpiStandInHistory &out) {
    DeviceReply r = SendToDevice(ACPI_STANDIN_IOCTL_GET_HISTORY, {}, sizeof(AcpiStandInHistory));
    if (!r.ok || r.bytes != sizeof(AcpiStandInHistory))
        return false;
    std::memcpy(&out, r.data.data(), sizeof(out));
    return true;
}

int StandInLamp() {
    AcpiStandInHistory h;
    return StandInHistory(h) ? h.lamp : -1;
}

bool StandInHold(unsigned argument) {
    std::vector<unsigned char> request;
    PutU32(request, argument);
    return SendToDevice(ACPI_STANDIN_IOCTL_HOLD, request, 0).ok;
}

bool StandInRelease() {
    return SendToDevice(ACPI_STANDIN_IOCTL_RELEASE, {}, 0).ok;
}

bool StandInHolding() {
    AcpiStandInHistory h;
    return StandInHistory(h) && h.held != 0;
}

DeviceReply SendToDevice(DWORD code, const std::vector<unsigned char> &request, DWORD capacity) {
    DeviceReply r;
    HANDLE device = CreateFileW(ACPI_STANDIN_USER_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        r.error = GetLastError();
        return r;
    }
    r.opened = true;

    // Request, reply and a guard behind the reply live in one heap block that
    // outlives a request the driver never finishes (then it is left allocated
    // on purpose).
    const DWORD inLen = static_cast<DWORD>(request.size());
    BYTE *block =
        static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, inLen + capacity + kGuardBytes));
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!block || !done) {
        r.error = GetLastError();
        if (block)
            HeapFree(GetProcessHeap(), 0, block);
        if (done)
            CloseHandle(done);
        CloseHandle(device);
        return r;
    }
    BYTE *in = block;
    BYTE *out = block + inLen;
    if (inLen)
        std::memcpy(in, request.data(), inLen);
    std::memset(out, 0xCC, capacity);
    std::memset(out + capacity, kGuardFill, kGuardBytes);

    OVERLAPPED ov = {};
    ov.hEvent = done;
    BOOL ok = DeviceIoControl(device, code, inLen ? in : nullptr, inLen, capacity ? out : nullptr,
                              capacity, nullptr, &ov);
    bool finished = true;
    DWORD error = ok ? 0 : GetLastError();
    if (error == ERROR_IO_PENDING) {
        if (WaitForSingleObject(done, kWaitMs) != WAIT_OBJECT_0) {
            CancelIo(device);
            finished = WaitForSingleObject(done, 1000) == WAIT_OBJECT_0;
        }
    }
    if (!finished) {
        r.error = WAIT_TIMEOUT;
    } else {
        // A request refused at once leaves the OVERLAPPED untouched.
        if (ok || error == ERROR_IO_PENDING) {
            DWORD bytes = 0;
            ok = GetOverlappedResult(device, &ov, &bytes, FALSE);
            error = ok ? 0 : GetLastError();
            r.bytes = bytes;
        }
        r.ok = ok != FALSE;
        r.error = error;
        r.data.assign(out, out + capacity);
        for (DWORD i = 0; i < kGuardBytes; ++i)
            r.overran = r.overran || out[capacity + i] != kGuardFill;
    }
    CloseHandle(device);
    if (finished) {
        HeapFree(GetProcessHeap(), 0, block);
        CloseHandle(done);
    }
    return r;
}

bool DeviceOpens() {
    HANDLE device =
        CreateFileW(ACPI_STANDIN_USER_PATH, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(device);
    return true;
}

std::vector<unsigned char> LampRequest(unsigned argument, bool wow64, unsigned recordAddress) {
    std::vector<unsigned char> v;
    PutU32(v, 2);
    v.insert(v.end(), {'K', 'L', 'M', 'P'});
    PutU32(v, 1);
    PutU32(v, 8);
    if (wow64) {
        PutU32(v, 4u << 16); // type 0, length 4
        PutU32(v, argument);
    } else {
        PutU32(v, recordAddress);
    }
    return v;
}

} // namespace tb
