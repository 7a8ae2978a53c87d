// The standard control classes and what the controls share: their
// registration, notifications to the parent, the parent's colours, fonts and
// the look of disabled text.
#include "dialog.h"

#include "window.h"

namespace winapi::user {

namespace {

void registerOne(const char *name, WNDPROC proc, UINT style, int extra, LPCSTR cursor) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = style | CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = extra;
    wc.hCursor = LoadCursorA(nullptr, cursor);
    wc.lpszClassName = name;
    RegisterClassExA(&wc);
}

// The classes exist as soon as the layer is loaded, as the system's do.
struct Registration {
    Registration() { registerControlClasses(); }
} g_registration;

} // namespace

void registerControlClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        registerOne("#32770", DefDlgProcA, CS_DBLCLKS | CS_SAVEBITS, DLGWINDOWEXTRA, IDC_ARROW);
        registerOne("Button", buttonProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, sizeof(void *), IDC_ARROW);
        registerOne("Static", staticProc, CS_DBLCLKS, sizeof(void *), IDC_ARROW);
        registerOne("Edit", editProc, CS_DBLCLKS, sizeof(void *), IDC_IBEAM);
        registerOne("ListBox", listBoxProc, CS_DBLCLKS, sizeof(void *), IDC_ARROW);
        registerOne("ComboLBox", listBoxProc, CS_DBLCLKS | CS_SAVEBITS, sizeof(void *), IDC_ARROW);
        registerOne("ComboBox", comboBoxProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, sizeof(void *), IDC_ARROW);
    });
}

void notifyParent(HWND ctl, WORD code) {
    HWND parent = GetParent(ctl);
    if (!parent) return;
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(ctl), code), reinterpret_cast<LPARAM>(ctl));
}

HBRUSH parentBrush(HWND ctl, HDC hdc, UINT msg) {
    HWND parent = GetParent(ctl);
    HBRUSH b = nullptr;
    if (parent) b = reinterpret_cast<HBRUSH>(SendMessageA(parent, msg, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(ctl)));
    if (!b) b = reinterpret_cast<HBRUSH>(DefWindowProcA(ctl, msg, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(ctl)));
    return b;
}

HFONT fontOr(HFONT f) { return f ? f : static_cast<HFONT>(GetStockObject(SYSTEM_FONT)); }

int fontHeight(HFONT f) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontOr(f));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmHeight;
}

RECT clientRect(HWND h) {
    RECT r{};
    GetClientRect(h, &r);
    return r;
}

void drawDisabledText(HDC hdc, const char *text, RECT r, UINT fmt) {
    int mode = SetBkMode(hdc, TRANSPARENT);
    COLORREF old = SetTextColor(hdc, GetSysColor(COLOR_3DHILIGHT));
    RECT s = r;
    OffsetRect(&s, 1, 1);
    DrawTextA(hdc, text, -1, &s, fmt);
    SetTextColor(hdc, GetSysColor(COLOR_3DSHADOW));
    DrawTextA(hdc, text, -1, &r, fmt);
    SetTextColor(hdc, old);
    SetBkMode(hdc, mode);
}

} // namespace winapi::user
