#include "NotRun.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

namespace tb {

namespace {
const NotRunRow *g_rows = nullptr;
size_t g_count = 0;
} // namespace

void RegisterNotRun(const NotRunRow *rows, size_t count) {
    g_rows = rows;
    g_count = count;
    for (size_t i = 0; i < count; ++i)
        if (rows[i].platform == ThisPlatform())
            printf("[ NOT RUN  ] on %s: %s\n", PlatformName(rows[i].platform), rows[i].row);
    fflush(stdout);
}

bool ListedAsNotRun(Platform platform) {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info)
        return false;
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (size_t i = 0; i < g_count; ++i)
        if (g_rows[i].platform == platform && name == g_rows[i].row)
            return true;
    return false;
}

} // namespace tb
