// The program's entry point: hands over to the framework.
#include "fw/CmdLineText.h"
#include "fw/WinApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    // The runtime's own tail of the command line differs between runtimes in
    // how it treats the blanks after the name; derive it the framework's way.
    return AfxWinMain(SkipProgramName(GetCommandLineW()));
}
