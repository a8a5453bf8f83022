#include "E2eFixture.h"

using namespace tb;

class Smoke : public E2eTest {
protected:
    Smoke() { startDriver_ = false; }
};

TEST_F(Smoke, Smoke)
{
    ChildProcess &c = Launch(L" /d");
    BoxView b = WaitForBoxOf(c);
    printf("box %p caption=%ls text=%ls ok=%d yes=%d no=%d cancel=%d\n", (void*)b.hwnd, b.caption.c_str(), b.text.c_str(), b.ok, b.yes, b.no, b.cancel);
    EXPECT_TRUE(PressButton(b.hwnd, IDOK, kPressMs));
    CopyRun run = Finish(c);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    for (auto &l : run.trace)
        printf("LINE: [%s]\n", l.c_str());
}
