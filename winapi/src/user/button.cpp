// The button control: push and default push buttons, check boxes (two and
// three states, automatic or not), option buttons (automatic ones uncheck
// the others of their group), group boxes and owner-drawn buttons, with
// the mouse, the space bar, BM_ messages and BN_ notifications.
#include "dialog.h"

namespace winapi::user {

namespace {

struct ButtonState {
    HFONT font = nullptr;
    UINT check = BST_UNCHECKED;
    bool pushed = false;   // drawn pressed
    bool tracking = false; // the mouse holds it
    bool spaceDown = false;
    bool focus = false;
    HANDLE image = nullptr;
};

constexpr int kBox = 13; // check box and option button size

UINT typeOf(HWND h) { return static_cast<UINT>(GetWindowLongA(h, GWL_STYLE)) & BS_TYPEMASK; }

bool isCheck(UINT t) { return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE; }
bool isRadio(UINT t) { return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON; }
bool isPush(UINT t) { return t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == BS_USERBUTTON; }

void paint(HWND h, ButtonState *s, HDC hdc);

// A change of state shows at once, drawn through a window DC, while the
// button's update region is only added to: a paint still due (its dialog
// just shown, whose background is not yet erased) then comes after the
// parent's, which would otherwise cover a button that had painted itself.
void redraw(HWND h) {
    InvalidateRect(h, nullptr, FALSE);
    auto *s = stateOf<ButtonState>(h);
    if (!s || !IsWindowVisible(h)) return;
    if (HDC dc = GetDC(h)) {
        paint(h, s, dc);
        ReleaseDC(h, dc);
    }
}

// Text format of a button's label from its style.
UINT textFormat(DWORD style, bool push) {
    UINT fmt = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    switch (style & BS_CENTER) {
    case BS_LEFT: fmt |= DT_LEFT; break;
    case BS_RIGHT: fmt |= DT_RIGHT; break;
    case BS_CENTER: fmt |= DT_CENTER; break;
    default: fmt |= push ? DT_CENTER : DT_LEFT; break;
    }
    switch (style & BS_VCENTER) {
    case BS_TOP: fmt |= DT_TOP; break;
    case BS_BOTTOM: fmt |= DT_BOTTOM; break;
    default: fmt |= DT_VCENTER; break;
    }
    return fmt;
}

// The label in r, with the mnemonic underlined; the rectangle it took.
RECT drawLabel(HWND h, HDC hdc, RECT r, UINT fmt, bool enabled) {
    char text[512];
    GetWindowTextA(h, text, sizeof text);
    RECT calc = r;
    DrawTextA(hdc, text, -1, &calc, (fmt & ~(DT_VCENTER | DT_BOTTOM | DT_CENTER | DT_RIGHT)) | DT_CALCRECT);
    int tw = calc.right - calc.left, th = calc.bottom - calc.top;
    RECT out = r;
    if (fmt & DT_CENTER) out.left = r.left + ((r.right - r.left) - tw) / 2;
    else if (fmt & DT_RIGHT) out.left = r.right - tw;
    out.right = out.left + tw;
    if (fmt & DT_VCENTER) out.top = r.top + ((r.bottom - r.top) - th) / 2;
    else if (fmt & DT_BOTTOM) out.top = r.bottom - th;
    out.bottom = out.top + th;
    UINT drawFmt = (fmt & (DT_WORDBREAK | DT_SINGLELINE)) | DT_LEFT | DT_TOP;
    if (!*text) return RECT{out.left, out.top, out.left, out.top};
    if (enabled) {
        SetBkMode(hdc, TRANSPARENT);
        DrawTextA(hdc, text, -1, &out, drawFmt);
    } else {
        drawDisabledText(hdc, text, out, drawFmt);
    }
    return out;
}

void drawImage(HDC hdc, DWORD style, HANDLE img, RECT r, bool pushed) {
    int w = 0, hgt = 0;
    if (style & BS_ICON) {
        w = GetSystemMetrics(SM_CXICON);
        hgt = GetSystemMetrics(SM_CYICON);
    } else {
        BITMAP bm{};
        if (!GetObjectA(img, sizeof bm, &bm)) return;
        w = bm.bmWidth;
        hgt = bm.bmHeight;
    }
    int x = r.left + ((r.right - r.left) - w) / 2 + (pushed ? 1 : 0);
    int y = r.top + ((r.bottom - r.top) - hgt) / 2 + (pushed ? 1 : 0);
    if (style & BS_ICON) {
        DrawIconEx(hdc, x, y, static_cast<HICON>(img), w, hgt, 0, nullptr, DI_NORMAL);
        return;
    }
    HDC mem = CreateCompatibleDC(hdc);
    HGDIOBJ old = SelectObject(mem, img);
    BitBlt(hdc, x, y, w, hgt, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void paintPush(HWND h, ButtonState *s, HDC hdc, DWORD style) {
    RECT r = clientRect(h);
    HBRUSH brush = parentBrush(h, hdc, WM_CTLCOLORBTN);
    FillRect(hdc, &r, brush);
    bool def = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    RECT b = r;
    if (def || s->pushed) {
        FrameRect(hdc, &b, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&b, -1, -1);
    }
    if (s->pushed) {
        FrameRect(hdc, &b, GetSysColorBrush(COLOR_3DSHADOW));
        InflateRect(&b, -1, -1);
        FillRect(hdc, &b, GetSysColorBrush(COLOR_3DFACE));
    } else {
        DrawFrameControl(hdc, &b, DFC_BUTTON, DFCS_BUTTONPUSH);
    }
    RECT content = r;
    InflateRect(&content, -4, -4);
    if ((style & (BS_ICON | BS_BITMAP)) && s->image) {
        drawImage(hdc, style, s->image, content, s->pushed);
    } else {
        RECT t = content;
        if (s->pushed) OffsetRect(&t, 1, 1);
        SetTextColor(hdc, GetSysColor(COLOR_BTNTEXT));
        drawLabel(h, hdc, t, textFormat(style, true), IsWindowEnabled(h));
    }
    if (s->focus) {
        RECT f = r;
        InflateRect(&f, -4, -4);
        DrawFocusRect(hdc, &f);
    }
}

void paintCheck(HWND h, ButtonState *s, HDC hdc, DWORD style) {
    RECT r = clientRect(h);
    HBRUSH brush = parentBrush(h, hdc, WM_CTLCOLORSTATIC);
    FillRect(hdc, &r, brush);
    UINT type = style & BS_TYPEMASK;
    bool right = (style & BS_LEFTTEXT) != 0;
    int top = r.top + ((r.bottom - r.top) - kBox) / 2;
    if ((style & BS_VCENTER) == BS_TOP) top = r.top;
    if ((style & BS_VCENTER) == BS_BOTTOM) top = r.bottom - kBox;
    RECT box{right ? r.right - kBox : r.left, top, right ? r.right : r.left + kBox, top + kBox};
    UINT state = isRadio(type) ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
    if (s->check == BST_CHECKED) state |= DFCS_CHECKED;
    if (s->check == BST_INDETERMINATE && (type == BS_3STATE || type == BS_AUTO3STATE))
        state |= DFCS_BUTTON3STATE | DFCS_CHECKED | DFCS_INACTIVE;
    if (s->pushed) state |= DFCS_PUSHED;
    if (!IsWindowEnabled(h)) state |= DFCS_INACTIVE;
    DrawFrameControl(hdc, &box, DFC_BUTTON, state);
    RECT t = r;
    if (right) t.right = box.left - 4;
    else t.left = box.right + 4;
    RECT label = drawLabel(h, hdc, t, textFormat(style, false), IsWindowEnabled(h));
    if (s->focus && label.right > label.left) {
        InflateRect(&label, 1, 1);
        IntersectRect(&label, &label, &r);
        DrawFocusRect(hdc, &label);
    }
}

void paintGroup(HWND h, ButtonState *s, HDC hdc, DWORD style) {
    RECT r = clientRect(h);
    HBRUSH brush = parentBrush(h, hdc, WM_CTLCOLORSTATIC);
    char text[256];
    GetWindowTextA(h, text, sizeof text);
    TEXTMETRICA tm{};
    GetTextMetricsA(hdc, &tm);
    RECT frame = r;
    frame.top += tm.tmHeight / 2;
    DrawEdge(hdc, &frame, EDGE_ETCHED, BF_RECT);
    if (!*text) return;
    SIZE ext{};
    RECT calc{0, 0, 0, 0};
    DrawTextA(hdc, text, -1, &calc, DT_SINGLELINE | DT_CALCRECT);
    ext.cx = calc.right - calc.left;
    RECT back{r.left + 7, r.top, std::min<LONG>(r.left + 7 + ext.cx + 4, r.right - 2), r.top + tm.tmHeight};
    FillRect(hdc, &back, brush);
    RECT t{back.left + 2, back.top, back.right, back.bottom};
    drawLabel(h, hdc, t, DT_SINGLELINE | DT_LEFT | DT_TOP, IsWindowEnabled(h));
}

void paint(HWND h, ButtonState *s, HDC hdc) {
    DWORD style = static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE));
    UINT type = style & BS_TYPEMASK;
    if (type == BS_OWNERDRAW) {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(h));
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = (s->pushed ? ODS_SELECTED : 0) | (s->focus ? ODS_FOCUS : 0) | (IsWindowEnabled(h) ? 0 : ODS_DISABLED);
        dis.hwndItem = h;
        dis.hDC = hdc;
        dis.rcItem = clientRect(h);
        parentBrush(h, hdc, WM_CTLCOLORBTN);
        SendMessageA(GetParent(h), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        return;
    }
    HGDIOBJ old = SelectObject(hdc, fontOr(s->font));
    if (type == BS_GROUPBOX) paintGroup(h, s, hdc, style);
    else if (isCheck(type) || isRadio(type)) paintCheck(h, s, hdc, style);
    else paintPush(h, s, hdc, style);
    SelectObject(hdc, old);
}

// An automatic option button, when chosen, unchecks the other automatic
// ones of its group (disabled ones too): the siblings from the one that
// starts the group (WS_GROUP) to the one before the next start.
void uncheckGroup(HWND h) {
    HWND first = h;
    while (!(GetWindowLongA(first, GWL_STYLE) & WS_GROUP)) {
        HWND prev = GetWindow(first, GW_HWNDPREV);
        if (!prev) break;
        first = prev;
    }
    for (HWND c = first; c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (c != first && (GetWindowLongA(c, GWL_STYLE) & WS_GROUP)) break;
        if (c != h && typeOf(c) == BS_AUTORADIOBUTTON) {
            char cls[16];
            GetClassNameA(c, cls, sizeof cls);
            if (!lstrcmpiA(cls, "Button")) SendMessageA(c, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
}

// What a click does: the automatic kinds change their check, then the parent hears of it.
void clicked(HWND h, ButtonState *s) {
    UINT type = typeOf(h);
    switch (type) {
    case BS_AUTOCHECKBOX:
        SendMessageA(h, BM_SETCHECK, s->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
        break;
    case BS_AUTO3STATE:
        SendMessageA(h, BM_SETCHECK, (s->check + 1) % 3, 0);
        break;
    case BS_AUTORADIOBUTTON:
        SendMessageA(h, BM_SETCHECK, BST_CHECKED, 0);
        uncheckGroup(h);
        break;
    }
    notifyParent(h, BN_CLICKED);
}

void setPushed(HWND h, ButtonState *s, bool on) {
    if (s->pushed == on) return;
    s->pushed = on;
    redraw(h);
    if (GetWindowLongA(h, GWL_STYLE) & BS_NOTIFY) notifyParent(h, on ? BN_HILITE : BN_UNHILITE);
}

} // namespace

LRESULT CALLBACK buttonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto *s = stateOf<ButtonState>(h);
    if (!s && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
    if (LRESULT r; controlPaintMessage(h, s, msg, wp, lp, paint, &r)) return r;
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(new ButtonState));
        return DefWindowProcA(h, msg, wp, lp);
    case WM_NCHITTEST:
        // A group box is only a frame: the mouse goes to what it surrounds.
        if (typeOf(h) == BS_GROUPBOX) return HTTRANSPARENT;
        return DefWindowProcA(h, msg, wp, lp);
    case WM_GETDLGCODE: {
        UINT t = typeOf(h);
        if (t == BS_GROUPBOX) return DLGC_STATIC;
        if (t == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (isPush(t)) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        if (isRadio(t)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
        return DLGC_BUTTON;
    }
    case WM_LBUTTONDBLCLK: {
        UINT t = typeOf(h);
        if (isRadio(t) || t == BS_OWNERDRAW || (GetWindowLongA(h, GWL_STYLE) & BS_NOTIFY)) {
            notifyParent(h, BN_DOUBLECLICKED);
            return 0;
        }
        [[fallthrough]];
    }
    case WM_LBUTTONDOWN:
        if (typeOf(h) == BS_GROUPBOX) return 0;
        SetCapture(h);
        SetFocus(h);
        s->tracking = true;
        setPushed(h, s, true);
        return 0;
    case WM_MOUSEMOVE:
        if (s->tracking && GetCapture() == h) {
            POINT p{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
            RECT r = clientRect(h);
            setPushed(h, s, PtInRect(&r, p) != 0);
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!s->tracking) return 0;
        s->tracking = false;
        POINT p{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
        RECT r = clientRect(h);
        bool inside = PtInRect(&r, p) != 0;
        setPushed(h, s, false);
        if (GetCapture() == h) ReleaseCapture();
        if (inside) clicked(h, s);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (s->tracking) {
            s->tracking = false;
            setPushed(h, s, false);
        }
        return 0;
    case WM_KEYDOWN:
        if (wp == VK_SPACE && !(lp & (1 << 30)) && typeOf(h) != BS_GROUPBOX) {
            s->spaceDown = true;
            setPushed(h, s, true);
        }
        return 0;
    case WM_KEYUP:
        if (wp == VK_SPACE && s->spaceDown) {
            s->spaceDown = false;
            setPushed(h, s, false);
            clicked(h, s);
        }
        return 0;
    case WM_CHAR: {
        // '+' and '-' check and uncheck a check box, as on Windows.
        UINT t = typeOf(h);
        if (isCheck(t) && (t == BS_AUTOCHECKBOX || t == BS_AUTO3STATE)) {
            if (wp == '+' || wp == '=') SendMessageA(h, BM_SETCHECK, BST_CHECKED, 0);
            else if (wp == '-') SendMessageA(h, BM_SETCHECK, BST_UNCHECKED, 0);
            else return 0;
            notifyParent(h, BN_CLICKED);
        }
        return 0;
    }
    case WM_SETFOCUS:
        s->focus = true;
        redraw(h);
        if (GetWindowLongA(h, GWL_STYLE) & BS_NOTIFY) notifyParent(h, BN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        s->focus = false;
        s->spaceDown = false;
        if (s->tracking && GetCapture() == h) ReleaseCapture();
        s->tracking = false;
        s->pushed = false;
        redraw(h);
        if (GetWindowLongA(h, GWL_STYLE) & BS_NOTIFY) notifyParent(h, BN_KILLFOCUS);
        return 0;
    case WM_ENABLE:
        redraw(h);
        return 0;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(h, msg, wp, lp);
        InvalidateRect(h, nullptr, FALSE);
        return r;
    }
    case WM_SETFONT:
        s->font = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s->font);
    case BM_GETCHECK:
        return s->check;
    case BM_SETCHECK: {
        UINT t = typeOf(h);
        if (!isCheck(t) && !isRadio(t)) return 0;
        UINT v = static_cast<UINT>(wp);
        if (v == BST_INDETERMINATE && t != BS_3STATE && t != BS_AUTO3STATE) v = BST_CHECKED;
        if (v > BST_INDETERMINATE) v = BST_CHECKED;
        if (v != s->check) {
            s->check = v;
            redraw(h);
        }
        // A checked option button is the one the Tab key reaches in its group.
        if (isRadio(t)) {
            LONG st = GetWindowLongA(h, GWL_STYLE);
            if (v == BST_CHECKED && !(st & WS_TABSTOP)) SetWindowLongA(h, GWL_STYLE, st | WS_TABSTOP);
            else if (v != BST_CHECKED && (st & WS_TABSTOP)) SetWindowLongA(h, GWL_STYLE, st & ~WS_TABSTOP);
        }
        return 0;
    }
    case BM_GETSTATE:
        return s->check | (s->pushed ? BST_PUSHED : 0) | (s->focus ? BST_FOCUS : 0);
    case BM_SETSTATE:
        setPushed(h, s, wp != 0);
        return 0;
    case BM_SETSTYLE: {
        LONG st = GetWindowLongA(h, GWL_STYLE);
        LONG ns = (st & ~static_cast<LONG>(BS_TYPEMASK)) | static_cast<LONG>(wp & BS_TYPEMASK);
        if (ns != st) {
            SetWindowLongA(h, GWL_STYLE, ns);
            if (LOWORD(lp)) redraw(h);
        }
        return 0;
    }
    case BM_CLICK:
        // A disabled button cannot be pressed, by the mouse or by this.
        if (!IsWindowEnabled(h) || typeOf(h) == BS_GROUPBOX) return 0;
        SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        SendMessageA(h, WM_LBUTTONUP, 0, 0);
        return 0;
    case BM_SETIMAGE: {
        HANDLE old = s->image;
        s->image = reinterpret_cast<HANDLE>(lp);
        InvalidateRect(h, nullptr, FALSE);
        return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE:
        return reinterpret_cast<LRESULT>(s->image);
    }
    return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi::user
