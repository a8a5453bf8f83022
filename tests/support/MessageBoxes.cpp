#include "MessageBoxes.h"

#include "Machine.h"
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

// An icon's colour and mask bits as 32-bit pixels, with its width.
bool IconBits(HICON icon, std::vector<DWORD> *bits, LONG *width) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return false;
    BITMAP bm = {};
    bool ok = false;
    HDC dc = GetDC(nullptr);
    HBITMAP parts[] = {info.hbmColor, info.hbmMask};
    bits->clear();
    for (HBITMAP part : parts) {
        if (part == nullptr || !GetObjectW(part, sizeof bm, &bm))
            continue;
        BITMAPINFO bi = {};
        bi.bmiHeader = {
            sizeof(BITMAPINFOHEADER), bm.bmWidth, bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        const size_t at = bits->size();
        bits->resize(at + static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
        ok = GetDIBits(dc, part, 0, bm.bmHeight, bits->data() + at, &bi, DIB_RGB_COLORS) ==
             bm.bmHeight;
        *width = bm.bmWidth;
    }
    ReleaseDC(nullptr, dc);
    for (HBITMAP part : parts)
        if (part != nullptr)
            DeleteObject(part);
    return ok;
}

BOOL CALLBACK FindIconControl(HWND child, LPARAM found) {
    WCHAR cls[16] = {};
    if (GetClassNameW(child, cls, ARRAYSIZE(cls)) > 0 && lstrcmpiW(cls, L"Static") == 0 &&
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        *reinterpret_cast<HWND *>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// The system icon a box shows (in its one icon control, whatever its id),
// compared by handle, else pixel for pixel with the system's icon of the same
// size.
unsigned IconOf(HWND box) {
    HWND control = nullptr;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&control));
    HICON shown =
        control ? reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0)) : nullptr;
    std::vector<DWORD> bits, system;
    LONG width = 0, systemWidth = 0;
    if (shown == nullptr)
        return 0;
    const bool haveBits = IconBits(shown, &bits, &width);
    static const struct {
        WORD id;
        unsigned style;
    } kIcons[] = {{32513, MB_ICONERROR},
                  {32514, MB_ICONQUESTION},
                  {32515, MB_ICONWARNING},
                  {32516, MB_ICONINFORMATION}};
    for (const auto &k : kIcons) {
        if (LoadIconW(nullptr, MAKEINTRESOURCEW(k.id)) == shown)
            return k.style;
        HICON icon = haveBits ? static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(k.id),
                                                              IMAGE_ICON, width, width, LR_SHARED))
                              : nullptr;
        if (icon && IconBits(icon, &system, &systemWidth) && system == bits)
            return k.style;
    }
    return 0;
}

} // namespace

unsigned StyleOf(const BoxView &box) {
    const unsigned buttons =
        box.yes ? (box.cancel ? MB_YESNOCANCEL : MB_YESNO) : (box.cancel ? MB_OKCANCEL : MB_OK);
    return box.icon | buttons;
}

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
    if (ThisPlatform() == Platform::Windows)
        view.icon = IconOf(box);
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
