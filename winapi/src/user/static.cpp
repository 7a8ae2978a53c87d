// The static control: text (left, centred, right, without wrapping),
// icons, bitmaps, rectangles and frames, etched lines and the sunken edge.
#include "dialog.h"

namespace winapi::user {

namespace {

struct StaticState {
    HFONT font = nullptr;
    HANDLE image = nullptr; // icon or bitmap
};

UINT typeOf(HWND h) { return static_cast<UINT>(GetWindowLongA(h, GWL_STYLE)) & SS_TYPEMASK; }

// "\xFF" and a number: an icon or bitmap named by its resource number.
LPCSTR resourceName(const char *text) {
    if (text && static_cast<unsigned char>(text[0]) == 0xFF)
        return MAKEINTRESOURCEA(static_cast<BYTE>(text[1]) | (static_cast<BYTE>(text[2]) << 8));
    return text && *text ? text : nullptr;
}

void sizeToImage(HWND h, int cx, int cy) {
    if (GetWindowLongA(h, GWL_STYLE) & (SS_CENTERIMAGE | SS_REALSIZEIMAGE)) return;
    SetWindowPos(h, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HANDLE setImage(HWND h, StaticState *s, UINT type, HANDLE img) {
    HANDLE old = s->image;
    s->image = img;
    if (img && type == SS_ICON) sizeToImage(h, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    if (img && type == SS_BITMAP) {
        BITMAP bm{};
        if (GetObjectA(img, sizeof bm, &bm)) sizeToImage(h, bm.bmWidth, bm.bmHeight);
    }
    InvalidateRect(h, nullptr, TRUE);
    return old;
}

void paint(HWND h, StaticState *s, HDC hdc) {
    DWORD style = static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE));
    UINT type = style & SS_TYPEMASK;
    RECT r = clientRect(h);
    switch (type) {
    case SS_BLACKRECT: FillRect(hdc, &r, GetSysColorBrush(COLOR_3DDKSHADOW)); return;
    case SS_GRAYRECT: FillRect(hdc, &r, GetSysColorBrush(COLOR_3DSHADOW)); return;
    case SS_WHITERECT: FillRect(hdc, &r, GetSysColorBrush(COLOR_3DHILIGHT)); return;
    case SS_BLACKFRAME: FrameRect(hdc, &r, GetSysColorBrush(COLOR_3DDKSHADOW)); return;
    case SS_GRAYFRAME: FrameRect(hdc, &r, GetSysColorBrush(COLOR_3DSHADOW)); return;
    case SS_WHITEFRAME: FrameRect(hdc, &r, GetSysColorBrush(COLOR_3DHILIGHT)); return;
    case SS_ETCHEDHORZ: {
        RECT e{r.left, r.top, r.right, r.top + 2};
        DrawEdge(hdc, &e, EDGE_ETCHED, BF_TOP | BF_BOTTOM);
        return;
    }
    case SS_ETCHEDVERT: {
        RECT e{r.left, r.top, r.left + 2, r.bottom};
        DrawEdge(hdc, &e, EDGE_ETCHED, BF_LEFT | BF_RIGHT);
        return;
    }
    case SS_ETCHEDFRAME: DrawEdge(hdc, &r, EDGE_ETCHED, BF_RECT); return;
    case SS_OWNERDRAW: {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_STATIC;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID(h));
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = IsWindowEnabled(h) ? 0 : ODS_DISABLED;
        dis.hwndItem = h;
        dis.hDC = hdc;
        dis.rcItem = r;
        SendMessageA(GetParent(h), WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        return;
    }
    }
    HBRUSH brush = parentBrush(h, hdc, WM_CTLCOLORSTATIC);
    FillRect(hdc, &r, brush);
    if (type == SS_ICON) {
        if (s->image) {
            int x = 0, y = 0, cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
            if (style & SS_CENTERIMAGE) {
                x = (r.right - cx) / 2;
                y = (r.bottom - cy) / 2;
            }
            DrawIconEx(hdc, x, y, static_cast<HICON>(s->image), cx, cy, 0, nullptr, DI_NORMAL);
        }
        return;
    }
    if (type == SS_BITMAP) {
        BITMAP bm{};
        if (s->image && GetObjectA(s->image, sizeof bm, &bm)) {
            HDC mem = CreateCompatibleDC(hdc);
            HGDIOBJ old = SelectObject(mem, s->image);
            int x = 0, y = 0;
            if (style & SS_CENTERIMAGE) {
                x = (r.right - bm.bmWidth) / 2;
                y = (r.bottom - bm.bmHeight) / 2;
            }
            BitBlt(hdc, x, y, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        }
        return;
    }
    char text[1024];
    GetWindowTextA(h, text, sizeof text);
    UINT fmt = DT_EXPANDTABS;
    switch (type) {
    case SS_CENTER: fmt |= DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: fmt |= DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP:
    case SS_SIMPLE: fmt |= DT_LEFT; break;
    default: fmt |= DT_LEFT | DT_WORDBREAK; break;
    }
    if (style & SS_NOPREFIX) fmt |= DT_NOPREFIX;
    if (style & SS_CENTERIMAGE) fmt = (fmt & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    if (style & SS_ENDELLIPSIS) fmt |= DT_END_ELLIPSIS;
    if (style & SS_PATHELLIPSIS) fmt |= DT_PATH_ELLIPSIS;
    HGDIOBJ old = SelectObject(hdc, fontOr(s->font));
    if (!IsWindowEnabled(h)) {
        drawDisabledText(hdc, text, r, fmt);
    } else {
        SetBkMode(hdc, TRANSPARENT);
        DrawTextA(hdc, text, -1, &r, fmt);
    }
    SelectObject(hdc, old);
}

} // namespace

LRESULT CALLBACK staticProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto *s = stateOf<StaticState>(h);
    switch (msg) {
    case WM_NCCREATE: {
        s = new StaticState;
        SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(s));
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        if (cs->style & SS_SUNKEN) SetWindowLongA(h, GWL_EXSTYLE, cs->dwExStyle | WS_EX_STATICEDGE);
        UINT type = static_cast<UINT>(cs->style) & SS_TYPEMASK;
        if (type == SS_ICON || type == SS_BITMAP) {
            // The text names the image; the window keeps no text.
            LPCSTR name = resourceName(cs->lpszName);
            if (name) {
                HINSTANCE inst = cs->hInstance;
                s->image = type == SS_ICON ? static_cast<HANDLE>(LoadIconA(inst, name))
                                           : static_cast<HANDLE>(LoadBitmapA(inst, name));
                if (!s->image && type == SS_ICON) s->image = LoadIconA(nullptr, name);
            }
            CREATESTRUCTA copy = *cs;
            copy.lpszName = "";
            return DefWindowProcA(h, msg, wp, reinterpret_cast<LPARAM>(&copy));
        }
        return DefWindowProcA(h, msg, wp, lp);
    }
    case WM_CREATE: {
        UINT type = typeOf(h);
        if (s->image && (type == SS_ICON || type == SS_BITMAP)) setImage(h, s, type, s->image);
        return 0;
    }
    case WM_NCDESTROY:
        delete s;
        SetWindowLongPtrA(h, 0, 0);
        return DefWindowProcA(h, msg, wp, lp);
    case WM_NCHITTEST:
        // Labels let the mouse through unless they report clicks.
        if (!(GetWindowLongA(h, GWL_STYLE) & SS_NOTIFY)) return HTTRANSPARENT;
        return DefWindowProcA(h, msg, wp, lp);
    case WM_LBUTTONDOWN:
        if (GetWindowLongA(h, GWL_STYLE) & SS_NOTIFY) notifyParent(h, STN_CLICKED);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (GetWindowLongA(h, GWL_STYLE) & SS_NOTIFY) notifyParent(h, STN_DBLCLK);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(h, &ps);
        if (s) paint(h, s, hdc);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        if (s) paint(h, s, reinterpret_cast<HDC>(wp));
        return 0;
    case WM_SETTEXT: {
        UINT type = typeOf(h);
        if (type == SS_ICON || type == SS_BITMAP) return TRUE;
        LRESULT r = DefWindowProcA(h, msg, wp, lp);
        InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    case WM_SETFONT:
        if (s) s->font = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return s ? reinterpret_cast<LRESULT>(s->font) : 0;
    case WM_ENABLE:
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case STM_SETICON:
        if (!s || typeOf(h) != SS_ICON) return 0;
        return reinterpret_cast<LRESULT>(setImage(h, s, SS_ICON, reinterpret_cast<HANDLE>(wp)));
    case STM_GETICON:
        return s && typeOf(h) == SS_ICON ? reinterpret_cast<LRESULT>(s->image) : 0;
    case STM_SETIMAGE: {
        UINT type = typeOf(h);
        if (!s || !((wp == IMAGE_ICON && type == SS_ICON) || (wp == IMAGE_BITMAP && type == SS_BITMAP))) return 0;
        return reinterpret_cast<LRESULT>(setImage(h, s, type, reinterpret_cast<HANDLE>(lp)));
    }
    case STM_GETIMAGE: {
        UINT type = typeOf(h);
        if (!s || !((wp == IMAGE_ICON && type == SS_ICON) || (wp == IMAGE_BITMAP && type == SS_BITMAP))) return 0;
        return reinterpret_cast<LRESULT>(s->image);
    }
    }
    return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi::user
