/* Stand-in for the maker's ACPI driver: a small WDM driver that accepts the
 * evaluation request under \Device\TVKACPI, keeps the lamp state the request
 * sets, records every request for the test bed and answers as the test bed
 * told it to (see AcpiStandInProtocol.h).
 *
 * A request from a native 32-bit caller holds only the address of its argument
 * record, in the caller's address space. On a 32-bit Windows the driver reads
 * the record there while the request is dispatched, in the caller's context.
 * Under Wine it runs in winedevice.exe, another process, which cannot see the
 * record: such a request is judged by its fixed fields alone and leaves the
 * lamp state unknown. */
#include <ntddk.h>

#include "AcpiStandInProtocol.h"

#define EVAL_NATIVE_LENGTH 20u
#define EVAL_WOW64_LENGTH 24u
#define EVAL_LEAD 2u
#define METHOD_KLMP ((ULONG)'K' | ((ULONG)'L' << 8) | ((ULONG)'M' << 16) | ((ULONG)'P' << 24))

/* count 1, one integer record (type 0, length 4) holding 1 */
static const UCHAR kDefaultReply[20] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 4, 0, 1, 0, 0, 0};

/* Everything below g_lock is guarded by it. */
static KSPIN_LOCK g_lock;
static AcpiStandInReply g_reply;
static AcpiStandInRequest g_ring[ACPI_STANDIN_HISTORY];
static ULONG g_total; /* evaluation requests since the last reset */
static LONG g_lamp;
static BOOLEAN g_holdArmed; /* hold the next request carrying g_holdArgument */
static ULONG g_holdArgument;
static PIRP g_heldIrp; /* the request held back, pending */
/* Set when the system is Windows, not Wine: only then does a dispatch routine
 * run in the requesting process. */
static BOOLEAN g_callerContext;

static ULONG ReadU32(const UCHAR *p) {
    return (ULONG)p[0] | ((ULONG)p[1] << 8) | ((ULONG)p[2] << 16) | ((ULONG)p[3] << 24);
}

static USHORT ReadU16(const UCHAR *p) {
    return (USHORT)(p[0] | (p[1] << 8));
}

/* Judges a request from its first bytes; fills method and argument as far as
 * they can be read. */
static ULONG JudgeRequest(const UCHAR *req, ULONG len, ULONG *method, ULONG *argument,
                          BOOLEAN *argumentKnown) {
    *method = len >= 8 ? ReadU32(req + 4) : 0;
    *argument = 0;
    *argumentKnown = FALSE;
    if (len == EVAL_WOW64_LENGTH) {
        *argument = ReadU32(req + 20);
        *argumentKnown = TRUE;
    }

    if (len != EVAL_NATIVE_LENGTH && len != EVAL_WOW64_LENGTH)
        return ACPI_REQ_BAD_LENGTH;
    if (ReadU32(req) != EVAL_LEAD)
        return ACPI_REQ_BAD_LEAD;
    if (ReadU32(req + 8) != 1)
        return ACPI_REQ_BAD_COUNT;
    if (ReadU32(req + 12) != 8)
        return ACPI_REQ_BAD_TOTAL;
    if (len == EVAL_WOW64_LENGTH) {
        if (ReadU16(req + 16) != 0 || ReadU16(req + 18) != 4)
            return ACPI_REQ_BAD_RECORD;
    } else if (ReadU32(req + 16) == 0) {
        return ACPI_REQ_BAD_ADDRESS;
    }
    return ACPI_REQ_OK;
}

#ifndef _WIN64
NTKERNELAPI PEPROCESS NTAPI IoThreadToProcess(PETHREAD thread); /* not in mingw-w64's headers */
#endif

/* The argument in the record a native request points at, when the driver runs
 * in the requesting process (only a 32-bit Windows sends such a request to a
 * driver that does) and the record there is mapped and has the integer
 * record's type and length. */
static BOOLEAN ReadNativeRecord(PIRP irp, const UCHAR *req, ULONG *argument) {
#ifdef _WIN64
    UNREFERENCED_PARAMETER(irp);
    UNREFERENCED_PARAMETER(req);
    UNREFERENCED_PARAMETER(argument);
    return FALSE;
#else
    const ULONG_PTR address = ReadU32(req + 16);
    const UCHAR *record = (const UCHAR *)address;
    if (!g_callerContext || !irp->Tail.Overlay.Thread ||
        IoThreadToProcess(irp->Tail.Overlay.Thread) != PsGetCurrentProcess() ||
        address > MmUserProbeAddress - 8 || !MmIsAddressValid((PVOID)record) ||
        !MmIsAddressValid((PVOID)(record + 7)) || ReadU16(record) != 0 || ReadU16(record + 2) != 4)
        return FALSE;
    *argument = ReadU32(record + 4);
    return TRUE;
#endif
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    UNREFERENCED_PARAMETER(device);
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* Lets an evaluation request take effect: judges it, sets the lamp, writes the
 * reply, records it and completes it. Input and output share the system
 * buffer, so the request is copied out before any reply byte is written. A
 * native request's argument, read by Evaluate, is in the IRP's driver context
 * (a known flag, then the argument). */
static NTSTATUS TakeEffect(PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG inLen = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outCap = sp->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR *buffer = (UCHAR *)irp->AssociatedIrp.SystemBuffer;
    UCHAR req[ACPI_STANDIN_MAX_REQUEST];
    ULONG kept = 0;
    ULONG method, argument, verdict, written = 0;
    ULONG_PTR information = 0;
    BOOLEAN argumentKnown;
    NTSTATUS status;
    AcpiStandInRequest *rec;
    KIRQL irql;
    ULONG i;

    RtlZeroMemory(req, sizeof(req));
    if (buffer) {
        kept = inLen < sizeof(req) ? inLen : sizeof(req);
        RtlCopyMemory(req, buffer, kept);
    }
    /* req holds zeros past the request, and judging reads no further than
     * offset 24 */
    verdict = JudgeRequest(req, inLen, &method, &argument, &argumentKnown);
    if (!buffer && inLen)
        verdict = ACPI_REQ_BAD_LENGTH;
    if (verdict == ACPI_REQ_OK && !argumentKnown && irp->Tail.Overlay.DriverContext[0]) {
        argument = (ULONG)(ULONG_PTR)irp->Tail.Overlay.DriverContext[1];
        argumentKnown = TRUE;
    }

    KeAcquireSpinLock(&g_lock, &irql);
    if (verdict != ACPI_REQ_OK) {
        status = STATUS_INVALID_PARAMETER;
    } else {
        if (method == METHOD_KLMP)
            g_lamp = argumentKnown ? (LONG)(argument & 1) : -1;
        if (g_reply.mode == ACPI_REPLY_FAIL) {
            status = STATUS_UNSUCCESSFUL;
        } else {
            const UCHAR *src = g_reply.mode == ACPI_REPLY_DEFAULT ? kDefaultReply : g_reply.bytes;
            ULONG n = g_reply.mode == ACPI_REPLY_DEFAULT ? sizeof(kDefaultReply) : g_reply.length;
            if (n > outCap)
                n = outCap;
            if (n && buffer)
                RtlCopyMemory(buffer, src, n);
            else
                n = 0;
            written = n;
            if (g_reply.mode == ACPI_REPLY_OVERSTATE)
                written += g_reply.overstate;
            information = written;
            status = STATUS_SUCCESS;
        }
    }

    g_total++;
    rec = &g_ring[(g_total - 1) % ACPI_STANDIN_HISTORY];
    RtlZeroMemory(rec, sizeof(*rec));
    rec->sequence = g_total;
    rec->inLength = inLen;
    rec->outCapacity = outCap;
    rec->verdict = verdict;
    rec->method = method;
    rec->argument = argument;
    rec->written = written;
    rec->status = (unsigned int)status;
    for (i = 0; i < kept; i++)
        rec->bytes[i] = req[i];
    KeReleaseSpinLock(&g_lock, irql);

    return Complete(irp, status, information);
}

/* Lets the held request, if any, take effect. */
static void ReleaseHeld(void) {
    PIRP held;
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    held = g_heldIrp;
    g_heldIrp = NULL;
    KeReleaseSpinLock(&g_lock, irql);
    if (held)
        TakeEffect(held);
}

/* The evaluation request: held back when the test bed armed a hold for its
 * argument, otherwise in effect at once, followed by a request held before. */
static NTSTATUS Evaluate(PIRP irp, ULONG inLen) {
    const UCHAR *buffer = (const UCHAR *)irp->AssociatedIrp.SystemBuffer;
    UCHAR req[ACPI_STANDIN_MAX_REQUEST];
    ULONG method, argument;
    BOOLEAN argumentKnown, hold = FALSE;
    KIRQL irql;
    NTSTATUS status;

    RtlZeroMemory(req, sizeof(req));
    if (buffer)
        RtlCopyMemory(req, buffer, inLen < sizeof(req) ? inLen : sizeof(req));
    irp->Tail.Overlay.DriverContext[0] = NULL;
    if (buffer && JudgeRequest(req, inLen, &method, &argument, &argumentKnown) == ACPI_REQ_OK) {
        if (!argumentKnown && ReadNativeRecord(irp, req, &argument)) {
            irp->Tail.Overlay.DriverContext[0] = (PVOID)1;
            irp->Tail.Overlay.DriverContext[1] = (PVOID)(ULONG_PTR)argument;
            argumentKnown = TRUE;
        }
        KeAcquireSpinLock(&g_lock, &irql);
        if (argumentKnown && g_holdArmed && !g_heldIrp && argument == g_holdArgument) {
            g_holdArmed = FALSE;
            g_heldIrp = irp;
            hold = TRUE;
        }
        KeReleaseSpinLock(&g_lock, irql);
    }
    if (hold) {
        IoMarkIrpPending(irp);
        return STATUS_PENDING;
    }
    status = TakeEffect(irp);
    ReleaseHeld();
    return status;
}

static NTSTATUS Hold(const UCHAR *buffer, ULONG inLen) {
    KIRQL irql;
    if (!buffer || inLen < 4)
        return STATUS_INVALID_PARAMETER;
    KeAcquireSpinLock(&g_lock, &irql);
    g_holdArmed = TRUE;
    g_holdArgument = ReadU32(buffer);
    KeReleaseSpinLock(&g_lock, irql);
    return STATUS_SUCCESS;
}

static NTSTATUS ResetState(void) {
    KIRQL irql;
    ReleaseHeld();
    KeAcquireSpinLock(&g_lock, &irql);
    g_holdArmed = FALSE;
    RtlZeroMemory(&g_reply, sizeof(g_reply));
    RtlZeroMemory(g_ring, sizeof(g_ring));
    g_reply.mode = ACPI_REPLY_DEFAULT;
    g_total = 0;
    g_lamp = -1;
    KeReleaseSpinLock(&g_lock, irql);
    return STATUS_SUCCESS;
}

static NTSTATUS SetReply(const UCHAR *buffer, ULONG inLen) {
    const ULONG head = FIELD_OFFSET(AcpiStandInReply, bytes);
    ULONG mode, length, overstate;
    KIRQL irql;

    if (!buffer || inLen < head)
        return STATUS_INVALID_PARAMETER;
    mode = ReadU32(buffer);
    length = ReadU32(buffer + 4);
    overstate = ReadU32(buffer + 8);
    /* Wine copies back as many bytes as the reply claims, read from a buffer
     * of the caller's capacity: the claim beyond it is read past that buffer
     * inside winedevice.exe, so it is kept small. */
    if (mode > ACPI_REPLY_OVERSTATE || length > ACPI_STANDIN_MAX_REPLY || inLen - head < length ||
        overstate > ACPI_STANDIN_MAX_REPLY)
        return STATUS_INVALID_PARAMETER;

    KeAcquireSpinLock(&g_lock, &irql);
    RtlZeroMemory(&g_reply, sizeof(g_reply));
    g_reply.mode = mode;
    g_reply.length = length;
    g_reply.overstate = overstate;
    RtlCopyMemory(g_reply.bytes, buffer + head, length);
    KeReleaseSpinLock(&g_lock, irql);
    return STATUS_SUCCESS;
}

static NTSTATUS GetHistory(PIRP irp, ULONG outCap) {
    AcpiStandInHistory *out = (AcpiStandInHistory *)irp->AssociatedIrp.SystemBuffer;
    ULONG count, first, i;
    KIRQL irql;

    if (!out || outCap < sizeof(AcpiStandInHistory))
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);

    RtlZeroMemory(out, sizeof(*out));
    KeAcquireSpinLock(&g_lock, &irql);
    count = g_total < ACPI_STANDIN_HISTORY ? g_total : ACPI_STANDIN_HISTORY;
    first = g_total - count; /* sequence of the oldest kept entry, minus one */
    for (i = 0; i < count; i++)
        out->requests[i] = g_ring[(first + i) % ACPI_STANDIN_HISTORY];
    out->total = g_total;
    out->lamp = g_lamp;
    out->count = count;
    out->held = g_heldIrp != NULL;
    KeReleaseSpinLock(&g_lock, irql);
    return Complete(irp, STATUS_SUCCESS, sizeof(AcpiStandInHistory));
}

static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLen = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outCap = sp->Parameters.DeviceIoControl.OutputBufferLength;

    UNREFERENCED_PARAMETER(device);
    switch (code) {
    case ACPI_STANDIN_IOCTL_EVAL:
        return Evaluate(irp, inLen);
    case ACPI_STANDIN_IOCTL_RESET:
        return Complete(irp, ResetState(), 0);
    case ACPI_STANDIN_IOCTL_SET_REPLY:
        return Complete(irp, SetReply((const UCHAR *)irp->AssociatedIrp.SystemBuffer, inLen), 0);
    case ACPI_STANDIN_IOCTL_GET_HISTORY:
        return GetHistory(irp, outCap);
    case ACPI_STANDIN_IOCTL_HOLD:
        return Complete(irp, Hold((const UCHAR *)irp->AssociatedIrp.SystemBuffer, inLen), 0);
    case ACPI_STANDIN_IOCTL_RELEASE:
        ReleaseHeld();
        return Complete(irp, STATUS_SUCCESS, 0);
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    ReleaseHeld();
    RtlInitUnicodeString(&link, ACPI_STANDIN_LINK_NAME);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject)
        IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name, link;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;

    UNREFERENCED_PARAMETER(registryPath);
    KeInitializeSpinLock(&g_lock);
    /* Wine's kernel exports the loop its driver host runs; Windows' does not. */
    RtlInitUnicodeString(&name, L"wine_ntoskrnl_main_loop");
    g_callerContext = MmGetSystemRoutineAddress(&name) == NULL;
    ResetState();

    RtlInitUnicodeString(&name, ACPI_STANDIN_DEVICE_NAME);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    RtlInitUnicodeString(&link, ACPI_STANDIN_LINK_NAME);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}
