// Message boxes of another process: found by owner process and caption, read
// (caption, text, buttons) and answered as a user would.
#ifndef TB_MESSAGE_BOXES_H
#define TB_MESSAGE_BOXES_H

#include <windows.h>

#include <string>
#include <vector>

namespace tb {

// The caption of every box the launcher shows.
extern const wchar_t kBoxCaption[];

struct BoxView {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text; // the static control with id 0xFFFF
    bool ok = false;
    bool cancel = false;
    bool yes = false;
    bool no = false;
    // MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING or MB_ICONINFORMATION, by
    // the system icon the box shows; 0 for none or one not known. Read on
    // Windows only: under Wine a box's icon cannot be read from another process.
    unsigned icon = 0;
};

// The style a box was asked for, as far as its window shows it: the icon and
// the buttons (MB_OK, MB_OKCANCEL, MB_YESNO, MB_YESNOCANCEL).
unsigned StyleOf(const BoxView &box);

// Visible dialog-class ("#32770") top-level windows of process `pid`.
std::vector<HWND> VisibleBoxesOf(DWORD pid);
// Waits until process `pid` shows a visible box with `caption`; null when none
// appeared in time.
HWND WaitForBox(DWORD pid, const std::wstring &caption, DWORD timeoutMs);
// Reads a box; hwnd stays null when `box` is no window.
BoxView ReadBox(HWND box);
// Presses button `id` (IDOK, IDYES, IDNO ...) and repeats the press until the
// box has gone; false when it is still there after `timeoutMs`.
bool PressButton(HWND box, int id, DWORD timeoutMs);

} // namespace tb

#endif
