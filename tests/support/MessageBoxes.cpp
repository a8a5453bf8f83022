#include "MessageBoxes.h"

#include "Poll.h"
#include "Processes.h"

namespace tb {

const wchar_t kBoxCaption[] = L"Tavrik Lumora";

namespace {

const DWORD kPollMs = 20;
// A press can be lost when the box has just come up; it is repeated this often.
const DWORD kRepressMs = 200;
const int kBoxTextId = 0xFFFF;

struct Search {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM param) {
    Search *search = reinterpret_cast<Search *>(param);
    WCHAR cls[16] = {};
    if (OwnerOf(hwnd) == search->pid && IsWindowVisible(hwnd) &&
        GetClassNameW(hwnd, cls, ARRAYSIZE(cls)) > 0 && lstrcmpW(cls, L"#32770") == 0)
        search->found.push_back(hwnd);
    return TRUE;
}

std::wstring TextOf(HWND hwnd) {
    WCHAR buf[2048] = {};
    GetWindowTextW(hwnd, buf, ARRAYSIZE(buf));
    return buf;
}

bool HasButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) != 0;
}

} // namespace

std::vector<HWND> VisibleBoxesOf(DWORD pid) {
    Search search{pid, {}};
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForBox(DWORD pid, const std::wstring &caption, DWORD timeoutMs) {
    HWND found = nullptr;
    PollUntil(timeoutMs, kPollMs, [&] {
        for (HWND box : VisibleBoxesOf(pid)) {
            if (TextOf(box) == caption) {
                found = box;
                return true;
            }
        }
        return false;
    });
    return found;
}

BoxView ReadBox(HWND box) {
    BoxView view;
    if (!IsWindow(box))
        return view;
    view.hwnd = box;
    view.caption = TextOf(box);
    HWND text = GetDlgItem(box, kBoxTextId);
    if (text != nullptr)
        view.text = TextOf(text);
    view.ok = HasButton(box, IDOK);
    view.cancel = HasButton(box, IDCANCEL);
    view.yes = HasButton(box, IDYES);
    view.no = HasButton(box, IDNO);
    return view;
}

bool PressButton(HWND box, int id, DWORD timeoutMs) {
    DWORD lastPress = 0;
    bool pressed = false;
    return PollUntil(timeoutMs, kPollMs, [&] {
        if (!IsWindow(box))
            return true;
        const DWORD now = GetTickCount();
        if (!pressed || now - lastPress >= kRepressMs) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
            pressed = true;
            lastPress = now;
        }
        return false;
    });
}

} // namespace tb
