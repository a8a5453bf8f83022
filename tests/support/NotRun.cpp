#include "NotRun.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

namespace tb {

namespace {
const NotRunRow *g_rows = nullptr;
size_t g_count = 0;
const NeedRow *g_needs = nullptr;
size_t g_needCount = 0;

std::string NameOf(const ::testing::TestInfo &info) {
    return std::string(info.test_suite_name()) + "." + info.name();
}

bool Glob(const char *pattern, const char *name) {
    if (*pattern == '*')
        return Glob(pattern + 1, name) || (*name != '\0' && Glob(pattern, name + 1));
    if (*pattern == '\0')
        return *name == '\0';
    return *pattern == *name && Glob(pattern + 1, name + 1);
}

// Whether one of the ':'-separated patterns in [from, to) matches `name`.
bool AnyMatches(const std::string &patterns, size_t from, size_t to, const std::string &name) {
    while (from < to) {
        size_t end = patterns.find(':', from);
        end = end == std::string::npos || end > to ? to : end;
        if (Glob(patterns.substr(from, end - from).c_str(), name.c_str()))
            return true;
        from = end + 1;
    }
    return false;
}

// Whether a test filter ("positive-negative") selects `name`.
bool Selects(const std::string &filter, const std::string &name) {
    const size_t minus = filter.find('-');
    const size_t end = minus == std::string::npos ? filter.size() : minus;
    return AnyMatches(filter, 0, end, name) &&
           (minus == std::string::npos || !AnyMatches(filter, minus + 1, filter.size(), name));
}

// Why the machine lacks `need`; empty when it has it.
std::string Reason(Need need) {
    if (need == Need::Driver) {
        char set[8] = "";
        return GetEnvironmentVariableA("AVENOR_NO_DRIVER", set, sizeof set) > 0
                   ? "run without the driver (AVENOR_NO_DRIVER, run.cmd /nodriver): the case "
                     "needs the ACPI driver stand-in"
                   : "";
    }
    const LANGID ui = GetUserDefaultUILanguage();
    char text[160] = "";
    if (ui != 0x0409)
        snprintf(text, sizeof text,
                 "the user's UI language is 0x%04X: the case compares the launcher's texts with "
                 "its US English ones (0x0409)",
                 ui);
    return text;
}

bool Needs(Need need, const std::string &name) {
    for (size_t i = 0; i < g_needCount; ++i)
        if (g_needs[i].need == need && Selects(g_needs[i].cases, name))
            return true;
    return false;
}

// Announces, before the first case, the cases the machine lacks a need of.
class NeedsAnnouncement : public ::testing::Environment {
public:
    void SetUp() override {
        ::testing::UnitTest &all = *::testing::UnitTest::GetInstance();
        for (Need need : {Need::Driver, Need::UsEnglishUi}) {
            if (Reason(need).empty())
                continue;
            for (int s = 0; s < all.total_test_suite_count(); ++s) {
                const ::testing::TestSuite &suite = *all.GetTestSuite(s);
                for (int t = 0; t < suite.total_test_count(); ++t) {
                    const ::testing::TestInfo &info = *suite.GetTestInfo(t);
                    if (info.should_run() && Needs(need, NameOf(info)))
                        printf("[ NOT RUN  ] on %s: %s\n", PlatformName(ThisPlatform()),
                               NameOf(info).c_str());
                }
            }
        }
        fflush(stdout);
    }
};
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
    const std::string name = NameOf(*info);
    for (size_t i = 0; i < g_count; ++i)
        if (g_rows[i].platform == platform && name == g_rows[i].row)
            return true;
    return false;
}

bool RegisterNeeds(const NeedRow *rows, size_t count) {
    g_needs = rows;
    g_needCount = count;
    ::testing::AddGlobalTestEnvironment(new NeedsAnnouncement);
    return true;
}

bool Lacks(Need need) {
    return !Reason(need).empty();
}

std::string Lacking(Need need) {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info != nullptr && Needs(need, NameOf(*info)) ? Reason(need) : "";
}

} // namespace tb
