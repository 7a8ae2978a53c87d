// The list box: items with texts and data, sorted or in order, single,
// multiple or extended selection, notifications (LBN_SELCHANGE, LBN_DBLCLK)
// with LBS_NOTIFY, the keyboard, the mouse, its vertical scroll bar and
// integral height; LB_DIR for file lists. The same procedure serves the
// drop-down list of combo boxes ("ComboLBox"), which reports to its combo
// box instead of its parent.
#include "dialog.h"

#include "controls_private.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace winapi::user {

namespace {

struct Item {
    std::string text;
    ULONG_PTR data = 0;
    bool selected = false;
};

struct ListState {
    std::vector<Item> items;
    int cur = -1;      // single selection: the selected item; else the focus item
    int anchor = -1;   // extended selection: where a Shift range starts
    int top = 0;
    int itemHeight = 16;
    HFONT font = nullptr;
    bool focus = false;
    bool tracking = false;
    bool hasScroll = false;
    bool sizing = false;
    HWND combo = nullptr; // drop-down list of this combo box
};

DWORD styleOf(HWND h) { return static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)); }
bool multi(HWND h) { return (styleOf(h) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }
int count(const ListState *s) { return static_cast<int>(s->items.size()); }

int visibleRows(HWND h, const ListState *s) {
    RECT r = clientRect(h);
    return std::max(1, static_cast<int>(r.bottom / std::max(1, s->itemHeight)));
}

void updateScroll(HWND h, ListState *s) {
    int rows = visibleRows(h, s);
    int maxTop = std::max(0, count(s) - rows);
    s->top = std::clamp(s->top, 0, maxTop);
    if (!s->hasScroll) return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (styleOf(h) & LBS_DISABLENOSCROLL) si.fMask |= SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = std::max(0, count(s) - 1);
    si.nPage = static_cast<UINT>(rows);
    si.nPos = s->top;
    SetScrollInfo(h, SB_VERT, &si, TRUE);
    // Showing or hiding the bar changed the rows that fit.
    rows = visibleRows(h, s);
    maxTop = std::max(0, count(s) - rows);
    s->top = std::clamp(s->top, 0, maxTop);
}

void refresh(HWND h, ListState *s) {
    updateScroll(h, s);
    InvalidateRect(h, nullptr, TRUE);
}

void setTop(HWND h, ListState *s, int top) {
    int old = s->top;
    s->top = top;
    updateScroll(h, s);
    if (s->top != old) InvalidateRect(h, nullptr, TRUE);
}

void ensureVisible(HWND h, ListState *s, int i) {
    if (i < 0 || i >= count(s)) return;
    int rows = visibleRows(h, s);
    if (i < s->top) setTop(h, s, i);
    else if (i >= s->top + rows) setTop(h, s, i - rows + 1);
}

void notify(HWND h, ListState *s, WORD code) {
    if (s->combo) {
        if (code == LBN_SELCHANGE) SendMessageA(s->combo, kComboListChanged, 0, 0);
        return;
    }
    if (styleOf(h) & LBS_NOTIFY) notifyParent(h, code);
}

int itemAt(HWND h, const ListState *s, int y) {
    if (y < 0) return -1;
    int i = s->top + y / std::max(1, s->itemHeight);
    return i < count(s) ? i : -1;
}

// Makes one item the single selection (or focus item); true when it changed.
bool select(HWND h, ListState *s, int i) {
    if (i == s->cur) return false;
    s->cur = i;
    ensureVisible(h, s, i);
    InvalidateRect(h, nullptr, TRUE);
    return true;
}

void selectRange(ListState *s, int a, int b, bool on) {
    if (a > b) std::swap(a, b);
    for (int i = std::max(0, a); i <= b && i < count(s); i++) s->items[static_cast<size_t>(i)].selected = on;
}

// The user picked item i (mouse or keyboard): selection by the list's kind.
void userPick(HWND h, ListState *s, int i, bool ctrl, bool shift, bool toggle) {
    if (i < 0 || i >= count(s)) return;
    DWORD st = styleOf(h);
    if (!multi(h)) {
        if (select(h, s, i)) notify(h, s, LBN_SELCHANGE);
        return;
    }
    if (st & LBS_MULTIPLESEL) {
        if (toggle) s->items[static_cast<size_t>(i)].selected = !s->items[static_cast<size_t>(i)].selected;
    } else {
        if (shift && s->anchor >= 0) {
            if (!ctrl)
                for (auto &it : s->items) it.selected = false;
            selectRange(s, s->anchor, i, true);
        } else if (ctrl) {
            if (toggle) s->items[static_cast<size_t>(i)].selected = !s->items[static_cast<size_t>(i)].selected;
            s->anchor = i;
        } else {
            for (auto &it : s->items) it.selected = false;
            s->items[static_cast<size_t>(i)].selected = true;
            s->anchor = i;
        }
    }
    s->cur = i;
    ensureVisible(h, s, i);
    InvalidateRect(h, nullptr, TRUE);
    notify(h, s, LBN_SELCHANGE);
}

int insertAt(HWND h, ListState *s, int at, const char *text) {
    Item it;
    if (styleOf(h) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE) && !(styleOf(h) & LBS_HASSTRINGS))
        it.data = reinterpret_cast<ULONG_PTR>(text);
    else
        it.text = text ? text : "";
    if (at < 0 || at > count(s)) at = count(s);
    s->items.insert(s->items.begin() + at, it);
    if (s->cur >= at && s->cur >= 0) s->cur++;
    if (s->anchor >= at && s->anchor >= 0) s->anchor++;
    refresh(h, s);
    return at;
}

int sortedPosition(const ListState *s, const char *text) {
    int i = 0;
    for (; i < count(s); i++)
        if (lstrcmpiA(s->items[static_cast<size_t>(i)].text.c_str(), text ? text : "") > 0) break;
    return i;
}

int find(const ListState *s, int start, const char *text, bool exact) {
    int n = count(s);
    if (n == 0 || !text) return LB_ERR;
    if (start < -1 || start >= n) start = -1;
    size_t len = std::strlen(text);
    for (int k = 1; k <= n; k++) {
        int i = (start + k) % n;
        const std::string &t = s->items[static_cast<size_t>(i)].text;
        if (exact) {
            if (!lstrcmpiA(t.c_str(), text)) return i;
        } else if (t.size() >= len && !lstrcmpiA(t.substr(0, len).c_str(), text)) {
            return i;
        }
    }
    return LB_ERR;
}

void paint(HWND h, ListState *s, HDC hdc) {
    HBRUSH brush = parentBrush(h, hdc, WM_CTLCOLORLISTBOX);
    RECT r = clientRect(h);
    FillRect(hdc, &r, brush);
    HGDIOBJ old = SelectObject(hdc, fontOr(s->font));
    bool enabled = IsWindowEnabled(h) != FALSE;
    COLORREF text = GetTextColor(hdc);
    DWORD st = styleOf(h);
    UINT fmt = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | ((st & LBS_USETABSTOPS) ? DT_EXPANDTABS : 0);
    SetBkMode(hdc, TRANSPARENT);
    for (int i = s->top; i < count(s); i++) {
        int y = (i - s->top) * s->itemHeight;
        if (y >= r.bottom) break;
        RECT ir{0, y, r.right, y + s->itemHeight};
        bool sel = multi(h) ? s->items[static_cast<size_t>(i)].selected : i == s->cur;
        if (st & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) {
            DRAWITEMSTRUCT dis{};
            dis.CtlType = s->combo ? ODT_COMBOBOX : ODT_LISTBOX;
            dis.CtlID = static_cast<UINT>(GetDlgCtrlID(s->combo ? s->combo : h));
            dis.itemID = static_cast<UINT>(i);
            dis.itemAction = ODA_DRAWENTIRE;
            dis.itemState = (sel ? ODS_SELECTED : 0) | (s->focus && i == s->cur ? ODS_FOCUS : 0) |
                            (enabled ? 0 : ODS_DISABLED);
            dis.hwndItem = h;
            dis.hDC = hdc;
            dis.rcItem = ir;
            dis.itemData = s->items[static_cast<size_t>(i)].data;
            SendMessageA(GetParent(s->combo ? s->combo : h), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
            continue;
        }
        if (sel && enabled) {
            FillRect(hdc, &ir, GetSysColorBrush(COLOR_HIGHLIGHT));
            SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        } else {
            SetTextColor(hdc, enabled ? text : GetSysColor(COLOR_GRAYTEXT));
        }
        RECT tr{ir.left + 2, ir.top, ir.right - 1, ir.bottom};
        DrawTextA(hdc, s->items[static_cast<size_t>(i)].text.c_str(), -1, &tr, fmt);
        if (s->focus && i == s->cur) DrawFocusRect(hdc, &ir);
    }
    // With nothing chosen yet the focus shows on the first row.
    if (s->focus && s->cur < 0 && !s->combo && s->top == 0) {
        RECT ir{0, 0, r.right, s->itemHeight};
        DrawFocusRect(hdc, &ir);
    }
    SelectObject(hdc, old);
}

// Without LBS_NOINTEGRALHEIGHT the list shows whole items only: its height
// shrinks to a multiple of the item height.
void integralHeight(HWND h, ListState *s) {
    if ((styleOf(h) & LBS_NOINTEGRALHEIGHT) || s->combo || s->sizing) return;
    RECT c = clientRect(h), w;
    GetWindowRect(h, &w);
    int extra = c.bottom % std::max(1, s->itemHeight);
    if (extra == 0 || c.bottom < s->itemHeight) return;
    s->sizing = true;
    SetWindowPos(h, nullptr, 0, 0, w.right - w.left, (w.bottom - w.top) - extra,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    s->sizing = false;
}

int addDir(HWND h, ListState *s, UINT attrs, const char *pattern) {
    int last = LB_ERR;
    WIN32_FIND_DATAA fd;
    HANDLE f = FindFirstFileA(pattern && *pattern ? pattern : "*.*", &fd);
    if (f == INVALID_HANDLE_VALUE) return LB_ERR;
    do {
        bool dir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (dir && !(attrs & DDL_DIRECTORY)) continue;
        if (!dir && (attrs & DDL_EXCLUSIVE)) continue;
        if (dir && !lstrcmpA(fd.cFileName, ".")) continue;
        std::string name = dir ? "[" + std::string(fd.cFileName) + "]" : std::string(fd.cFileName);
        int at = (styleOf(h) & LBS_SORT) ? sortedPosition(s, name.c_str()) : count(s);
        last = insertAt(h, s, at, name.c_str());
    } while (FindNextFileA(f, &fd));
    FindClose(f);
    return last;
}

bool validIndex(const ListState *s, WPARAM i) { return static_cast<int>(i) >= 0 && static_cast<int>(i) < count(s); }

LRESULT keyDown(HWND h, ListState *s, WPARAM vk) {
    int n = count(s);
    if (n == 0) return 0;
    int rows = visibleRows(h, s);
    int i = s->cur < 0 ? 0 : s->cur;
    switch (vk) {
    case VK_UP: i = s->cur < 0 ? 0 : i - 1; break;
    case VK_DOWN: i = s->cur < 0 ? 0 : i + 1; break;
    case VK_PRIOR: i -= rows - 1; break;
    case VK_NEXT: i += rows - 1; break;
    case VK_HOME: i = 0; break;
    case VK_END: i = n - 1; break;
    case VK_SPACE:
        if (multi(h)) userPick(h, s, i, true, false, true);
        return 0;
    default: return 0;
    }
    i = std::clamp(i, 0, n - 1);
    bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
    if (styleOf(h) & LBS_MULTIPLESEL) {
        s->cur = i;
        ensureVisible(h, s, i);
        InvalidateRect(h, nullptr, TRUE);
    } else if (ctrl && multi(h)) {
        s->cur = i;
        ensureVisible(h, s, i);
        InvalidateRect(h, nullptr, TRUE);
    } else {
        userPick(h, s, i, false, shift, false);
    }
    return 0;
}

} // namespace

LRESULT CALLBACK listBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto *s = stateOf<ListState>(h);
    if (!s && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
    if (LRESULT r; controlPaintMessage(h, s, msg, wp, lp, paint, &r)) return r;
    switch (msg) {
    case WM_NCCREATE: {
        s = new ListState;
        SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(s));
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        s->hasScroll = (cs->style & WS_VSCROLL) != 0;
        if (cs->style & LBS_COMBOBOX) s->combo = static_cast<HWND>(cs->lpCreateParams);
        s->itemHeight = fontHeight(nullptr);
        return DefWindowProcA(h, msg, wp, lp);
    }
    case WM_CREATE:
        integralHeight(h, s);
        refresh(h, s);
        return 0;
    case WM_SIZE:
        integralHeight(h, s);
        refresh(h, s);
        return 0;
    case WM_SETFONT:
        s->font = reinterpret_cast<HFONT>(wp);
        s->itemHeight = fontHeight(s->font);
        integralHeight(h, s);
        updateScroll(h, s);
        if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s->font);
    case WM_ENABLE:
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_MOUSEACTIVATE:
        // A combo box's open list never takes the activation from its dialog.
        if (s->combo) return MA_NOACTIVATE;
        return DefWindowProcA(h, msg, wp, lp);
    case WM_SETFOCUS:
        s->focus = true;
        InvalidateRect(h, nullptr, TRUE);
        notify(h, s, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        s->focus = false;
        InvalidateRect(h, nullptr, TRUE);
        notify(h, s, LBN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        int x = static_cast<SHORT>(LOWORD(lp)), y = static_cast<SHORT>(HIWORD(lp));
        if (s->combo) {
            RECT r = clientRect(h);
            POINT p{x, y};
            if (!PtInRect(&r, p)) {
                // A press outside the open list closes it.
                POINT sp = p;
                ClientToScreen(h, &sp);
                SendMessageA(s->combo, kComboListCancel, 0, MAKELPARAM(sp.x, sp.y));
            }
            return 0;
        }
        if (!s->focus) SetFocus(h);
        int i = itemAt(h, s, y);
        if (i >= 0) userPick(h, s, i, (wp & MK_CONTROL) != 0, (wp & MK_SHIFT) != 0, true);
        SetCapture(h);
        s->tracking = true;
        if (msg == WM_LBUTTONDBLCLK && i >= 0) notify(h, s, LBN_DBLCLK);
        return 0;
    }
    case WM_MOUSEMOVE: {
        int y = static_cast<SHORT>(HIWORD(lp));
        if (s->combo) {
            RECT r = clientRect(h);
            POINT p{static_cast<SHORT>(LOWORD(lp)), y};
            if (PtInRect(&r, p)) {
                int i = itemAt(h, s, y);
                if (i >= 0) select(h, s, i);
            }
            return 0;
        }
        if (!s->tracking || GetCapture() != h || multi(h)) return 0;
        int i;
        if (y < 0) i = std::max(0, s->top - 1);
        else if (y >= clientRect(h).bottom) i = std::min(count(s) - 1, s->top + visibleRows(h, s));
        else i = itemAt(h, s, y);
        if (i >= 0) userPick(h, s, i, false, false, false);
        return 0;
    }
    case WM_LBUTTONUP: {
        if (s->combo) {
            RECT r = clientRect(h);
            POINT p{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
            if (PtInRect(&r, p) && itemAt(h, s, p.y) >= 0) {
                select(h, s, itemAt(h, s, p.y));
                SendMessageA(s->combo, kComboListChosen, 0, 0);
            }
            return 0;
        }
        if (s->tracking) {
            s->tracking = false;
            if (GetCapture() == h) ReleaseCapture();
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        s->tracking = false;
        // An open combo list that loses the mouse closes.
        if (s->combo && IsWindowVisible(h)) SendMessageA(s->combo, kComboListCancel, 0, 0);
        return 0;
    case WM_KEYDOWN:
        return keyDown(h, s, wp);
    case WM_CHAR: {
        if (wp < 0x20 || multi(h)) return 0;
        char t[2] = {static_cast<char>(wp), 0};
        int i = find(s, s->cur, t, false);
        if (i >= 0) userPick(h, s, i, false, false, false);
        return 0;
    }
    case WM_VSCROLL: {
        int rows = visibleRows(h, s);
        int top = s->top;
        switch (LOWORD(wp)) {
        case SB_LINEUP: top--; break;
        case SB_LINEDOWN: top++; break;
        case SB_PAGEUP: top -= rows; break;
        case SB_PAGEDOWN: top += rows; break;
        case SB_TOP: top = 0; break;
        case SB_BOTTOM: top = count(s); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = HIWORD(wp); break;
        }
        setTop(h, s, top);
        return 0;
    }
    case WM_MOUSEWHEEL:
        setTop(h, s, s->top - 3 * static_cast<SHORT>(HIWORD(wp)) / WHEEL_DELTA);
        return 0;

    case LB_ADDSTRING: {
        const char *t = reinterpret_cast<const char *>(lp);
        int at = ((styleOf(h) & LBS_SORT) && t) ? sortedPosition(s, t) : count(s);
        return insertAt(h, s, at, t);
    }
    case LB_INSERTSTRING: {
        int at = static_cast<int>(wp);
        if (at > count(s)) return LB_ERR;
        return insertAt(h, s, at, reinterpret_cast<const char *>(lp));
    }
    case LB_DELETESTRING: {
        if (!validIndex(s, wp)) return LB_ERR;
        int i = static_cast<int>(wp);
        s->items.erase(s->items.begin() + i);
        if (s->cur == i) s->cur = multi(h) ? std::min(i, count(s) - 1) : -1;
        else if (s->cur > i) s->cur--;
        if (s->anchor >= i) s->anchor = std::max(-1, s->anchor - 1);
        refresh(h, s);
        return count(s);
    }
    case LB_RESETCONTENT:
        s->items.clear();
        s->cur = s->anchor = -1;
        s->top = 0;
        refresh(h, s);
        return 0;
    case LB_GETCOUNT:
        return count(s);
    case LB_GETTEXT:
        if (!validIndex(s, wp) || !lp) return LB_ERR;
        lstrcpyA(reinterpret_cast<char *>(lp), s->items[wp].text.c_str());
        return static_cast<LRESULT>(s->items[wp].text.size());
    case LB_GETTEXTLEN:
        return validIndex(s, wp) ? static_cast<LRESULT>(s->items[wp].text.size()) : LB_ERR;
    case LB_GETITEMDATA:
        return validIndex(s, wp) ? static_cast<LRESULT>(s->items[wp].data) : LB_ERR;
    case LB_SETITEMDATA:
        if (!validIndex(s, wp)) return LB_ERR;
        s->items[wp].data = static_cast<ULONG_PTR>(lp);
        return TRUE;
    case LB_GETCURSEL:
        if (multi(h)) return s->cur < 0 ? 0 : s->cur;
        return s->cur < 0 ? LB_ERR : s->cur;
    case LB_SETCURSEL: {
        if (multi(h)) return LB_ERR;
        int i = static_cast<int>(wp);
        if (i < -1 || i >= count(s)) return LB_ERR;
        select(h, s, i);
        return i < 0 ? LB_ERR : i;
    }
    case LB_GETSEL:
        if (!validIndex(s, wp)) return LB_ERR;
        return multi(h) ? (s->items[wp].selected ? 1 : 0) : (static_cast<int>(wp) == s->cur ? 1 : 0);
    case LB_SETSEL: {
        if (!multi(h)) return LB_ERR;
        int i = static_cast<int>(lp);
        if (i == -1) {
            for (auto &it : s->items) it.selected = wp != 0;
        } else {
            if (i < 0 || i >= count(s)) return LB_ERR;
            s->items[static_cast<size_t>(i)].selected = wp != 0;
            s->cur = i;
            if (wp) s->anchor = i;
        }
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    }
    case LB_GETSELCOUNT: {
        if (!multi(h)) return LB_ERR;
        int n = 0;
        for (auto &it : s->items) n += it.selected ? 1 : 0;
        return n;
    }
    case LB_GETSELITEMS: {
        if (!multi(h) || !lp) return LB_ERR;
        int *out = reinterpret_cast<int *>(lp), n = 0;
        for (int i = 0; i < count(s) && n < static_cast<int>(wp); i++)
            if (s->items[static_cast<size_t>(i)].selected) out[n++] = i;
        return n;
    }
    case LB_SELITEMRANGE:
        if (!multi(h)) return LB_ERR;
        selectRange(s, LOWORD(lp), HIWORD(lp), wp != 0);
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case LB_SELITEMRANGEEX: {
        if (!multi(h)) return LB_ERR;
        int a = static_cast<int>(wp), b = static_cast<int>(lp);
        selectRange(s, a, b, a <= b);
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    }
    case LB_FINDSTRING:
        return find(s, static_cast<int>(wp), reinterpret_cast<const char *>(lp), false);
    case LB_FINDSTRINGEXACT:
        return find(s, static_cast<int>(wp), reinterpret_cast<const char *>(lp), true);
    case LB_SELECTSTRING: {
        int i = find(s, static_cast<int>(wp), reinterpret_cast<const char *>(lp), false);
        if (i < 0) return LB_ERR;
        if (multi(h)) {
            s->items[static_cast<size_t>(i)].selected = true;
            s->cur = i;
            ensureVisible(h, s, i);
            InvalidateRect(h, nullptr, TRUE);
        } else {
            select(h, s, i);
        }
        return i;
    }
    case LB_GETTOPINDEX:
        return s->top;
    case LB_SETTOPINDEX:
        if (static_cast<int>(wp) < 0 || (count(s) && static_cast<int>(wp) >= count(s))) return LB_ERR;
        setTop(h, s, static_cast<int>(wp));
        return 0;
    case LB_GETITEMHEIGHT:
        return s->itemHeight;
    case LB_SETITEMHEIGHT:
        if (LOWORD(lp) == 0 || LOWORD(lp) > 255) return LB_ERR;
        s->itemHeight = LOWORD(lp);
        refresh(h, s);
        return 0;
    case LB_GETITEMRECT: {
        if (!lp || (!validIndex(s, wp) && !(wp == 0 && count(s) == 0))) return LB_ERR;
        int y = (static_cast<int>(wp) - s->top) * s->itemHeight;
        *reinterpret_cast<RECT *>(lp) = RECT{0, y, clientRect(h).right, y + s->itemHeight};
        return 1;
    }
    case LB_ITEMFROMPOINT: {
        int x = static_cast<SHORT>(LOWORD(lp)), y = static_cast<SHORT>(HIWORD(lp));
        RECT r = clientRect(h);
        POINT p{x, y};
        bool outside = !PtInRect(&r, p);
        int i = itemAt(h, s, std::max(0, y));
        if (i < 0) {
            i = std::max(0, count(s) - 1);
            outside = true;
        }
        return MAKELRESULT(i, outside ? 1 : 0);
    }
    case LB_GETCARETINDEX:
        return s->cur < 0 ? 0 : s->cur;
    case LB_SETCARETINDEX:
        if (!validIndex(s, wp)) return LB_ERR;
        if (multi(h)) {
            s->cur = static_cast<int>(wp);
            ensureVisible(h, s, s->cur);
            InvalidateRect(h, nullptr, TRUE);
        } else {
            select(h, s, static_cast<int>(wp));
        }
        return 0;
    case LB_DIR:
        return addDir(h, s, static_cast<UINT>(wp), reinterpret_cast<const char *>(lp));
    case LB_SETTABSTOPS:
        return TRUE;
    case LB_GETHORIZONTALEXTENT:
    case LB_SETHORIZONTALEXTENT:
    case LB_SETCOLUMNWIDTH:
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi::user
