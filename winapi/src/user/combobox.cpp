// The combo box: drop-down list (CBS_DROPDOWNLIST) and drop-down with an
// edit field (CBS_DROPDOWN). The list that drops down is a "ComboLBox" pop-up
// window owned by the dialog; while it is open it holds the mouse, and the
// combo box keeps the keyboard. CBS_SIMPLE is shown as CBS_DROPDOWN.
#include "dialog.h"

#include "controls_private.h"

#include <algorithm>
#include <string>

namespace winapi::user {

namespace {

constexpr int kEditId = 1001;
constexpr int kButtonWidth = 16;

struct ComboState {
    HWND list = nullptr;
    HWND edit = nullptr;
    HFONT font = nullptr;
    int itemHeight = 16;
    int droppedHeight = 0;  // the height asked for at creation: closed field and list
    int sel = -1;
    int selBeforeDrop = -1;
    bool dropped = false;
    bool focus = false;
    bool extendedUi = false;
    bool settingText = false; // our own change of the edit field's text
    bool listScroll = false;
};

DWORD styleOf(HWND h) { return static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)); }
bool hasEdit(HWND h) { return (styleOf(h) & 3) != CBS_DROPDOWNLIST; }
int closedHeight(const ComboState *s) { return s->itemHeight + 8; }

LRESULT toList(ComboState *s, UINT msg, WPARAM wp, LPARAM lp) { return SendMessageA(s->list, msg, wp, lp); }
int count(ComboState *s) { return static_cast<int>(toList(s, LB_GETCOUNT, 0, 0)); }

std::string itemText(ComboState *s, int i) {
    int n = static_cast<int>(toList(s, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0));
    if (n < 0) return std::string();
    std::string t(static_cast<size_t>(n) + 1, '\0');
    toList(s, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(t.data()));
    t.resize(static_cast<size_t>(n));
    return t;
}

RECT buttonRect(HWND h) {
    RECT r = clientRect(h);
    return RECT{std::max<LONG>(2, r.right - 2 - kButtonWidth), 2, r.right - 2, r.bottom - 2};
}

RECT textRect(HWND h) {
    RECT r = clientRect(h), b = buttonRect(h);
    return RECT{2, 2, b.left, r.bottom - 2};
}

void layoutEdit(HWND h, ComboState *s) {
    if (!s->edit) return;
    RECT t = textRect(h);
    SetWindowPos(s->edit, nullptr, t.left + 1, t.top + 1, std::max<LONG>(0, t.right - t.left - 1),
                 std::max<LONG>(0, t.bottom - t.top - 2), SWP_NOZORDER | SWP_NOACTIVATE);
}

// The field shows the selected item.
void showSelection(HWND h, ComboState *s) {
    if (s->edit) {
        s->settingText = true;
        SetWindowTextA(s->edit, s->sel >= 0 ? itemText(s, s->sel).c_str() : "");
        if (s->focus) SendMessageA(s->edit, EM_SETSEL, 0, -1);
        s->settingText = false;
    }
    InvalidateRect(h, nullptr, FALSE);
}

void setSel(HWND h, ComboState *s, int i, bool notify) {
    if (i < -1 || i >= count(s)) i = -1;
    bool changed = i != s->sel;
    s->sel = i;
    toList(s, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
    showSelection(h, s);
    if (notify && changed) notifyParent(h, CBN_SELCHANGE);
}

void drop(HWND h, ComboState *s) {
    if (s->dropped || !IsWindowEnabled(h)) return;
    notifyParent(h, CBN_DROPDOWN);
    RECT wr;
    GetWindowRect(h, &wr);
    int n = std::max(1, count(s));
    int room = std::max(s->itemHeight, s->droppedHeight - closedHeight(s) - 2);
    int rows = std::max(1, std::min(n, room / std::max(1, s->itemHeight)));
    int height = rows * s->itemHeight + 2;
    int y = wr.bottom;
    if (y + height > GetSystemMetrics(SM_CYSCREEN) && wr.top - height >= 0) y = wr.top - height;
    s->selBeforeDrop = s->sel;
    toList(s, LB_SETCURSEL, static_cast<WPARAM>(s->sel), 0);
    SetWindowPos(s->list, HWND_TOPMOST, wr.left, y, wr.right - wr.left, height,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (s->sel >= 0) toList(s, LB_SETTOPINDEX, static_cast<WPARAM>(std::max(0, s->sel - rows + 1)), 0);
    s->dropped = true;
    SetCapture(s->list);
    InvalidateRect(h, nullptr, FALSE);
}

void closeUp(HWND h, ComboState *s, bool accept) {
    if (!s->dropped) return;
    s->dropped = false;
    if (GetCapture() == s->list) ReleaseCapture();
    notifyParent(h, accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
    ShowWindow(s->list, SW_HIDE);
    int before = s->sel;
    if (accept) {
        int i = static_cast<int>(toList(s, LB_GETCURSEL, 0, 0));
        if (i >= 0) s->sel = i;
    } else {
        s->sel = s->selBeforeDrop;
    }
    toList(s, LB_SETCURSEL, static_cast<WPARAM>(s->sel), 0);
    showSelection(h, s);
    notifyParent(h, CBN_CLOSEUP);
    if (s->sel != before) notifyParent(h, CBN_SELCHANGE);
    UpdateWindow(h);
}

bool keyDown(HWND h, ComboState *s, WPARAM vk, bool alt) {
    if (vk == VK_F4 || (alt && (vk == VK_DOWN || vk == VK_UP))) {
        if (s->dropped) closeUp(h, s, true);
        else drop(h, s);
        return true;
    }
    if (s->dropped && vk == VK_RETURN) {
        closeUp(h, s, true);
        return true;
    }
    if (s->dropped && vk == VK_ESCAPE) {
        closeUp(h, s, false);
        return true;
    }
    int n = count(s);
    if (n == 0) return vk == VK_UP || vk == VK_DOWN;
    int i = s->sel;
    switch (vk) {
    case VK_UP: i = i < 0 ? 0 : i - 1; break;
    case VK_DOWN: i = i < 0 ? 0 : i + 1; break;
    case VK_PRIOR:
    case VK_HOME:
        if (hasEdit(h) && vk == VK_HOME) return false;
        i = vk == VK_HOME ? 0 : i - 8;
        break;
    case VK_NEXT:
    case VK_END:
        if (hasEdit(h) && vk == VK_END) return false;
        i = vk == VK_END ? n - 1 : i + 8;
        break;
    default: return false;
    }
    i = std::clamp(i, 0, n - 1);
    if (s->extendedUi && !s->dropped && (vk == VK_DOWN)) {
        drop(h, s);
        return true;
    }
    if (i != s->sel) {
        setSel(h, s, i, true);
        if (s->dropped) toList(s, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
    }
    return true;
}

void paint(HWND h, ComboState *s, HDC hdc) {
    RECT r = clientRect(h);
    bool enabled = IsWindowEnabled(h) != FALSE;
    HBRUSH brush = parentBrush(h, hdc, enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC);
    RECT inner = r;
    DrawEdge(hdc, &inner, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    RECT t = textRect(h);
    FillRect(hdc, &t, brush);
    RECT b = buttonRect(h);
    DrawFrameControl(hdc, &b, DFC_SCROLL,
                     DFCS_SCROLLCOMBOBOX | (s->dropped ? DFCS_PUSHED | DFCS_FLAT : 0) | (enabled ? 0 : DFCS_INACTIVE));
    if (s->edit) return;
    HGDIOBJ old = SelectObject(hdc, fontOr(s->font));
    RECT sel{t.left + 1, t.top + 1, t.right - 1, t.bottom - 1};
    bool highlight = s->focus && !s->dropped && enabled;
    if (highlight) {
        FillRect(hdc, &sel, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(hdc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else if (!enabled) {
        SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
    }
    SetBkMode(hdc, TRANSPARENT);
    if (s->sel >= 0) {
        std::string text = itemText(s, s->sel);
        RECT tr{sel.left + 2, sel.top, sel.right, sel.bottom};
        DrawTextA(hdc, text.c_str(), -1, &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    if (highlight) DrawFocusRect(hdc, &sel);
    SelectObject(hdc, old);
}

void setFont(HWND h, ComboState *s, HFONT f) {
    s->font = f;
    s->itemHeight = fontHeight(f);
    toList(s, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
    if (s->edit) SendMessageA(s->edit, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
    RECT wr;
    GetWindowRect(h, &wr);
    SetWindowPos(h, nullptr, 0, 0, wr.right - wr.left, closedHeight(s), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    layoutEdit(h, s);
}

bool gotFocus(HWND h, ComboState *s) {
    if (s->focus) return false;
    s->focus = true;
    InvalidateRect(h, nullptr, FALSE);
    notifyParent(h, CBN_SETFOCUS);
    return true;
}

void lostFocus(HWND h, ComboState *s, HWND to) {
    if (to == h || (s->edit && to == s->edit) || !s->focus) return;
    if (s->dropped) closeUp(h, s, false);
    s->focus = false;
    InvalidateRect(h, nullptr, FALSE);
    notifyParent(h, CBN_KILLFOCUS);
}

UINT dlgCodeFor(ComboState *s, LPARAM lp) {
    UINT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
    auto *m = reinterpret_cast<MSG *>(lp);
    if (m && m->message == WM_KEYDOWN && s->dropped && (m->wParam == VK_RETURN || m->wParam == VK_ESCAPE))
        code |= DLGC_WANTMESSAGE;
    return code;
}

// The edit field of a CBS_DROPDOWN combo box: the list keys go to the combo box.
LRESULT CALLBACK comboEditProc(HWND e, UINT msg, WPARAM wp, LPARAM lp) {
    HWND combo = GetParent(e);
    auto *s = combo ? stateOf<ComboState>(combo) : nullptr;
    if (s) {
        switch (msg) {
        case WM_KEYDOWN:
            if (keyDown(combo, s, wp, false)) return 0;
            break;
        case WM_SYSKEYDOWN:
            if ((wp == VK_DOWN || wp == VK_UP) && keyDown(combo, s, wp, true)) return 0;
            break;
        case WM_CHAR:
            if (s->dropped && (wp == '\r' || wp == 0x1B)) return 0;
            break;
        case WM_GETDLGCODE:
            return editProc(e, msg, wp, lp) | dlgCodeFor(s, lp);
        }
    }
    return editProc(e, msg, wp, lp);
}

} // namespace

LRESULT CALLBACK comboBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto *s = stateOf<ComboState>(h);
    if (!s && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
    if (LRESULT r; controlPaintMessage(h, s, msg, wp, lp, paint, &r)) return r;
    switch (msg) {
    case WM_NCCREATE: {
        s = new ComboState;
        SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(s));
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        s->droppedHeight = cs->cy;
        s->itemHeight = fontHeight(nullptr);
        // The scroll bar styles are the list's; the field itself has none.
        if (cs->style & (WS_VSCROLL | WS_HSCROLL)) {
            s->listScroll = (cs->style & WS_VSCROLL) != 0;
            SetWindowLongA(h, GWL_STYLE, static_cast<LONG>(cs->style & ~(WS_VSCROLL | WS_HSCROLL)));
        }
        return DefWindowProcA(h, msg, wp, lp);
    }
    case WM_CREATE: {
        DWORD st = styleOf(h);
        DWORD ls = WS_POPUP | WS_BORDER | (s->listScroll ? WS_VSCROLL : 0) | LBS_COMBOBOX | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY;
        if (st & CBS_SORT) ls |= LBS_SORT;
        if (st & CBS_HASSTRINGS) ls |= LBS_HASSTRINGS;
        if (st & CBS_DISABLENOSCROLL) ls |= LBS_DISABLENOSCROLL;
        if (st & CBS_OWNERDRAWFIXED) ls |= LBS_OWNERDRAWFIXED;
        if (st & CBS_OWNERDRAWVARIABLE) ls |= LBS_OWNERDRAWVARIABLE;
        s->list = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "ComboLBox", "", ls, 0, 0, 10, 10, h, nullptr,
                                  nullptr, h);
        if (!s->list) return -1;
        if (hasEdit(h)) {
            DWORD es = WS_CHILD | WS_VISIBLE | ((st & CBS_AUTOHSCROLL) ? ES_AUTOHSCROLL : 0);
            if (st & CBS_UPPERCASE) es |= ES_UPPERCASE;
            if (st & CBS_LOWERCASE) es |= ES_LOWERCASE;
            s->edit = CreateWindowExA(0, "Edit", "", es, 0, 0, 10, 10, h,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kEditId)), nullptr, nullptr);
            if (!s->edit) return -1;
            SetWindowLongPtrA(s->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(comboEditProc));
        }
        setFont(h, s, nullptr);
        return 0;
    }
    case WM_DESTROY:
        if (s->list && IsWindow(s->list)) DestroyWindow(s->list);
        s->list = nullptr;
        return 0;
    case WM_SIZE:
        layoutEdit(h, s);
        return 0;
    case WM_SETFONT:
        setFont(h, s, reinterpret_cast<HFONT>(wp));
        if (LOWORD(lp)) InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s->font);
    case WM_ENABLE:
        if (s->edit) EnableWindow(s->edit, wp != 0);
        if (!wp && s->dropped) closeUp(h, s, false);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_GETDLGCODE:
        return dlgCodeFor(s, lp);
    case WM_SETFOCUS:
        if (s->edit) {
            SetFocus(s->edit);
            SendMessageA(s->edit, EM_SETSEL, 0, -1);
            return 0;
        }
        gotFocus(h, s);
        return 0;
    case WM_KILLFOCUS:
        lostFocus(h, s, reinterpret_cast<HWND>(wp));
        return 0;
    case WM_COMMAND:
        if (s->edit && reinterpret_cast<HWND>(lp) == s->edit) {
            switch (HIWORD(wp)) {
            case EN_SETFOCUS: gotFocus(h, s); break;
            case EN_KILLFOCUS: lostFocus(h, s, GetFocus()); break;
            case EN_CHANGE:
                if (!s->settingText) notifyParent(h, CBN_EDITCHANGE);
                break;
            case EN_UPDATE:
                if (!s->settingText) notifyParent(h, CBN_EDITUPDATE);
                break;
            }
        }
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX: {
        HWND parent = GetParent(h);
        LRESULT r = parent ? SendMessageA(parent, msg, wp, lp) : 0;
        return r ? r : DefWindowProcA(h, msg, wp, lp);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        POINT p{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
        RECT b = buttonRect(h);
        if (s->edit) SetFocus(s->edit);
        else SetFocus(h);
        if (!s->edit || PtInRect(&b, p)) {
            if (s->dropped) closeUp(h, s, true);
            else drop(h, s);
        }
        return 0;
    }
    case WM_KEYDOWN:
        keyDown(h, s, wp, false);
        return 0;
    case WM_SYSKEYDOWN:
        if ((wp == VK_DOWN || wp == VK_UP) && keyDown(h, s, wp, true)) return 0;
        return DefWindowProcA(h, msg, wp, lp);
    case WM_CHAR: {
        if (s->edit || wp < 0x20) return 0;
        char t[2] = {static_cast<char>(wp), 0};
        int i = static_cast<int>(toList(s, LB_FINDSTRING, static_cast<WPARAM>(s->sel), reinterpret_cast<LPARAM>(t)));
        if (i >= 0) {
            setSel(h, s, i, true);
            if (s->dropped) toList(s, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
        if (!s->dropped) keyDown(h, s, static_cast<SHORT>(HIWORD(wp)) > 0 ? VK_UP : VK_DOWN, false);
        return 0;

    case kComboListChosen:
        closeUp(h, s, true);
        return 0;
    case kComboListCancel:
        // A press elsewhere closes the list and is used up, as on Windows.
        closeUp(h, s, false);
        return 0;
    case kComboListChanged:
        return 0;

    case WM_SETTEXT:
        if (s->edit) {
            s->settingText = true;
            LRESULT r = SendMessageA(s->edit, WM_SETTEXT, wp, lp);
            s->settingText = false;
            return r;
        } else {
            int i = lp ? static_cast<int>(toList(s, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), lp)) : -1;
            if (i < 0) return CB_ERR;
            setSel(h, s, i, false);
            return TRUE;
        }
    case WM_GETTEXT:
        if (s->edit) return SendMessageA(s->edit, WM_GETTEXT, wp, lp);
        if (!lp || !wp) return 0;
        {
            std::string t = s->sel >= 0 ? itemText(s, s->sel) : std::string();
            lstrcpynA(reinterpret_cast<char *>(lp), t.c_str(), static_cast<int>(wp));
            return lstrlenA(reinterpret_cast<char *>(lp));
        }
    case WM_GETTEXTLENGTH:
        if (s->edit) return SendMessageA(s->edit, WM_GETTEXTLENGTH, 0, 0);
        return s->sel >= 0 ? static_cast<LRESULT>(itemText(s, s->sel).size()) : 0;

    case CB_ADDSTRING:
        return toList(s, LB_ADDSTRING, wp, lp);
    case CB_INSERTSTRING: {
        LRESULT r = toList(s, LB_INSERTSTRING, wp, lp);
        if (r >= 0 && s->sel >= r) s->sel++;
        return r;
    }
    case CB_DELETESTRING: {
        LRESULT r = toList(s, LB_DELETESTRING, wp, lp);
        if (r >= 0) {
            int i = static_cast<int>(wp);
            if (s->sel == i) {
                s->sel = -1;
                showSelection(h, s);
            } else if (s->sel > i) {
                s->sel--;
            }
        }
        return r;
    }
    case CB_RESETCONTENT:
        toList(s, LB_RESETCONTENT, 0, 0);
        s->sel = -1;
        showSelection(h, s);
        return CB_OKAY;
    case CB_GETCOUNT:
        return count(s);
    case CB_GETCURSEL:
        return s->sel;
    case CB_SETCURSEL: {
        int i = static_cast<int>(wp);
        if (i < 0 || i >= count(s)) {
            setSel(h, s, -1, false);
            return CB_ERR;
        }
        setSel(h, s, i, false);
        return i;
    }
    case CB_GETLBTEXT:
        return toList(s, LB_GETTEXT, wp, lp);
    case CB_GETLBTEXTLEN:
        return toList(s, LB_GETTEXTLEN, wp, lp);
    case CB_FINDSTRING:
        return toList(s, LB_FINDSTRING, wp, lp);
    case CB_FINDSTRINGEXACT:
        return toList(s, LB_FINDSTRINGEXACT, wp, lp);
    case CB_SELECTSTRING: {
        int i = static_cast<int>(toList(s, LB_FINDSTRING, wp, lp));
        if (i < 0) return CB_ERR;
        setSel(h, s, i, false);
        return i;
    }
    case CB_GETITEMDATA:
        return toList(s, LB_GETITEMDATA, wp, lp);
    case CB_SETITEMDATA:
        return toList(s, LB_SETITEMDATA, wp, lp);
    case CB_GETITEMHEIGHT:
        return static_cast<int>(wp) == -1 ? closedHeight(s) - 6 : s->itemHeight;
    case CB_SETITEMHEIGHT:
        if (static_cast<int>(wp) == -1) return CB_OKAY;
        return toList(s, LB_SETITEMHEIGHT, 0, lp);
    case CB_SHOWDROPDOWN:
        if (wp) drop(h, s);
        else closeUp(h, s, true);
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return s->dropped ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
        if (!lp) return CB_ERR;
        RECT wr;
        GetWindowRect(h, &wr);
        wr.bottom = wr.top + std::max(s->droppedHeight, closedHeight(s));
        *reinterpret_cast<RECT *>(lp) = wr;
        return CB_OKAY;
    }
    case CB_LIMITTEXT:
        if (!s->edit) return CB_ERR;
        SendMessageA(s->edit, EM_LIMITTEXT, wp, 0);
        return TRUE;
    case CB_GETEDITSEL:
        if (!s->edit) return CB_ERR;
        return SendMessageA(s->edit, EM_GETSEL, wp, lp);
    case CB_SETEDITSEL:
        if (!s->edit) return CB_ERR;
        SendMessageA(s->edit, EM_SETSEL, static_cast<WPARAM>(static_cast<SHORT>(LOWORD(lp))),
                     static_cast<LPARAM>(static_cast<SHORT>(HIWORD(lp))));
        return TRUE;
    case CB_SETEXTENDEDUI:
        s->extendedUi = wp != 0;
        return CB_OKAY;
    case CB_GETEXTENDEDUI:
        return s->extendedUi ? TRUE : FALSE;
    case CB_DIR:
        return toList(s, LB_DIR, wp, lp);
    }
    return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi::user
