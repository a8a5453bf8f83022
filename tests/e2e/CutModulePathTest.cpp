// A launcher whose own path does not fit the 260-character buffer that holds
// it: the path would come back cut, so the copy refuses with an error line.
#include "LongPath.h"

using namespace tb;

class CutModulePathTest : public LongPathTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CutModulePathTest, RefusesWithAnErrorLine) {
    Install(GetParam(), L"Avenor.exe");
    ASSERT_GE(sandbox_->ExePath().size(), 260u);
    // The ordinary process creation takes no such path; Wine's loader does.
    ChildProcess &copy = LaunchThroughLoader(L" /d");
    ExpectRefusal(copy,
                  CopyHead() +
                      Error("InitInstance", "GetModuleFileName failed", ERROR_INSUFFICIENT_BUFFER) +
                      CopyExit());
}

INSTANTIATE_TEST_SUITE_P(FolderLengths, CutModulePathTest, ::testing::Values(250u, 300u),
                         [](const ::testing::TestParamInfo<size_t> &p) {
                             return "FolderOf" + std::to_string(p.param);
                         });
