// What the end-to-end cases cannot show on a platform, and what they need of
// the machine they run on.
#include "NotRun.h"

namespace {

using tb::Need;
using tb::Platform;

const tb::NotRunRow kNotRun[] = {
    {Platform::Windows, "LocalizedBoxTest.BuiltIniGivesEachUserTheTextOfTheirLanguage"},
    {Platform::Windows, "LocalizedBoxTest.OccupiedTextFollowsTheUserLanguageToo"},
    {Platform::Windows, "StartupTest.CopyInAnotherSessionIsRefusedWithTheOccupiedBox"},
};
const bool kNotRunKnown = (tb::RegisterNotRun(kNotRun, sizeof kNotRun / sizeof kNotRun[0]), true);

// Without the driver, the start-up cases that end before the launcher asks for
// it still run, and so do those that take it away.
const tb::NeedRow kNeeds[] = {
    {Need::Driver,
     "*-ResourceTest.*:StringsFileTest.*:LongPathTest.*:*CutModulePathTest.*:"
     "LocalizedBoxTest.*:StartupTest.MissingIniAnsweredYesThenMissingDriverShowsAnEmptyText:"
     "StartupTest.MissingDriverShowsTheLocalizedErrorBoxAndEnds"},
    {Need::UsEnglishUi, "*-ResourceTest.*"},
};
const bool kNeedsKnown = tb::RegisterNeeds(kNeeds, sizeof kNeeds / sizeof kNeeds[0]);

} // namespace
