// Reading the driver's reply: a signed result count at offset 8, then that many
// records from offset 12, each a u16 type, a u16 length and max(length, 4)
// data bytes, packed back to back.
#pragma once

#include <windows.h>

enum : size_t {
    kcbAcpiReply = 768,    // the reply buffer the lamp switch offers
    kcchReplyLine = 512,   // one formatted record line, terminator included
    kcbReplyCountEnd = 12, // the count occupies bytes 8..11
};

// Why the walk ended.
enum ReplyWalkEnd {
    kWalkComplete = 0,  // every counted record was read
    kWalkTruncated = 1, // a record would have crossed the end of the reply
};

// Receives one formatted record line ("Arg[i] = ...").
typedef void (*ReplyLineFn)(LPCWSTR pszLine, void *pContext);

// The result count, or 0 when the reply is too short to hold one.
LONG ReplyArgCount(const BYTE *pbReply, size_t cbReply);

// Formats the success line for a reply of cbWritten bytes holding nCount results.
void FormatReplySummary(LPWSTR pszLine, size_t cch, LONG nCount, DWORD cbWritten);

// Walks the records of a reply and hands one line per integer, text or buffer
// record to pfnLine; other types are stepped over silently. Only the first
// cbReply bytes are read (the bytes the driver wrote, already limited to the
// buffer): a record whose header or data would cross that end stops the walk,
// and a text is cut at the end of its record's data when it has no terminator.
ReplyWalkEnd WalkReplyRecords(const BYTE *pbReply, size_t cbReply, ReplyLineFn pfnLine,
                              void *pContext);
