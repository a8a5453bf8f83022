/* Control protocol of the ACPI driver stand-in, shared by the stand-in (C,
 * kernel mode) and the test bed (C++, user mode). The product never includes
 * this file: it speaks only the evaluation request below. */
#ifndef ACPI_STANDIN_PROTOCOL_H
#define ACPI_STANDIN_PROTOCOL_H

#define ACPI_STANDIN_DEVICE_NAME L"\\Device\\TVKACPI"
#define ACPI_STANDIN_LINK_NAME L"\\DosDevices\\TVKACPI"
#define ACPI_STANDIN_USER_PATH L"\\\\.\\TVKACPI"
#define ACPI_STANDIN_SERVICE L"TvkAcpiStandIn"

/* The one request the product sends: evaluate a method with one argument. */
#define ACPI_STANDIN_IOCTL_EVAL 0x00222404u

/* Test-bed requests (device type 0x22, buffered, any access). */
#define ACPI_STANDIN_CTL(fn) ((0x22u << 16) | ((unsigned)(fn) << 2))
#define ACPI_STANDIN_IOCTL_RESET ACPI_STANDIN_CTL(0xA00)       /* no input, no output */
#define ACPI_STANDIN_IOCTL_SET_REPLY ACPI_STANDIN_CTL(0xA01)   /* in: AcpiStandInReply */
#define ACPI_STANDIN_IOCTL_GET_HISTORY ACPI_STANDIN_CTL(0xA02) /* out: AcpiStandInHistory */
#define ACPI_STANDIN_IOCTL_HOLD ACPI_STANDIN_CTL(0xA03)        /* in: unsigned int argument */
#define ACPI_STANDIN_IOCTL_RELEASE ACPI_STANDIN_CTL(0xA04)     /* no input, no output */

/* HOLD arms the stand-in to hold back the next well-formed evaluation request
 * whose argument is the given value: the caller's request stays pending and
 * neither takes effect nor is recorded. The held request takes effect (and
 * completes) right after the next evaluation request has taken effect, so that
 * a later request overtakes it, or on RELEASE, or on RESET, whichever comes
 * first. The caller's DeviceIoControl returns only then. */

/* How the stand-in answers evaluation requests until told otherwise. */
enum AcpiStandInReplyMode {
    ACPI_REPLY_DEFAULT = 0,  /* count 1, one integer record of value 1 (20 bytes) */
    ACPI_REPLY_BYTES = 1,    /* exactly the given bytes (cut to the caller's capacity) */
    ACPI_REPLY_FAIL = 2,     /* the request fails (STATUS_UNSUCCESSFUL) */
    ACPI_REPLY_OVERSTATE = 3 /* the given bytes, but claims `overstate` more bytes written */
};
/* Every reply is cut to the caller's capacity, the default one included; a
 * refused (malformed) request gets no reply bytes. RESET also puts the reply
 * mode back to ACPI_REPLY_DEFAULT.
 * Under Wine the claimed count of ACPI_REPLY_OVERSTATE reaches the caller
 * unchanged (DeviceIoControl reports it as the bytes returned, even beyond the
 * caller's capacity), while at most the capacity is copied into the caller's
 * buffer. `overstate` is limited to ACPI_STANDIN_MAX_REPLY. */

#define ACPI_STANDIN_MAX_REPLY 1024u
#define ACPI_STANDIN_MAX_REQUEST 32u
#define ACPI_STANDIN_HISTORY 64u

typedef struct AcpiStandInReply {
    unsigned int mode;      /* AcpiStandInReplyMode */
    unsigned int length;    /* bytes used in `bytes` */
    unsigned int overstate; /* ACPI_REPLY_OVERSTATE only */
    unsigned char bytes[ACPI_STANDIN_MAX_REPLY];
} AcpiStandInReply;

/* Why a request was judged malformed; 0 when it was well formed. */
enum AcpiStandInVerdict {
    ACPI_REQ_OK = 0,
    ACPI_REQ_BAD_LENGTH = 1, /* neither 20 nor 24 bytes */
    ACPI_REQ_BAD_LEAD = 2,   /* leading word is not 2 */
    ACPI_REQ_BAD_COUNT = 3,  /* argument count is not 1 */
    ACPI_REQ_BAD_TOTAL = 4,  /* total argument length is not 8 */
    ACPI_REQ_BAD_RECORD = 5, /* inline record is not type 0, length 4 */
    ACPI_REQ_BAD_ADDRESS = 6 /* native layout with a null address */
};

/* Requests are recorded in the order they take effect. */
typedef struct AcpiStandInRequest {
    unsigned int sequence;                         /* 1 for the first request after a reset */
    unsigned int inLength;                         /* request bytes received */
    unsigned int outCapacity;                      /* reply capacity the caller offered */
    unsigned int verdict;                          /* AcpiStandInVerdict */
    unsigned int method;                           /* method name word (offset 4), 0 if too short */
    unsigned int argument;                         /* the integer argument, 0 when not readable */
    unsigned int written;                          /* bytes reported as written, 0 on failure */
    unsigned int status;                           /* NTSTATUS the request completed with */
    unsigned char bytes[ACPI_STANDIN_MAX_REQUEST]; /* first request bytes */
} AcpiStandInRequest;

typedef struct AcpiStandInHistory {
    unsigned int total; /* evaluation requests since the last reset (may exceed the table) */
    int lamp;           /* -1 unknown, else bit 0 of the last well-formed lamp argument */
    unsigned int count; /* entries filled in `requests`: the most recent ones, oldest first */
    unsigned int held;  /* 1 while a request is held back (see HOLD) */
    AcpiStandInRequest requests[ACPI_STANDIN_HISTORY];
} AcpiStandInHistory;

#endif
