// The program's entry point: hands over to the framework.
#include "fw/CmdLineText.h"
#include "fw/WinApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow) {
    // The runtime's own tail of the command line differs between runtimes in
    // how it treats the blanks after the name; derive it the framework's way.
    return AfxWinMain(hInstance, SkipProgramName(GetCommandLineW()), nCmdShow);
}
