// MessageBoxA as a modal dialog of its own ("#32770"): the icon of its kind,
// the text wrapped to a readable width, the buttons of its type with the
// chosen default one, Esc and the close box only where Windows allows them
// (a Cancel button, or the single OK button). With WAPI_MESSAGEBOX=console
// the box is written to standard error and answered with its default button;
// on the headless display an unanswered box answers itself after a while.
// Also MessageBeep, which remembers its sound for WapiLastMessageBeep.
#include "dialog.h"

#include <winapi_ext.h>

#include <unistd.h>

#include "../display/display.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace winapi::user {

namespace {

std::atomic<UINT> g_lastBeep{0xFFFFFFFFu};

constexpr int kTextId = 0xFFFF; // the id Windows gives the text
constexpr int kIconId = 20;

struct ButtonSpec {
    int id;
    const char *label;
};

std::vector<ButtonSpec> buttonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO: return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
    default: return {{IDOK, "OK"}};
    }
}

int defaultIndex(UINT type, size_t n) {
    size_t d = (type & MB_DEFMASK) >> 8;
    return d < n ? static_cast<int>(d) : 0;
}

LPCSTR iconOf(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return IDI_HAND;
    case MB_ICONQUESTION: return IDI_QUESTION;
    case MB_ICONEXCLAMATION: return IDI_EXCLAMATION;
    case MB_ICONASTERISK: return IDI_ASTERISK;
    }
    return nullptr;
}

struct Box {
    const char *text;
    const char *caption;
    UINT type;
    std::vector<ButtonSpec> buttons;
};

bool hasCancel(const Box &b) {
    for (auto &s : b.buttons)
        if (s.id == IDCANCEL) return true;
    return false;
}

int textWidth(HDC dc, const char *s) {
    RECT r{0, 0, 0, 0};
    DrawTextA(dc, s, -1, &r, DT_SINGLELINE | DT_CALCRECT);
    return r.right - r.left;
}

// Everything is placed in pixels once the font is known.
void layout(HWND dlg, const Box &b) {
    const int margin = 12, iconGap = 12, buttonH = 23, buttonGap = 6;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    HDC dc = GetDC(dlg);
    HGDIOBJ old = SelectObject(dc, fontOr(font));
    bool icon = iconOf(b.type) != nullptr;
    int iconW = icon ? GetSystemMetrics(SM_CXICON) : 0, iconH = icon ? GetSystemMetrics(SM_CYICON) : 0;
    int maxText = std::max(200, GetSystemMetrics(SM_CXSCREEN) * 5 / 8 - iconW - iconGap - 2 * margin);
    RECT tr{0, 0, maxText, 0};
    DrawTextA(dc, b.text, -1, &tr, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    int tw = tr.right - tr.left, th = std::max<int>(tr.bottom - tr.top, 1);
    int bw = 75;
    for (auto &s : b.buttons) bw = std::max(bw, textWidth(dc, s.label) + 16);
    SelectObject(dc, old);
    ReleaseDC(dlg, dc);

    int n = static_cast<int>(b.buttons.size());
    int rowW = n * bw + (n - 1) * buttonGap;
    int textLeft = margin + (icon ? iconW + iconGap : 0);
    int contentW = std::max(textLeft - margin + tw, rowW);
    // The caption must fit too.
    HDC cdc = GetDC(nullptr);
    NONCLIENTMETRICSA ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    HFONT capFont = CreateFontIndirectA(&ncm.lfCaptionFont);
    HGDIOBJ o2 = SelectObject(cdc, capFont);
    int capW = textWidth(cdc, b.caption) + 40;
    SelectObject(cdc, o2);
    DeleteObject(capFont);
    ReleaseDC(nullptr, cdc);
    int clientW = std::max(contentW + 2 * margin, capW);
    int textTop = margin + (icon && th < iconH ? (iconH - th) / 2 : 0);
    int buttonsTop = std::max(margin + iconH, textTop + th) + margin + 2;
    int clientH = buttonsTop + buttonH + margin - 1;

    if (icon) MoveWindow(GetDlgItem(dlg, kIconId), margin, margin, iconW, iconH, FALSE);
    // The text block sits by the icon; a wider box centres nothing, as Windows does.
    MoveWindow(GetDlgItem(dlg, kTextId), textLeft, textTop, tw + 1, th, FALSE);
    int x = (clientW - rowW) / 2;
    for (auto &s : b.buttons) {
        MoveWindow(GetDlgItem(dlg, s.id), x, buttonsTop, bw, buttonH, FALSE);
        x += bw + buttonGap;
    }
    RECT wr{0, 0, clientW, clientH};
    AdjustWindowRectEx(&wr, static_cast<DWORD>(GetWindowLongA(dlg, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(dlg, GWL_EXSTYLE)));
    int w = wr.right - wr.left, h = wr.bottom - wr.top;
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    MoveWindow(dlg, work.left + ((work.right - work.left) - w) / 2, work.top + ((work.bottom - work.top) - h) / 2, w, h,
               FALSE);
}

// On a headless display nobody can see a box: unless a program answers it
// (tests drive it from another thread) it answers itself after a while.
const UINT_PTR kUnseenTimer = 0x4D42;

DWORD unseenAnswerMs() {
    const char *v = std::getenv("WAPI_MESSAGEBOX");
    if (v && !lstrcmpiA(v, "wait")) return 0;
    if (const char *ms = std::getenv("WAPI_MESSAGEBOX_TIMEOUT")) return static_cast<DWORD>(std::strtoul(ms, nullptr, 10));
    return 10000;
}

INT_PTR CALLBACK boxProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        if (wp == kUnseenTimer) {
            KillTimer(dlg, kUnseenTimer);
            auto *b = reinterpret_cast<Box *>(GetWindowLongPtrA(dlg, DWLP_USER));
            if (b) EndDialog(dlg, b->buttons[static_cast<size_t>(defaultIndex(b->type, b->buttons.size()))].id);
            return TRUE;
        }
        return FALSE;
    case WM_INITDIALOG: {
        auto *b = reinterpret_cast<Box *>(lp);
        if (display::headless()) {
            // The text also goes to standard error, where a headless program's user looks.
            std::fprintf(stderr, "[%s] %s\n", b->caption, b->text);
            std::fflush(stderr);
            if (DWORD ms = unseenAnswerMs()) SetTimer(dlg, kUnseenTimer, ms, nullptr);
        }
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        if (LPCSTR icon = iconOf(b->type))
            SendDlgItemMessageA(dlg, kIconId, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, icon)), 0);
        layout(dlg, *b);
        int d = defaultIndex(b->type, b->buttons.size());
        int defId = b->buttons[static_cast<size_t>(d)].id;
        SendMessageA(dlg, DM_SETDEFID, static_cast<WPARAM>(defId), 0);
        dialogSetFocus(dlg, GetDlgItem(dlg, defId));
        if (b->type & (MB_SETFOREGROUND | MB_SYSTEMMODAL | MB_TASKMODAL)) SetForegroundWindow(dlg);
        return FALSE;
    }
    case WM_COMMAND: {
        auto *b = reinterpret_cast<Box *>(GetWindowLongPtrA(dlg, DWLP_USER));
        if (!b) return FALSE;
        int id = LOWORD(wp);
        if (id == IDCANCEL && !hasCancel(*b)) {
            // Esc and the close box: only a lone OK button stands for them.
            if ((b->type & MB_TYPEMASK) == MB_OK) EndDialog(dlg, IDOK);
            return TRUE;
        }
        for (auto &s : b->buttons)
            if (s.id == id) {
                EndDialog(dlg, id);
                return TRUE;
            }
        return FALSE;
    }
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_CLOSE) {
            auto *b = reinterpret_cast<Box *>(GetWindowLongPtrA(dlg, DWLP_USER));
            if (b && !hasCancel(*b) && (b->type & MB_TYPEMASK) != MB_OK) {
                SetWindowLongPtrA(dlg, DWLP_MSGRESULT, 0);
                return TRUE;
            }
        }
        return FALSE;
    }
    return FALSE;
}

// Boxes without a way to cancel have their close box grayed: they are made
// of a "#32770" class of their own module, which has CS_NOCLOSE.
HINSTANCE noCloseModule() {
    static int anchor;
    static HINSTANCE module = [] {
        auto inst = reinterpret_cast<HINSTANCE>(&anchor);
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS | CS_SAVEBITS | CS_NOCLOSE;
        wc.lpfnWndProc = DefDlgProcA;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.hInstance = inst;
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = "#32770";
        RegisterClassExA(&wc);
        return inst;
    }();
    return module;
}

int consoleBox(const char *text, const char *caption, UINT type) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    std::fflush(stderr);
    auto b = buttonsOf(type);
    return b[static_cast<size_t>(defaultIndex(type, b.size()))].id;
}

bool consoleWanted() {
    const char *v = std::getenv("WAPI_MESSAGEBOX");
    return v && !lstrcmpiA(v, "console");
}

} // namespace

} // namespace winapi::user

using namespace winapi::user;

extern "C" {

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if ((type & MB_TYPEMASK) > MB_RETRYCANCEL) {
        SetLastError(ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Box box{text ? text : "", caption ? caption : "Error", type, buttonsOf(type)};
    // The box makes the sound of its kind.
    UINT icon = type & MB_ICONMASK;
    g_lastBeep.store(iconOf(type) ? icon : MB_OK);
    if (consoleWanted()) return consoleBox(box.text, box.caption, type);

    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_NOIDLEMSG | WS_VISIBLE;
    DWORD exStyle = (type & (MB_TOPMOST | MB_SYSTEMMODAL)) ? WS_EX_TOPMOST : 0;
    TemplateBuilder t(style, exStyle, 0, 0, 100, 50, box.caption);
    if (iconOf(type)) t.add(MAKEINTRESOURCEA(0x82), "", kIconId, WS_VISIBLE | SS_ICON, 0, 0, 21, 20);
    t.add(MAKEINTRESOURCEA(0x82), box.text, kTextId, WS_VISIBLE | SS_LEFT | SS_NOPREFIX | WS_GROUP, 0, 0, 10, 8);
    for (size_t i = 0; i < box.buttons.size(); i++) {
        DWORD bs = WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0);
        bs |= static_cast<int>(i) == defaultIndex(type, box.buttons.size()) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        t.add(MAKEINTRESOURCEA(0x80), box.buttons[i].label, static_cast<DWORD>(box.buttons[i].id), bs, 0, 0, 50, 14);
    }

    // Task modal without an owner: every window of this thread waits.
    std::vector<HWND> disabled;
    if (!owner && (type & MB_TASKMODAL)) {
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND h, LPARAM lp) -> BOOL {
                if (IsWindowVisible(h) && IsWindowEnabled(h)) reinterpret_cast<std::vector<HWND> *>(lp)->push_back(h);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&disabled));
        for (HWND h : disabled) EnableWindow(h, FALSE);
    }
    INT_PTR r = DialogBoxIndirectParamA(hasCancel(box) || (type & MB_TYPEMASK) == MB_OK ? nullptr : noCloseModule(),
                                        t.get(), owner, boxProc, reinterpret_cast<LPARAM>(&box));
    for (HWND h : disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
    return r < 0 ? 0 : static_cast<int>(r);
}

BOOL WINAPI MessageBeep(UINT type) {
    g_lastBeep.store(type);
    if (isatty(STDERR_FILENO)) {
        ssize_t r = ::write(STDERR_FILENO, "\a", 1);
        (void)r;
    }
    return TRUE;
}

UINT WINAPI WapiLastMessageBeep(void) { return g_lastBeep.load(); }

} // extern "C"
