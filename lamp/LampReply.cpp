#include "lamp/LampReply.h"

#include "common/StrFormat.h"

static WORD GetU16(const BYTE *pb) {
    return static_cast<WORD>(pb[0] | pb[1] << 8);
}

static DWORD GetU32(const BYTE *pb) {
    return static_cast<DWORD>(GetU16(pb)) | static_cast<DWORD>(GetU16(pb + 2)) << 16;
}

enum : WORD {
    kArgInteger = 0,
    kArgString = 1,
    kArgBuffer = 2,
};

LONG ReplyArgCount(const BYTE *pbReply, size_t cbReply) {
    if (pbReply == NULL || cbReply < kcbReplyCountEnd)
        return 0;
    return static_cast<LONG>(GetU32(pbReply + 8));
}

void FormatReplySummary(LPWSTR pszLine, size_t cch, LONG nCount, DWORD cbWritten) {
    FormatBounded(pszLine, cch,
                  L"One_Method_Raw Succeed: KLMP ## outArgNum = %d ## outBufSize = %d",
                  static_cast<int>(nCount), static_cast<int>(cbWritten));
}

// Copies the wide text starting at pbData, at most cbData bytes of it, up to
// its terminator. The bytes are read one by one: a record may start at any
// offset.
static void CopyRecordText(LPWSTR pszDst, size_t cch, const BYTE *pbData, size_t cbData) {
    size_t n = 0;
    for (size_t ib = 0; ib + 1 < cbData && n + 1 < cch; ib += 2) {
        WCHAR ch = static_cast<WCHAR>(GetU16(pbData + ib));
        if (ch == L'\0')
            break;
        pszDst[n++] = ch;
    }
    pszDst[n] = L'\0';
}

ReplyWalkEnd WalkReplyRecords(const BYTE *pbReply, size_t cbReply, ReplyLineFn pfnLine,
                              void *pContext) {
    const LONG nCount = ReplyArgCount(pbReply, cbReply);
    size_t off = kcbReplyCountEnd;
    for (LONG i = 0; i < nCount; ++i) {
        if (cbReply - off < 4)
            return kWalkTruncated;
        const WORD wType = GetU16(pbReply + off);
        const WORD cbLength = GetU16(pbReply + off + 2);
        const size_t cbData = cbLength < 4 ? 4 : cbLength;
        if (cbReply - off - 4 < cbData)
            return kWalkTruncated;
        const BYTE *pbData = pbReply + off + 4;

        WCHAR szLine[kcchReplyLine] = {};
        switch (wType) {
        case kArgInteger:
            FormatBounded(szLine, kcchReplyLine, L"Arg[%d] = 0x%.8X", static_cast<int>(i),
                          GetU32(pbData));
            break;
        case kArgString: {
            WCHAR szText[kcbAcpiReply / 2 + 1] = {};
            CopyRecordText(szText, sizeof szText / sizeof szText[0], pbData, cbData);
            FormatBounded(szLine, kcchReplyLine, L"Arg[%d] = %s", static_cast<int>(i), szText);
            break;
        }
        case kArgBuffer:
            FormatBounded(szLine, kcchReplyLine, L"Arg[%d] = BufSize(%d)", static_cast<int>(i),
                          static_cast<int>(cbLength));
            break;
        default:
            break;
        }
        if (szLine[0] != L'\0')
            pfnLine(szLine, pContext);
        // The record was checked to lie inside the reply, so this stays inside it.
        off += cbLength <= 4 ? 8 : 4 + static_cast<size_t>(cbLength);
    }
    return kWalkComplete;
}
