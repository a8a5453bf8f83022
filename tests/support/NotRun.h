// Rows that one platform cannot show are reported as not run there, with the
// reason, never skipped in silence. A program names, per platform, the rows it
// may skip there (RegisterNotRun, from its main); a row skips itself with
// TB_NOT_RUN_ON, which fails instead when the program's list does not name it.
// The same holds for what a row needs of the machine beyond its platform
// (RegisterNeeds, TB_NOT_RUN_WITHOUT).
#ifndef TB_NOT_RUN_H
#define TB_NOT_RUN_H

#include <gtest/gtest.h>

#include <stddef.h>

#include <string>

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

// What a case may need of the machine.
enum class Need {
    Driver,      // the driver stand-in: not on a run without it (AVENOR_NO_DRIVER=1)
    UsEnglishUi, // the user's UI language is US English, the language of the expected texts
};
struct NeedRow {
    Need need;
    const char *cases; // a test filter: "*", "Suite.*", "A.b:C.*-D.e"
};
// Keeps the program's list (call it while the program starts, before its
// cases run). For every need the machine lacks, the start of the run
// announces the cases the list selects, as RegisterNotRun does.
bool RegisterNeeds(const NeedRow *rows, size_t count);
// Whether this machine lacks `need`, whatever the case.
bool Lacks(Need need);
// Why the running case is not run here: empty when the machine has every need
// of `need` the program's list gives the case.
std::string Lacking(Need need);

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

// In a case or its fixture's SetUp: skip with "not run on <platform>: <reason>"
// when the machine lacks what the program's list says the case needs.
#define TB_NOT_RUN_WITHOUT(need)                                                                   \
    do {                                                                                           \
        const std::string lacking_ = ::tb::Lacking(need);                                          \
        if (!lacking_.empty())                                                                     \
            GTEST_SKIP() << "not run on " << ::tb::PlatformName(::tb::ThisPlatform()) << ": "      \
                         << lacking_;                                                              \
    } while (0)

#endif
