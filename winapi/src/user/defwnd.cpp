// DefWindowProcA and the non-client area of the classic look: frames,
// caption with its icon, title and buttons, the menu bar, client edges and
// scroll bars; their hit tests and mouse handling.
#include "window.h"

#include "message.h"

#include <algorithm>
#include <cstring>

namespace winapi::user {

namespace {

constexpr int kCaption = 19, kToolCaption = 15;

int frameWidth(DWORD style, DWORD exStyle) {
    if (exStyle & WS_EX_DLGMODALFRAME) return 3;
    if (style & WS_THICKFRAME) return 4;
    if (style & WS_DLGFRAME) return 3;
    if (style & WS_BORDER) return 1;
    return 0;
}

// Where the parts of the non-client area lie, in window coordinates.
struct NcLayout {
    RECT window{};   // 0, 0, width, height
    int frame = 0;
    RECT caption{};  // empty when none
    RECT menu{};
    RECT inner{};    // inside frame, caption and menu
    RECT edgeArea{}; // inside the client edge
    RECT vscroll{}, hscroll{}, corner{};
    RECT client{};
};

NcLayout layoutOf(const Window *w) {
    NcLayout l;
    int cx = w->rect.right - w->rect.left, cy = w->rect.bottom - w->rect.top;
    l.window = RECT{0, 0, cx, cy};
    l.frame = frameWidth(w->style, w->exStyle);
    RECT r{l.frame, l.frame, cx - l.frame, cy - l.frame};
    if ((w->style & WS_CAPTION) == WS_CAPTION) {
        int h = (w->exStyle & WS_EX_TOOLWINDOW) ? kToolCaption : kCaption;
        l.caption = RECT{r.left, r.top, r.right, r.top + h - 1};
        r.top += h;
    }
    if (!(w->style & WS_CHILD) && w->menu) {
        int mh = menuBarHeightFor(w->menu, r.right - r.left);
        l.menu = RECT{r.left, r.top, r.right, r.top + mh};
        r.top += mh;
    }
    l.inner = r;
    if (w->exStyle & WS_EX_CLIENTEDGE) InflateRect(&r, -2, -2);
    if (w->exStyle & WS_EX_STATICEDGE) InflateRect(&r, -1, -1);
    l.edgeArea = r;
    if (w->style & WS_VSCROLL) {
        l.vscroll = RECT{r.right - 16, r.top, r.right, r.bottom};
        r.right -= 16;
    }
    if (w->style & WS_HSCROLL) {
        l.hscroll = RECT{r.left, r.bottom - 16, r.right, r.bottom};
        if (w->style & WS_VSCROLL) {
            l.corner = RECT{r.right, r.bottom - 16, r.right + 16, r.bottom};
            l.vscroll.bottom -= 16;
        }
        r.bottom -= 16;
    }
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    l.client = r;
    return l;
}

// Caption buttons, right to left: close, maximise, minimise.
struct CaptionButtons {
    RECT close{}, max{}, min{}, icon{};
};

CaptionButtons captionButtons(const Window *w, const RECT &cap) {
    CaptionButtons b;
    if (gdi::rectEmpty(cap)) return b;
    bool tool = (w->exStyle & WS_EX_TOOLWINDOW) != 0;
    int bh = cap.bottom - cap.top - 4, bw = tool ? bh : bh + 2;
    int x = cap.right - 2;
    if (w->style & WS_SYSMENU) {
        b.close = RECT{x - bw, cap.top + 2, x, cap.top + 2 + bh};
        x -= bw + 2;
        if (!tool && (w->style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX))) {
            b.max = RECT{x - bw, cap.top + 2, x, cap.top + 2 + bh};
            x -= bw;
            b.min = RECT{x - bw, cap.top + 2, x, cap.top + 2 + bh};
        }
        if (!tool && !(w->exStyle & WS_EX_DLGMODALFRAME)) b.icon = RECT{cap.left + 2, cap.top + 1, cap.left + 18, cap.top + 17};
    }
    return b;
}

void gradient(HDC hdc, const RECT &r, COLORREF a, COLORREF b) {
    int w = r.right - r.left;
    if (w <= 0) return;
    for (int x = 0; x < w; x++) {
        int t = w > 1 ? x * 255 / (w - 1) : 0;
        COLORREF c = RGB((GetRValue(a) * (255 - t) + GetRValue(b) * t) / 255,
                         (GetGValue(a) * (255 - t) + GetGValue(b) * t) / 255,
                         (GetBValue(a) * (255 - t) + GetBValue(b) * t) / 255);
        HBRUSH br = CreateSolidBrush(c);
        RECT col{r.left + x, r.top, r.left + x + 1, r.bottom};
        FillRect(hdc, &col, br);
        DeleteObject(br);
    }
}

// The little window of the system menu when the class has no small icon.
void drawAppGlyph(HDC hdc, const RECT &r) {
    RECT f{r.left + 1, r.top + 2, r.right - 1, r.bottom - 2};
    FillRect(hdc, &f, GetSysColorBrush(COLOR_WINDOW));
    FrameRect(hdc, &f, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RECT bar{f.left + 1, f.top + 1, f.right - 1, f.top + 4};
    FillRect(hdc, &bar, GetSysColorBrush(COLOR_ACTIVECAPTION));
}

void drawCaption(Window *w, HDC hdc, const NcLayout &l, bool active) {
    RECT cap = l.caption;
    if (gdi::rectEmpty(cap)) return;
    gradient(hdc, cap, GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION),
             GetSysColor(active ? COLOR_GRADIENTACTIVECAPTION : COLOR_GRADIENTINACTIVECAPTION));
    // The line between caption and what follows.
    RECT line{cap.left, cap.bottom, cap.right, cap.bottom + 1};
    FillRect(hdc, &line, GetSysColorBrush(COLOR_3DFACE));
    CaptionButtons b = captionButtons(w, cap);
    int textLeft = cap.left + 3;
    if (!gdi::rectEmpty(b.icon)) {
        HICON icon = w->cls->iconSm ? w->cls->iconSm : w->cls->icon;
        if (icon)
            DrawIconEx(hdc, b.icon.left, b.icon.top, icon, 16, 16, 0, nullptr, DI_NORMAL);
        else
            drawAppGlyph(hdc, b.icon);
        textLeft = b.icon.right + 2;
    }
    int textRight = cap.right - 2;
    if (!gdi::rectEmpty(b.min)) textRight = b.min.left - 2;
    else if (!gdi::rectEmpty(b.close)) textRight = b.close.left - 2;
    HFONT old = static_cast<HFONT>(SelectObject(hdc, captionFont()));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    RECT tr{textLeft, cap.top, textRight, cap.bottom};
    DrawTextA(hdc, w->text.c_str(), -1, &tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(hdc, old);
    if (!gdi::rectEmpty(b.close)) {
        bool noClose = (w->cls->style & CS_NOCLOSE) != 0;
        DrawFrameControl(hdc, &b.close, DFC_CAPTION, DFCS_CAPTIONCLOSE | (noClose ? DFCS_INACTIVE : 0));
    }
    if (!gdi::rectEmpty(b.max))
        DrawFrameControl(hdc, &b.max, DFC_CAPTION,
                         (w->maximized ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMAX) |
                             ((w->style & WS_MAXIMIZEBOX) ? 0 : DFCS_INACTIVE));
    if (!gdi::rectEmpty(b.min))
        DrawFrameControl(hdc, &b.min, DFC_CAPTION, DFCS_CAPTIONMIN | ((w->style & WS_MINIMIZEBOX) ? 0 : DFCS_INACTIVE));
}

void drawFrame(Window *w, HDC hdc, const NcLayout &l) {
    RECT r = l.window;
    if (l.frame == 1) {
        FrameRect(hdc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    } else if (l.frame >= 3) {
        DrawEdge(hdc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
        int rest = l.frame - 2;
        HBRUSH b = GetSysColorBrush(l.frame == 4 ? COLOR_ACTIVEBORDER : COLOR_3DFACE);
        for (int i = 0; i < rest; i++) {
            FrameRect(hdc, &r, b);
            InflateRect(&r, -1, -1);
        }
    }
    if (w->exStyle & WS_EX_CLIENTEDGE) {
        RECT e = l.inner;
        DrawEdge(hdc, &e, EDGE_SUNKEN, BF_RECT);
    } else if (w->exStyle & WS_EX_STATICEDGE) {
        RECT e = l.inner;
        DrawEdge(hdc, &e, BDR_SUNKENOUTER, BF_RECT);
    }
}

HWND g_lastActiveDrawn = nullptr;

} // namespace

RECT nonClientInsets(DWORD style, DWORD exStyle, bool hasMenu, bool topLevel, int menuHeight) {
    int f = frameWidth(style, exStyle);
    RECT in{f, f, f, f};
    if ((style & WS_CAPTION) == WS_CAPTION) in.top += (exStyle & WS_EX_TOOLWINDOW) ? kToolCaption : kCaption;
    if (topLevel && hasMenu && !(style & WS_CHILD)) in.top += menuHeight;
    int e = ((exStyle & WS_EX_CLIENTEDGE) ? 2 : 0) + ((exStyle & WS_EX_STATICEDGE) ? 1 : 0);
    in.left += e;
    in.top += e;
    in.right += e;
    in.bottom += e;
    if (style & WS_VSCROLL) in.right += 16;
    if (style & WS_HSCROLL) in.bottom += 16;
    return in;
}

bool scrollBarRect(const Window *w, int bar, RECT *r) {
    NcLayout l = layoutOf(w);
    *r = bar == SB_VERT ? l.vscroll : l.hscroll;
    return !gdi::rectEmpty(*r);
}

LRESULT defNcHitTest(Window *w, POINT screen) {
    RECT wr = windowRectOnScreen(w);
    if (!gdi::rectContains(wr, screen.x, screen.y)) return HTNOWHERE;
    NcLayout l = layoutOf(w);
    int x = screen.x - wr.left, y = screen.y - wr.top;
    if (gdi::rectContains(l.client, x, y)) return HTCLIENT;
    if (gdi::rectContains(l.vscroll, x, y)) return HTVSCROLL;
    if (gdi::rectContains(l.hscroll, x, y)) return HTHSCROLL;
    if (gdi::rectContains(l.corner, x, y)) return (w->style & WS_THICKFRAME) ? HTGROWBOX : HTNOWHERE;
    if (gdi::rectContains(l.menu, x, y)) return HTMENU;
    if (gdi::rectContains(l.caption, x, y)) {
        CaptionButtons b = captionButtons(w, l.caption);
        if (gdi::rectContains(b.close, x, y)) return HTCLOSE;
        if (gdi::rectContains(b.max, x, y)) return HTMAXBUTTON;
        if (gdi::rectContains(b.min, x, y)) return HTMINBUTTON;
        if (gdi::rectContains(b.icon, x, y)) return HTSYSMENU;
        return HTCAPTION;
    }
    if (l.frame > 0 && !gdi::rectContains(RECT{l.frame, l.frame, l.window.right - l.frame, l.window.bottom - l.frame}, x, y)) {
        if (!(w->style & WS_THICKFRAME)) return HTBORDER;
        int c = 16;
        bool left = x < l.frame, right = x >= l.window.right - l.frame, top = y < l.frame,
             bottom = y >= l.window.bottom - l.frame;
        if ((top && x < c) || (left && y < c)) return HTTOPLEFT;
        if ((top && x >= l.window.right - c) || (right && y < c)) return HTTOPRIGHT;
        if ((bottom && x < c) || (left && y >= l.window.bottom - c)) return HTBOTTOMLEFT;
        if ((bottom && x >= l.window.right - c) || (right && y >= l.window.bottom - c)) return HTBOTTOMRIGHT;
        if (left) return HTLEFT;
        if (right) return HTRIGHT;
        if (top) return HTTOP;
        return HTBOTTOM;
    }
    return HTBORDER;
}

int menuBarHeight(Window *w) {
    NcLayout l = layoutOf(w);
    return l.menu.bottom - l.menu.top;
}

void paintNonClient(HWND h) {
    NcLayout l;
    WindowPtr wp = windowRef(h);
    if (!wp) return;
    bool active;
    // Drawn from a copy: other threads may change the window meanwhile.
    std::shared_ptr<Window> snap;
    {
        UserLock lk(userMutex());
        if (!visibleOnScreen(wp.get())) return;
        l = layoutOf(wp.get());
        wp->ncDirty = false;
        active = threadStateLocked(wp->tid).active == h || foregroundWindow() == h;
        snap = std::make_shared<Window>(*wp);
        snap->children.clear();
        snap->fb.reset();
    }
    if (gdi::rectEqual(l.client, l.window)) return;
    HDC hdc = GetWindowDC(h);
    if (!hdc) return;
    ExcludeClipRect(hdc, l.client.left, l.client.top, l.client.right, l.client.bottom);
    drawFrame(snap.get(), hdc, l);
    drawCaption(snap.get(), hdc, l, active);
    if (!gdi::rectEmpty(l.menu)) menuBarPaint(h, hdc, l.menu);
    drawScrollBars(h, hdc);
    if (!gdi::rectEmpty(l.corner)) FillRect(hdc, &l.corner, GetSysColorBrush(COLOR_3DFACE));
    ReleaseDC(h, hdc);
}

void sendNcPaintIfOnlyFrame(HWND h) {
    bool frameOnly;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return;
        frameOnly = w->ncDirty && w->update.empty() && !w->internalPaint;
        if (frameOnly) w->ncDirty = false;
    }
    if (frameOnly) SendMessageA(h, WM_NCPAINT, 1, 0);
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

namespace {

// The close button is tracked as a push button: pressed while the mouse
// stays on it; only a release over it closes.
void trackCaptionButton(HWND h, int hit) {
    SetCapture(h);
    bool inside = true;
    for (;;) {
        MSG m;
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (m.message == WM_LBUTTONUP || m.message == WM_MOUSEMOVE) {
            POINT p{static_cast<SHORT>(LOWORD(m.lParam)), static_cast<SHORT>(HIWORD(m.lParam))};
            ClientToScreen(m.hwnd, &p);
            inside = SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == hit;
            if (m.message == WM_LBUTTONUP) break;
            continue;
        }
        if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
        if (GetCapture() != h) {
            inside = false;
            break;
        }
    }
    if (GetCapture() == h) ReleaseCapture();
    if (!inside || !IsWindow(h)) return;
    if (hit == HTCLOSE) SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (hit == HTMINBUTTON) SendMessageA(h, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (hit == HTMAXBUTTON) SendMessageA(h, WM_SYSCOMMAND, IsZoomed(h) ? SC_RESTORE : SC_MAXIMIZE, 0);
}

// Moving by the caption and sizing by the frame: the window follows the
// mouse while the button is held (shown whole, not as an outline).
void trackMoveSize(HWND h, int hit, POINT start) {
    RECT r0;
    GetWindowRect(h, &r0);
    HWND parent = (GetWindowLongA(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : nullptr;
    MINMAXINFO mmi{};
    mmi.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    mmi.ptMaxTrackSize = POINT{GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
    SendMessageA(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    SendMessageA(h, WM_ENTERSIZEMOVE, 0, 0);
    SetCapture(h);
    for (;;) {
        MSG m;
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP) {
            POINT p{static_cast<SHORT>(LOWORD(m.lParam)), static_cast<SHORT>(HIWORD(m.lParam))};
            ClientToScreen(m.hwnd, &p);
            int dx = p.x - start.x, dy = p.y - start.y;
            RECT r = r0;
            if (hit == HTCAPTION) {
                OffsetRect(&r, dx, dy);
            } else {
                if (hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT) r.left += dx;
                if (hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT || hit == HTGROWBOX) r.right += dx;
                if (hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT) r.top += dy;
                if (hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT || hit == HTGROWBOX) r.bottom += dy;
                int w = std::max<int>(mmi.ptMinTrackSize.x, std::min<int>(r.right - r.left, mmi.ptMaxTrackSize.x));
                int hh = std::max<int>(mmi.ptMinTrackSize.y, std::min<int>(r.bottom - r.top, mmi.ptMaxTrackSize.y));
                if (r.left != r0.left) r.left = r.right - w;
                else r.right = r.left + w;
                if (r.top != r0.top) r.top = r.bottom - hh;
                else r.bottom = r.top + hh;
            }
            POINT tl{r.left, r.top};
            if (parent) ScreenToClient(parent, &tl);
            SetWindowPos(h, nullptr, tl.x, tl.y, r.right - r.left, r.bottom - r.top,
                         SWP_NOZORDER | SWP_NOACTIVATE | (hit == HTCAPTION ? SWP_NOSIZE : 0));
            if (m.message == WM_LBUTTONUP) break;
            continue;
        }
        if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
            POINT tl{r0.left, r0.top};
            if (parent) ScreenToClient(parent, &tl);
            SetWindowPos(h, nullptr, tl.x, tl.y, r0.right - r0.left, r0.bottom - r0.top, SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        }
        if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
        if (GetCapture() != h) break;
    }
    if (GetCapture() == h) ReleaseCapture();
    SendMessageA(h, WM_EXITSIZEMOVE, 0, 0);
}

HBRUSH classBrushOf(HWND h) {
    HBRUSH b = reinterpret_cast<HBRUSH>(GetClassLongPtrA(h, GCLP_HBRBACKGROUND));
    uintptr_t v = reinterpret_cast<uintptr_t>(b);
    if (v && v <= 31) return GetSysColorBrush(static_cast<int>(v - 1));
    return b;
}

LRESULT ctlColor(HDC hdc, int text, int back) {
    SetTextColor(hdc, GetSysColor(text));
    SetBkColor(hdc, GetSysColor(back));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(back));
}

} // namespace

extern "C" {

LRESULT WINAPI DefWindowProcA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE: {
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
            UserLock lk(userMutex());
            if (Window *w = windowLocked(h)) w->text = cs->lpszName;
        }
        return TRUE;
    }
    case WM_NCCALCSIZE: {
        RECT *r = reinterpret_cast<RECT *>(lp);
        if (!r) return 0;
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return 0;
        RECT in = nonClientInsets(w->style, w->exStyle, w->menu != nullptr, !(w->style & WS_CHILD),
                                  w->menu ? menuBarHeightFor(w->menu, (r->right - r->left) - 2 * frameWidth(w->style, w->exStyle)) : 0);
        r->left += in.left;
        r->top += in.top;
        r->right -= in.right;
        r->bottom -= in.bottom;
        if (r->right < r->left) r->right = r->left;
        if (r->bottom < r->top) r->bottom = r->top;
        return 0;
    }
    case WM_NCHITTEST: {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return HTNOWHERE;
        return defNcHitTest(w, POINT{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))});
    }
    case WM_NCPAINT:
        paintNonClient(h);
        return 0;
    case WM_NCACTIVATE: {
        {
            UserLock lk(userMutex());
            if (Window *w = windowLocked(h)) w->ncDirty = true;
        }
        paintNonClient(h);
        return TRUE;
    }
    case WM_SETTEXT: {
        {
            UserLock lk(userMutex());
            Window *w = windowLocked(h);
            if (!w) return FALSE;
            w->text = lp ? reinterpret_cast<LPCSTR>(lp) : "";
            w->ncDirty = true;
        }
        // The caption shows the new text at once.
        DWORD style = static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE));
        if ((style & WS_CAPTION) == WS_CAPTION && IsWindowVisible(h)) paintNonClient(h);
        return TRUE;
    }
    case WM_GETTEXT: {
        if (!lp || wp == 0) return 0;
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        char *buf = reinterpret_cast<char *>(lp);
        if (!w) {
            buf[0] = 0;
            return 0;
        }
        size_t n = std::min(w->text.size(), static_cast<size_t>(wp) - 1);
        std::memcpy(buf, w->text.data(), n);
        buf[n] = 0;
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH b = classBrushOf(h);
        if (!b) return 0;
        RECT r;
        GetClientRect(h, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, b);
        return 1;
    }
    case WM_CLOSE:
        DestroyWindow(h);
        return 0;
    case WM_QUERYENDSESSION:
    case WM_QUERYOPEN:
        return TRUE;
    case WM_SETREDRAW: {
        UserLock lk(userMutex());
        if (Window *w = windowLocked(h)) w->redrawOff = !wp;
        return 0;
    }
    case WM_WINDOWPOSCHANGED: {
        auto *pos = reinterpret_cast<WINDOWPOS *>(lp);
        if (!pos) return 0;
        RECT c;
        GetClientRect(h, &c);
        if (!(pos->flags & SWP_NOMOVE)) {
            POINT o{0, 0};
            {
                UserLock lk(userMutex());
                if (Window *w = windowLocked(h)) o = POINT{w->client.left, w->client.top};
            }
            SendMessageA(h, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
        }
        if (!(pos->flags & SWP_NOSIZE) || (pos->flags & SWP_FRAMECHANGED))
            SendMessageA(h, WM_SIZE, IsIconic(h) ? SIZE_MINIMIZED : IsZoomed(h) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                         MAKELPARAM(c.right, c.bottom));
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && !HIWORD(wp)) SetFocus(h);
        return 0;
    case WM_MOUSEACTIVATE: {
        HWND parent = GetParent(h);
        if ((GetWindowLongA(h, GWL_STYLE) & WS_CHILD) && parent) {
            LRESULT r = SendMessageA(parent, WM_MOUSEACTIVATE, wp, lp);
            if (r) return r;
        }
        return MA_ACTIVATE;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR:
        return ctlColor(reinterpret_cast<HDC>(wp), COLOR_WINDOWTEXT, COLOR_3DFACE);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        return ctlColor(reinterpret_cast<HDC>(wp), COLOR_WINDOWTEXT, COLOR_WINDOW);
    case WM_NCLBUTTONDOWN: {
        POINT p{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
        switch (wp) {
        case HTMENU:
            SendMessageA(h, WM_SYSCOMMAND, SC_MOUSEMENU + HTMENU, lp);
            break;
        case HTCLOSE:
        case HTMINBUTTON:
        case HTMAXBUTTON:
            trackCaptionButton(h, static_cast<int>(wp));
            break;
        case HTCAPTION:
            if (!IsZoomed(h)) trackMoveSize(h, HTCAPTION, p);
            break;
        case HTSYSMENU:
            trackSystemMenu(h);
            break;
        case HTLEFT:
        case HTRIGHT:
        case HTTOP:
        case HTBOTTOM:
        case HTTOPLEFT:
        case HTTOPRIGHT:
        case HTBOTTOMLEFT:
        case HTBOTTOMRIGHT:
        case HTGROWBOX:
            if ((GetWindowLongA(h, GWL_STYLE) & WS_THICKFRAME) && !IsZoomed(h)) trackMoveSize(h, static_cast<int>(wp), p);
            break;
        case HTVSCROLL:
            trackScrollBar(h, SB_VERT, p);
            break;
        case HTHSCROLL:
            trackScrollBar(h, SB_HORZ, p);
            break;
        }
        return 0;
    }
    case WM_NCLBUTTONDBLCLK:
        if (wp == HTSYSMENU) {
            SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, lp);
            return 0;
        }
        // A quick second press on a button or a scroll bar is one more press.
        if (wp == HTCLOSE || wp == HTMINBUTTON || wp == HTMAXBUTTON || wp == HTVSCROLL || wp == HTHSCROLL)
            return DefWindowProcA(h, WM_NCLBUTTONDOWN, wp, lp);
        return 0;
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_CLOSE:
            if (GetClassLongA(h, GCL_STYLE) & CS_NOCLOSE) return 0;
            SendMessageA(h, WM_CLOSE, 0, 0);
            return 0;
        case SC_MINIMIZE:
            ShowWindow(h, SW_MINIMIZE);
            return 0;
        case SC_MAXIMIZE:
            ShowWindow(h, SW_SHOWMAXIMIZED);
            return 0;
        case SC_RESTORE:
            ShowWindow(h, SW_RESTORE);
            return 0;
        case SC_KEYMENU: {
            HWND top = GetAncestor(h, GA_ROOT);
            if (lp == ' ') trackSystemMenu(top);
            else trackMenuBar(top, -1, true, static_cast<UINT>(lp));
            return 0;
        }
        case SC_MOUSEMENU: {
            HWND top = GetAncestor(h, GA_ROOT);
            trackMenuBar(top, -2, false, 0);
            return 0;
        }
        }
        return 0;
    case WM_SYSKEYDOWN: {
        if (wp == VK_F4 && (HIWORD(lp) & KF_ALTDOWN)) {
            PostMessageA(GetAncestor(h, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        UserLock lk(userMutex());
        ThreadState &ts = threadStateLocked(currentThreadId());
        ts.altAlone = (wp == VK_MENU || wp == VK_F10);
        return 0;
    }
    case WM_KEYDOWN: {
        {
            UserLock lk(userMutex());
            threadStateLocked(currentThreadId()).altAlone = false;
        }
        if (wp == VK_F1 && !(GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_SHIFT) & 0x8000)) {
            HELPINFO hi{};
            hi.cbSize = sizeof hi;
            hi.iContextType = 1; // HELPINFO_WINDOW
            hi.iCtrlId = GetDlgCtrlID(h);
            hi.hItemHandle = h;
            DWORD pos = GetMessagePos();
            hi.MousePos = POINT{static_cast<SHORT>(LOWORD(pos)), static_cast<SHORT>(HIWORD(pos))};
            SendMessageA(h, WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
        }
        return 0;
    }
    case WM_SYSKEYUP: {
        bool alone;
        {
            UserLock lk(userMutex());
            ThreadState &ts = threadStateLocked(currentThreadId());
            alone = ts.altAlone && (wp == VK_MENU || wp == VK_F10);
            ts.altAlone = false;
        }
        if (alone) SendMessageA(GetAncestor(h, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU, 0);
        return 0;
    }
    case WM_SYSCHAR: {
        {
            UserLock lk(userMutex());
            threadStateLocked(currentThreadId()).altAlone = false;
        }
        if (wp == VK_RETURN || wp == VK_ESCAPE) return 0;
        SendMessageA(h, WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(wp));
        return 0;
    }
    case WM_HELP: {
        HWND parent = GetParent(h);
        if (parent && (GetWindowLongA(h, GWL_STYLE) & WS_CHILD)) SendMessageA(parent, WM_HELP, wp, lp);
        return 0;
    }
    case WM_CANCELMODE:
        if (GetCapture() == h) ReleaseCapture();
        EndMenu();
        return 0;
    case WM_SHOWWINDOW:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_GETMINMAXINFO:
    case WM_WINDOWPOSCHANGING:
    case WM_SETCURSOR:
        return 0;
    case WM_GETFONT:
        return 0;
    case WM_GETDLGCODE:
        return 0;
    }
    return 0;
}

} // extern "C"
