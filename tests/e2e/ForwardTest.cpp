// A later press in the session of a running copy: it forwards the launch, and
// the trace switch before it, to the running copy's window and ends.
#include "E2eFixture.h"
#include "RowName.h"

using namespace tb;

struct ForwardCase {
    const char *name;
    const wchar_t *tail;
    bool forwardsSwitch; // the trace toggle, and then the launch, reach the running copy
};

// A traced copy that forwarded the press (and the switch) to the running copy.
const std::vector<ExpectedLine> kForwarded =
    CopyHead() + Note("InitInstance", "m_hLocalMutex - ERROR_ALREADY_EXISTS") + CopyExit();
const std::vector<ExpectedLine> kNothing;

class ForwardTest : public E2eTest, public ::testing::WithParamInterface<ForwardCase> {};

TEST_P(ForwardTest, PostsTheSwitchBeforeTheLaunchAndEnds) {
    HeldName local(HeldName::Mutex, kLocalMutexName);
    ASSERT_TRUE(local.Ok());
    FakeLauncherWindow running;
    ASSERT_TRUE(running.Start());
    const ForwardCase &c = GetParam();
    CopyRun run = RunToEnd(c.tail);
    ASSERT_TRUE(EndedCleanly(run));

    // Everything was posted before the copy ended: once a marker posted now
    // has arrived, nothing more may come.
    ASSERT_TRUE(running.Drain(kExitMs));
    std::vector<Received> expected;
    if (c.forwardsSwitch)
        expected.push_back({kMsgDebug, 0, 0});
    expected.push_back({kMsgExec, 0, 0});
    EXPECT_EQ(Shown(expected), Shown(running.PrivateMessages()));

    EXPECT_TRUE(MatchesExactly(run.trace, c.forwardsSwitch ? kForwarded : kNothing));
    ExpectNoDriverRequest();
}

// The debug switch as a later press passes it on: the running copy gets the
// trace toggle only for the whole switch, in any case, with blanks before it
// and nothing after it.
const ForwardCase kForwardCases[] = {
    {"Slash", L" /d", true},
    {"Dash", L" -d", true},
    {"SlashUpper", L" /D", true},
    {"DashUpper", L" -D", true},
    {"LeadingBlanks", L"     /d", true},
    {"Nothing", L"", false},
    {"TrailingBlank", L" /d ", false},
    {"FurtherWord", L" /d now", false},
    {"FurtherWordAfterDash", L" -d verbose", false},
    {"LongerWord", L" /dd", false},
    {"NoSign", L" d", false},
    {"Quoted", L" \"/d\"", false},
};

INSTANTIATE_TEST_SUITE_P(Tails, ForwardTest, ::testing::ValuesIn(kForwardCases),
                         RowName<ForwardCase>);
