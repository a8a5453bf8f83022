// Rows that one platform cannot show are reported as not run there, with the
// reason, never skipped in silence. A program names, per platform, the rows it
// may skip there (RegisterNotRun, from its main); a row skips itself with
// TB_NOT_RUN_ON, which fails instead when the program's list does not name it.
#ifndef TB_NOT_RUN_H
#define TB_NOT_RUN_H

#include <gtest/gtest.h>

#include <stddef.h>

#include "Machine.h"

namespace tb {

struct NotRunRow {
    Platform platform;
    const char *row; // "Suite.Case"
};

// Keeps the program's list and prints, for this platform, one line per row:
// "[ NOT RUN  ] on wine: Suite.Case". The test runner accepts a skip only of a
// row announced so.
void RegisterNotRun(const NotRunRow *rows, size_t count);
// Whether the list names the running case for `platform`.
bool ListedAsNotRun(Platform platform);

} // namespace tb

// In a case: on `platform`, skip with "not run on <platform>: <reason>" when
// the program lists the case, or fail when it does not.
#define TB_NOT_RUN_ON(platform, reason)                                                            \
    do {                                                                                           \
        if (::tb::ThisPlatform() == (platform)) {                                                  \
            if (!::tb::ListedAsNotRun(platform))                                                   \
                GTEST_FAIL() << "not run on " << ::tb::PlatformName(platform)                      \
                             << ", but the program's not-run list does not name this case";        \
            GTEST_SKIP() << "not run on " << ::tb::PlatformName(platform) << ": " << reason;       \
        }                                                                                          \
    } while (0)

#endif
