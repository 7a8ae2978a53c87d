// The edit control, single-line: typing with the caret, selection by mouse
// and keyboard, read-only, upper and lower case, digits only, password
// characters, a text limit, horizontal scrolling (ES_AUTOHSCROLL; without
// it the text stops at the field's width), one level of undo. Multi-line
// edit controls are not built: ES_MULTILINE fields behave as one line. The
// clipboard is not offered: cut and clear delete, copy and paste do nothing.
#include "dialog.h"

#include <algorithm>
#include <string>

namespace winapi::user {

namespace {

struct EditState {
    std::string text;
    int anchor = 0, caret = 0;   // the selection runs from anchor to caret
    int xOffset = 0;             // pixels scrolled out on the left
    int limit = 32767;
    bool modified = false;
    HFONT font = nullptr;
    int lineHeight = 16;
    int leftMargin = 2, rightMargin = 2;
    char passwordChar = 0;
    bool focus = false;
    bool tracking = false;
    std::string undoText;
    int undoCaret = 0;
    bool canUndo = false;
};

DWORD styleOf(HWND h) { return static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)); }

int selStart(const EditState *s) { return std::min(s->anchor, s->caret); }
int selEnd(const EditState *s) { return std::max(s->anchor, s->caret); }

// What is shown: the text, or as many password characters.
std::string shown(const EditState *s) {
    return s->passwordChar ? std::string(s->text.size(), s->passwordChar) : s->text;
}

// Widths of every prefix of the shown text.
std::vector<int> prefixWidths(const EditState *s) {
    std::string t = shown(s);
    std::vector<int> w(t.size() + 1, 0);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fontOr(s->font));
    int fit = 0;
    std::vector<int> dx(t.size() + 1, 0);
    SIZE sz{};
    if (!t.empty()) GetTextExtentExPointA(dc, t.c_str(), static_cast<int>(t.size()), 0x7FFFFFFF, &fit, dx.data(), &sz);
    for (size_t i = 0; i < t.size(); i++) w[i + 1] = dx[i];
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return w;
}

RECT formatRect(HWND h, const EditState *s) {
    RECT r = clientRect(h);
    r.left += s->leftMargin;
    r.right -= s->rightMargin;
    if (r.right < r.left) r.right = r.left;
    int hgt = r.bottom - r.top;
    r.top = std::max(0, (hgt - s->lineHeight) / 2);
    r.bottom = r.top + s->lineHeight;
    return r;
}

// Where the text starts, in client coordinates (alignment and scrolling).
int textOrigin(HWND h, const EditState *s, const std::vector<int> &w) {
    RECT f = formatRect(h, s);
    int width = f.right - f.left, tw = w.back();
    DWORD st = styleOf(h);
    if (tw < width && (st & (ES_CENTER | ES_RIGHT))) {
        if (st & ES_CENTER) return f.left + (width - tw) / 2;
        return f.right - tw;
    }
    return f.left - s->xOffset;
}

int charFromX(HWND h, const EditState *s, int x) {
    std::vector<int> w = prefixWidths(s);
    int ox = textOrigin(h, s, w);
    int rel = x - ox;
    for (size_t i = 0; i + 1 < w.size(); i++)
        if (rel < (w[i] + w[i + 1]) / 2) return static_cast<int>(i);
    return static_cast<int>(s->text.size());
}

void placeCaret(HWND h, EditState *s) {
    if (!s->focus) return;
    std::vector<int> w = prefixWidths(s);
    int x = textOrigin(h, s, w) + w[static_cast<size_t>(s->caret)];
    SetCaretPos(x, formatRect(h, s).top);
}

// Keeps the caret in view by scrolling, a quarter of the width at a time.
void scrollToCaret(HWND h, EditState *s) {
    std::vector<int> w = prefixWidths(s);
    RECT f = formatRect(h, s);
    int width = f.right - f.left;
    int cx = w[static_cast<size_t>(s->caret)];
    if (!(styleOf(h) & ES_AUTOHSCROLL) || w.back() <= width) {
        s->xOffset = 0;
    } else {
        if (cx < s->xOffset) s->xOffset = std::max(0, cx - width / 4);
        else if (cx > s->xOffset + width) s->xOffset = cx - width * 3 / 4;
        s->xOffset = std::min(s->xOffset, std::max(0, w.back() - width + 1));
    }
    placeCaret(h, s);
}

void changed(HWND h, EditState *s, bool notify) {
    s->modified = true;
    scrollToCaret(h, s);
    InvalidateRect(h, nullptr, FALSE);
    if (notify) {
        notifyParent(h, EN_UPDATE);
        notifyParent(h, EN_CHANGE);
    }
}

void rememberForUndo(EditState *s) {
    s->undoText = s->text;
    s->undoCaret = s->caret;
    s->canUndo = true;
}

void setSel(HWND h, EditState *s, int a, int c) {
    int len = static_cast<int>(s->text.size());
    s->anchor = std::clamp(a, 0, len);
    s->caret = std::clamp(c, 0, len);
    scrollToCaret(h, s);
    InvalidateRect(h, nullptr, FALSE);
}

std::string filtered(HWND h, std::string in) {
    // One line: the text ends at its first line break.
    size_t nl = in.find_first_of("\r\n");
    if (nl != std::string::npos) in.resize(nl);
    DWORD st = styleOf(h);
    if (st & ES_UPPERCASE) CharUpperBuffA(in.data(), static_cast<DWORD>(in.size()));
    else if (st & ES_LOWERCASE) CharLowerBuffA(in.data(), static_cast<DWORD>(in.size()));
    return in;
}

// Puts text in place of the selection. With honorLimit, the text limit and
// (without ES_AUTOHSCROLL) the field's width cut it; EN_MAXTEXT says so.
// Returns whether anything changed.
bool replaceSel(HWND h, EditState *s, std::string ins, bool honorLimit, bool notify, bool undo) {
    ins = filtered(h, ins);
    int a = selStart(s), b = selEnd(s);
    bool cut = false;
    if (honorLimit) {
        long room = static_cast<long>(s->limit) - static_cast<long>(s->text.size() - static_cast<size_t>(b - a));
        if (room < 0) room = 0;
        if (static_cast<long>(ins.size()) > room) {
            ins.resize(static_cast<size_t>(room));
            cut = true;
        }
        if (!(styleOf(h) & ES_AUTOHSCROLL)) {
            RECT f = formatRect(h, s);
            int width = f.right - f.left;
            while (!ins.empty()) {
                EditState probe = *s;
                probe.text = s->text.substr(0, static_cast<size_t>(a)) + ins + s->text.substr(static_cast<size_t>(b));
                if (prefixWidths(&probe).back() <= width) break;
                ins.pop_back();
                cut = true;
            }
        }
    }
    if (cut) notifyParent(h, EN_MAXTEXT);
    if (ins.empty() && a == b) return false;
    if (undo) rememberForUndo(s);
    s->text = s->text.substr(0, static_cast<size_t>(a)) + ins + s->text.substr(static_cast<size_t>(b));
    s->anchor = s->caret = a + static_cast<int>(ins.size());
    changed(h, s, notify);
    return true;
}

void deleteChar(HWND h, EditState *s, bool forward) {
    if (styleOf(h) & ES_READONLY) return;
    if (s->anchor == s->caret) {
        int len = static_cast<int>(s->text.size());
        if (forward && s->caret < len) s->caret++;
        else if (!forward && s->caret > 0) s->caret--;
        else return;
    }
    replaceSel(h, s, "", false, true, true);
}

bool isWordChar(char c) { return c != ' ' && c != '\t'; }

int wordLeft(const EditState *s, int i) {
    while (i > 0 && !isWordChar(s->text[static_cast<size_t>(i - 1)])) i--;
    while (i > 0 && isWordChar(s->text[static_cast<size_t>(i - 1)])) i--;
    return i;
}

int wordRight(const EditState *s, int i) {
    int len = static_cast<int>(s->text.size());
    while (i < len && isWordChar(s->text[static_cast<size_t>(i)])) i++;
    while (i < len && !isWordChar(s->text[static_cast<size_t>(i)])) i++;
    return i;
}

void keyDown(HWND h, EditState *s, WPARAM vk) {
    bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
    int len = static_cast<int>(s->text.size());
    int to = -1;
    switch (vk) {
    case VK_LEFT:
    case VK_UP: to = ctrl ? wordLeft(s, s->caret) : std::max(0, s->caret - 1); break;
    case VK_RIGHT:
    case VK_DOWN: to = ctrl ? wordRight(s, s->caret) : std::min(len, s->caret + 1); break;
    case VK_HOME: to = 0; break;
    case VK_END: to = len; break;
    case VK_DELETE:
        if (shift && s->anchor != s->caret) SendMessageA(h, WM_CUT, 0, 0);
        else deleteChar(h, s, true);
        return;
    default: return;
    }
    setSel(h, s, shift ? s->anchor : to, to);
}

void paint(HWND h, EditState *s, HDC hdc) {
    DWORD st = styleOf(h);
    bool enabled = IsWindowEnabled(h) != FALSE;
    HBRUSH brush = parentBrush(h, hdc, (!enabled || (st & ES_READONLY)) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT);
    RECT r = clientRect(h);
    FillRect(hdc, &r, brush);
    HGDIOBJ oldFont = SelectObject(hdc, fontOr(s->font));
    if (!enabled) SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
    std::string t = shown(s);
    std::vector<int> w = prefixWidths(s);
    RECT f = formatRect(h, s);
    RECT clip{f.left, 0, f.right, r.bottom};
    int x = textOrigin(h, s, w);
    SetBkMode(hdc, TRANSPARENT);
    ExtTextOutA(hdc, x, f.top, ETO_CLIPPED, &clip, t.c_str(), static_cast<UINT>(t.size()), nullptr);
    int a = selStart(s), b = selEnd(s);
    if (a != b && (s->focus || (st & ES_NOHIDESEL))) {
        RECT sel{x + w[static_cast<size_t>(a)], f.top, x + w[static_cast<size_t>(b)], f.bottom};
        IntersectRect(&sel, &sel, &clip);
        SetBkMode(hdc, OPAQUE);
        SetBkColor(hdc, GetSysColor(COLOR_HIGHLIGHT));
        SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        ExtTextOutA(hdc, x + w[static_cast<size_t>(a)], f.top, ETO_CLIPPED | ETO_OPAQUE, &sel, t.c_str() + a,
                    static_cast<UINT>(b - a), nullptr);
    }
    SelectObject(hdc, oldFont);
}

void setFont(HWND h, EditState *s, HFONT font) {
    s->font = font;
    s->lineHeight = fontHeight(font);
    if (s->focus) {
        DestroyCaret();
        CreateCaret(h, nullptr, 1, s->lineHeight);
        ShowCaret(h);
    }
    scrollToCaret(h, s);
}

} // namespace

LRESULT CALLBACK editProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto *s = stateOf<EditState>(h);
    if (!s && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
    if (LRESULT r; controlPaintMessage(h, s, msg, wp, lp, paint, &r)) return r;
    switch (msg) {
    case WM_NCCREATE: {
        s = new EditState;
        SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(s));
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        if (cs->style & ES_PASSWORD) s->passwordChar = '*';
        if (cs->lpszName) s->text = filtered(h, cs->lpszName);
        s->lineHeight = fontHeight(nullptr);
        return DefWindowProcA(h, msg, wp, lp);
    }
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case WM_SETTEXT: {
        s->anchor = 0;
        s->caret = static_cast<int>(s->text.size());
        replaceSel(h, s, lp ? reinterpret_cast<LPCSTR>(lp) : "", false, false, false);
        s->anchor = s->caret = 0;
        s->xOffset = 0;
        s->modified = false;
        s->canUndo = false;
        DefWindowProcA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s->text.c_str()));
        scrollToCaret(h, s);
        InvalidateRect(h, nullptr, FALSE);
        notifyParent(h, EN_UPDATE);
        notifyParent(h, EN_CHANGE);
        return TRUE;
    }
    case WM_GETTEXT: {
        if (!lp || wp == 0) return 0;
        size_t n = std::min(s->text.size(), static_cast<size_t>(wp) - 1);
        char *buf = reinterpret_cast<char *>(lp);
        s->text.copy(buf, n);
        buf[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(s->text.size());
    case WM_SETFONT:
        setFont(h, s, reinterpret_cast<HFONT>(wp));
        if (LOWORD(lp)) InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s->font);
    case WM_SIZE:
    case WM_STYLECHANGED:
    case WM_ENABLE:
        scrollToCaret(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_SETFOCUS:
        s->focus = true;
        CreateCaret(h, nullptr, 1, s->lineHeight);
        placeCaret(h, s);
        ShowCaret(h);
        InvalidateRect(h, nullptr, FALSE);
        notifyParent(h, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        s->focus = false;
        s->tracking = false;
        HideCaret(h);
        DestroyCaret();
        InvalidateRect(h, nullptr, FALSE);
        notifyParent(h, EN_KILLFOCUS);
        return 0;
    case WM_CHAR: {
        DWORD st = styleOf(h);
        if (wp == VK_BACK) {
            deleteChar(h, s, false);
            return 0;
        }
        if (wp < 0x20 || wp == 0x7F || (st & ES_READONLY)) return 0;
        if ((st & ES_NUMBER) && (wp < '0' || wp > '9')) {
            MessageBeep(MB_OK);
            return 0;
        }
        replaceSel(h, s, std::string(1, static_cast<char>(wp)), true, true, true);
        return 0;
    }
    case WM_KEYDOWN:
        keyDown(h, s, wp);
        return 0;
    case WM_LBUTTONDOWN: {
        if (!s->focus) SetFocus(h);
        int i = charFromX(h, s, static_cast<SHORT>(LOWORD(lp)));
        setSel(h, s, (wp & MK_SHIFT) ? s->anchor : i, i);
        SetCapture(h);
        s->tracking = true;
        return 0;
    }
    case WM_MOUSEMOVE:
        if (s->tracking && GetCapture() == h) {
            int i = charFromX(h, s, static_cast<SHORT>(LOWORD(lp)));
            if (i != s->caret) setSel(h, s, s->anchor, i);
        }
        return 0;
    case WM_LBUTTONUP:
        if (s->tracking) {
            s->tracking = false;
            if (GetCapture() == h) ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        s->tracking = false;
        return 0;
    case WM_LBUTTONDBLCLK: {
        int i = charFromX(h, s, static_cast<SHORT>(LOWORD(lp)));
        int a = i, b = i;
        while (a > 0 && isWordChar(s->text[static_cast<size_t>(a - 1)])) a--;
        while (b < static_cast<int>(s->text.size()) && isWordChar(s->text[static_cast<size_t>(b)])) b++;
        setSel(h, s, a, b);
        return 0;
    }
    case EM_SETSEL: {
        int a = static_cast<int>(wp), b = static_cast<int>(lp);
        int len = static_cast<int>(s->text.size());
        if (a == -1) a = b = s->caret;
        else if (b == -1 || b > len) b = len;
        setSel(h, s, a, b);
        return 0;
    }
    case EM_GETSEL: {
        DWORD a = static_cast<DWORD>(selStart(s)), b = static_cast<DWORD>(selEnd(s));
        if (wp) *reinterpret_cast<DWORD *>(wp) = a;
        if (lp) *reinterpret_cast<DWORD *>(lp) = b;
        return (a > 0xFFFF || b > 0xFFFF) ? -1 : MAKELRESULT(a, b);
    }
    case EM_REPLACESEL:
        replaceSel(h, s, lp ? reinterpret_cast<LPCSTR>(lp) : "", true, true, wp != 0);
        return 0;
    case EM_LIMITTEXT:
        s->limit = wp ? static_cast<int>(std::min<WPARAM>(wp, 0x7FFFFFFE)) : 0x7FFFFFFE;
        return 0;
    case EM_GETLIMITTEXT:
        return s->limit;
    case EM_GETMODIFY:
        return s->modified ? TRUE : FALSE;
    case EM_SETMODIFY:
        s->modified = wp != 0;
        return 0;
    case EM_SETREADONLY: {
        LONG st = GetWindowLongA(h, GWL_STYLE);
        SetWindowLongA(h, GWL_STYLE, wp ? (st | ES_READONLY) : (st & ~ES_READONLY));
        InvalidateRect(h, nullptr, FALSE);
        return TRUE;
    }
    case EM_GETLINECOUNT:
        return 1;
    case EM_LINEINDEX:
        return (static_cast<int>(wp) == 0 || static_cast<int>(wp) == -1) ? 0 : -1;
    case EM_LINEFROMCHAR:
        return 0;
    case EM_LINELENGTH:
        return static_cast<LRESULT>(s->text.size());
    case EM_GETLINE: {
        if (wp != 0 || !lp) return 0;
        WORD room = *reinterpret_cast<WORD *>(lp);
        size_t n = std::min<size_t>(room, s->text.size());
        s->text.copy(reinterpret_cast<char *>(lp), n);
        return static_cast<LRESULT>(n);
    }
    case EM_GETFIRSTVISIBLELINE: {
        std::vector<int> w = prefixWidths(s);
        for (size_t i = 0; i + 1 < w.size(); i++)
            if (w[i] >= s->xOffset) return static_cast<LRESULT>(i);
        return static_cast<LRESULT>(s->text.size());
    }
    case EM_SCROLLCARET:
        scrollToCaret(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return TRUE;
    case EM_SETMARGINS:
        if (wp & EC_LEFTMARGIN) s->leftMargin = LOWORD(lp) == EC_USEFONTINFO ? 2 : LOWORD(lp);
        if (wp & EC_RIGHTMARGIN) s->rightMargin = HIWORD(lp) == EC_USEFONTINFO ? 2 : HIWORD(lp);
        scrollToCaret(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case EM_GETMARGINS:
        return MAKELRESULT(s->leftMargin, s->rightMargin);
    case EM_POSFROMCHAR: {
        size_t i = static_cast<size_t>(wp);
        if (i > s->text.size()) return -1;
        std::vector<int> w = prefixWidths(s);
        return MAKELRESULT(textOrigin(h, s, w) + w[i], formatRect(h, s).top);
    }
    case EM_CHARFROMPOS:
        return MAKELRESULT(charFromX(h, s, static_cast<SHORT>(LOWORD(lp))), 0);
    case EM_SETPASSWORDCHAR: {
        s->passwordChar = static_cast<char>(wp);
        LONG st = GetWindowLongA(h, GWL_STYLE);
        SetWindowLongA(h, GWL_STYLE, wp ? (st | ES_PASSWORD) : (st & ~ES_PASSWORD));
        scrollToCaret(h, s);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    }
    case EM_GETPASSWORDCHAR:
        return static_cast<BYTE>(s->passwordChar);
    case EM_CANUNDO:
        return s->canUndo ? TRUE : FALSE;
    case EM_UNDO:
    case WM_UNDO: {
        if (!s->canUndo || (styleOf(h) & ES_READONLY)) return FALSE;
        std::string t = s->text;
        int c = s->caret;
        s->text = s->undoText;
        s->anchor = 0;
        s->caret = std::min(s->undoCaret, static_cast<int>(s->text.size()));
        s->undoText = t;
        s->undoCaret = c;
        changed(h, s, true);
        return TRUE;
    }
    case WM_CUT:
    case WM_CLEAR:
        if (!(styleOf(h) & ES_READONLY) && s->anchor != s->caret) replaceSel(h, s, "", false, true, true);
        return 0;
    case WM_COPY:
    case WM_PASTE:
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi::user
