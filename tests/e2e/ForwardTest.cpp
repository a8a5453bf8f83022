// A later press in the session of a running copy: it forwards the launch, and
// the trace switch before it, to the running copy's window and ends.
#include "E2eFixture.h"
#include "RowName.h"

using namespace tb;

struct ForwardCase {
    const char *name;
    const wchar_t *tail;
    std::vector<UINT> messages; // in the order the running copy must get them
    std::vector<ExpectedLine> trace;
};

void PrintTo(const ForwardCase &c, std::ostream *os) {
    *os << c.name;
}

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
    std::vector<Received> got = running.PrivateMessages();
    ASSERT_EQ(c.messages.size(), got.size()) << Shown(got);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(c.messages[i], got[i].message) << "message " << i << " of" << Shown(got);
        EXPECT_EQ(0u, got[i].wParam);
        EXPECT_EQ(0, got[i].lParam);
    }

    EXPECT_TRUE(MatchesExactly(run.trace, c.trace));
    ExpectNoDriverRequest();
}

// The debug switch as a later press passes it on: the running copy gets the
// trace toggle only for the whole switch, in any case, with blanks before it
// and nothing after it.
// A traced copy that forwarded the press (and the switch) to the running copy.
const std::vector<ExpectedLine> kForwarded =
    CopyHead() + Note("InitInstance", "m_hLocalMutex - ERROR_ALREADY_EXISTS") + CopyExit();

const ForwardCase kForwardCases[] = {
    {"Slash", L" /d", {kMsgDebug, kMsgExec}, kForwarded},
    {"Dash", L" -d", {kMsgDebug, kMsgExec}, kForwarded},
    {"SlashUpper", L" /D", {kMsgDebug, kMsgExec}, kForwarded},
    {"DashUpper", L" -D", {kMsgDebug, kMsgExec}, kForwarded},
    {"LeadingBlanks", L"     /d", {kMsgDebug, kMsgExec}, kForwarded},
    {"Nothing", L"", {kMsgExec}, {}},
    {"TrailingBlank", L" /d ", {kMsgExec}, {}},
    {"FurtherWord", L" /d now", {kMsgExec}, {}},
    {"FurtherWordAfterDash", L" -d verbose", {kMsgExec}, {}},
    {"LongerWord", L" /dd", {kMsgExec}, {}},
    {"NoSign", L" d", {kMsgExec}, {}},
    {"Quoted", L" \"/d\"", {kMsgExec}, {}},
};

INSTANTIATE_TEST_SUITE_P(Tails, ForwardTest, ::testing::ValuesIn(kForwardCases),
                         RowName<ForwardCase>);
