// Standard scroll bars of WS_VSCROLL/WS_HSCROLL windows: their ranges and
// positions, drawing in the non-client area, and mouse tracking that sends
// WM_VSCROLL/WM_HSCROLL (line, page, thumb track and position, end scroll).
#include "window.h"

#include "message.h"

namespace winapi::user {

namespace {

enum Part { None = 0, Arrow1, Page1, Thumb, Page2, Arrow2 };

struct Geometry {
    RECT bar{};
    bool vertical = true;
    int arrow = 16;
    int trackStart = 0, trackEnd = 0; // along the bar, bar coordinates
    int thumbStart = 0, thumbLen = 0; // 0 length: no thumb
};

int effectiveRange(const ScrollBar &s) { return s.max - s.min - std::max(s.page - 1, 0); }

Geometry geometryOf(const Window *w, int bar) {
    Geometry g;
    g.vertical = bar == SB_VERT;
    scrollBarRect(w, bar, &g.bar);
    const ScrollBar &s = w->sb[bar];
    int len = g.vertical ? g.bar.bottom - g.bar.top : g.bar.right - g.bar.left;
    g.arrow = std::min(16, len / 2);
    g.trackStart = g.arrow;
    g.trackEnd = len - g.arrow;
    int track = g.trackEnd - g.trackStart;
    int range = effectiveRange(s);
    if (range <= 0 || track < 8 || (w->style & WS_DISABLED) || s.disabledArrows == ESB_DISABLE_BOTH) return g;
    int thumb = s.page > 0 ? std::max(8, static_cast<int>(static_cast<int64_t>(track) * s.page / (s.max - s.min + 1))) : 16;
    if (thumb > track) return g;
    int pos = s.tracking ? s.trackPos : s.pos;
    g.thumbLen = thumb;
    g.thumbStart = g.trackStart + static_cast<int>(static_cast<int64_t>(track - thumb) * (pos - s.min) / range);
    return g;
}

Part partAt(const Geometry &g, POINT inBar) {
    int v = g.vertical ? inBar.y : inBar.x;
    if (v < g.trackStart) return Arrow1;
    if (v >= g.trackEnd) return Arrow2;
    if (g.thumbLen == 0) return None;
    if (v < g.thumbStart) return Page1;
    if (v >= g.thumbStart + g.thumbLen) return Page2;
    return Thumb;
}

RECT partRect(const Geometry &g, int from, int to) {
    if (g.vertical) return RECT{g.bar.left, g.bar.top + from, g.bar.right, g.bar.top + to};
    return RECT{g.bar.left + from, g.bar.top, g.bar.left + to, g.bar.bottom};
}

void drawBar(Window *w, HDC hdc, int bar) {
    Geometry g = geometryOf(w, bar);
    if (gdi::rectEmpty(g.bar)) return;
    const ScrollBar &s = w->sb[bar];
    int len = g.vertical ? g.bar.bottom - g.bar.top : g.bar.right - g.bar.left;
    bool disabled = effectiveRange(s) <= 0 || (w->style & WS_DISABLED);
    RECT a1 = partRect(g, 0, g.arrow), a2 = partRect(g, len - g.arrow, len);
    UINT inact1 = disabled || (s.disabledArrows & ESB_DISABLE_LTUP) ? DFCS_INACTIVE : 0;
    UINT inact2 = disabled || (s.disabledArrows & ESB_DISABLE_RTDN) ? DFCS_INACTIVE : 0;
    DrawFrameControl(hdc, &a1, DFC_SCROLL, (g.vertical ? DFCS_SCROLLUP : DFCS_SCROLLLEFT) | inact1 |
                                              (s.pressedPart == Arrow1 ? DFCS_PUSHED | DFCS_FLAT : 0));
    DrawFrameControl(hdc, &a2, DFC_SCROLL, (g.vertical ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT) | inact2 |
                                              (s.pressedPart == Arrow2 ? DFCS_PUSHED | DFCS_FLAT : 0));
    // The track: a half-tone of highlight and face, darker where pressed.
    RECT track = partRect(g, g.trackStart, g.trackEnd);
    HBITMAP pat = CreateBitmap(8, 8, 1, 1, nullptr);
    {
        static const WORD bits[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
        SetBitmapBits(pat, sizeof bits, bits);
    }
    HBRUSH brush = CreatePatternBrush(pat);
    COLORREF oldText = SetTextColor(hdc, GetSysColor(COLOR_3DFACE));
    COLORREF oldBk = SetBkColor(hdc, GetSysColor(COLOR_3DHILIGHT));
    FillRect(hdc, &track, brush);
    if (g.thumbLen && (s.pressedPart == Page1 || s.pressedPart == Page2)) {
        RECT pr = s.pressedPart == Page1 ? partRect(g, g.trackStart, g.thumbStart)
                                         : partRect(g, g.thumbStart + g.thumbLen, g.trackEnd);
        SetTextColor(hdc, GetSysColor(COLOR_3DDKSHADOW));
        FillRect(hdc, &pr, brush);
    }
    SetTextColor(hdc, oldText);
    SetBkColor(hdc, oldBk);
    DeleteObject(brush);
    DeleteObject(pat);
    if (g.thumbLen) {
        RECT th = partRect(g, g.thumbStart, g.thumbStart + g.thumbLen);
        DrawEdge(hdc, &th, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
}

void redrawBar(HWND h) {
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w || !visibleOnScreen(w)) return;
    }
    HDC hdc = GetWindowDC(h);
    drawScrollBars(h, hdc);
    ReleaseDC(h, hdc);
}

bool barShown(const Window *w, int bar) { return (w->style & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)) != 0; }

// Shows or hides a standard bar by its style, which changes the client area.
void setShown(HWND h, int bar, bool show) {
    DWORD bit = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w || ((w->style & bit) != 0) == show) return;
        if (show) w->style |= bit;
        else w->style &= ~bit;
    }
    SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

int setInfo(HWND h, int bar, const SCROLLINFO *si, BOOL redraw) {
    bool hide = false, show = false;
    int pos;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        ScrollBar &s = w->sb[bar];
        if (si->fMask & SIF_RANGE) {
            s.min = si->nMin;
            s.max = si->nMax;
        }
        if (si->fMask & SIF_PAGE) s.page = static_cast<int>(si->nPage);
        if (si->fMask & SIF_POS) s.pos = si->nPos;
        // Keep page and position inside the range.
        int span = s.max - s.min + 1;
        if (s.page < 0) s.page = 0;
        if (s.page > span) s.page = std::max(span, 0);
        int top = s.max - std::max(s.page - 1, 0);
        if (s.pos > top) s.pos = top;
        if (s.pos < s.min) s.pos = s.min;
        pos = s.pos;
        if (si->fMask & (SIF_RANGE | SIF_PAGE)) {
            bool empty = s.max <= s.min || (s.page > 0 && s.page > s.max - s.min);
            if (empty && !(si->fMask & SIF_DISABLENOSCROLL)) hide = barShown(w, bar);
            if (!empty) show = !barShown(w, bar);
        }
    }
    if (hide) setShown(h, bar, false);
    else if (show) setShown(h, bar, true);
    else if (redraw) redrawBar(h);
    return pos;
}

bool validBar(int bar) { return bar == SB_HORZ || bar == SB_VERT; }

} // namespace

void drawScrollBars(HWND h, HDC hdc) {
    std::shared_ptr<Window> snap;
    {
        // Drawn from a copy: other threads may change the bars meanwhile.
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return;
        snap = std::make_shared<Window>(*w);
        snap->children.clear();
        snap->fb.reset();
    }
    if (snap->style & WS_HSCROLL) drawBar(snap.get(), hdc, SB_HORZ);
    if (snap->style & WS_VSCROLL) drawBar(snap.get(), hdc, SB_VERT);
}

void trackScrollBar(HWND h, int bar, POINT screen) {
    Geometry g;
    Part part;
    RECT wr;
    int startPos;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return;
        g = geometryOf(w, bar);
        wr = windowRectOnScreen(w);
        POINT in{screen.x - wr.left - g.bar.left, screen.y - wr.top - g.bar.top};
        part = partAt(g, in);
        if (part == None) return;
        if (effectiveRange(w->sb[bar]) <= 0) return;
        w->sb[bar].pressedPart = part;
        startPos = w->sb[bar].pos;
        if (part == Thumb) {
            w->sb[bar].tracking = true;
            w->sb[bar].trackPos = startPos;
        }
    }
    UINT msg = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    auto send = [&](int code, int pos) { SendMessageA(h, msg, MAKEWPARAM(code, pos), 0); };
    auto action = [&]() {
        switch (part) {
        case Arrow1: send(SB_LINEUP, 0); break;
        case Arrow2: send(SB_LINEDOWN, 0); break;
        case Page1: send(SB_PAGEUP, 0); break;
        case Page2: send(SB_PAGEDOWN, 0); break;
        default: break;
        }
    };
    redrawBar(h);
    action();
    int grab = (g.vertical ? screen.y - wr.top - g.bar.top : screen.x - wr.left - g.bar.left) - g.thumbStart;
    SetCapture(h);
    const UINT_PTR kRepeat = 0xFFF0;
    SetTimer(h, kRepeat, 400, nullptr);
    bool inside = true;
    int trackPos = startPos;
    for (;;) {
        MSG m;
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (m.message == WM_TIMER && m.hwnd == h && m.wParam == kRepeat) {
            SetTimer(h, kRepeat, 50, nullptr);
            if (inside && part != Thumb) action();
            continue;
        }
        if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP) {
            POINT p{static_cast<SHORT>(LOWORD(m.lParam)), static_cast<SHORT>(HIWORD(m.lParam))};
            ClientToScreen(m.hwnd, &p);
            POINT in{p.x - wr.left - g.bar.left, p.y - wr.top - g.bar.top};
            if (part == Thumb) {
                int v = (g.vertical ? in.y : in.x) - grab;
                int track = g.trackEnd - g.trackStart - g.thumbLen;
                int np;
                {
                    UserLock lk(userMutex());
                    Window *w = windowLocked(h);
                    if (!w) break;
                    ScrollBar &s = w->sb[bar];
                    int range = effectiveRange(s);
                    np = track > 0 ? s.min + static_cast<int>((static_cast<int64_t>(v - g.trackStart) * range + track / 2) / track) : s.min;
                    np = std::max(s.min, std::min(np, s.min + range));
                    s.trackPos = np;
                }
                if (np != trackPos) {
                    trackPos = np;
                    redrawBar(h);
                    send(SB_THUMBTRACK, np);
                }
            } else {
                inside = partAt(g, in) == part;
            }
            if (m.message == WM_LBUTTONUP) break;
            continue;
        }
        if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) continue;
        if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) break;
        TranslateMessage(&m);
        DispatchMessageA(&m);
        if (GetCapture() != h) break;
    }
    KillTimer(h, kRepeat);
    if (GetCapture() == h) ReleaseCapture();
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return;
        w->sb[bar].pressedPart = None;
        w->sb[bar].tracking = false;
    }
    if (part == Thumb) send(SB_THUMBPOSITION, trackPos);
    send(SB_ENDSCROLL, 0);
    redrawBar(h);
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

int WINAPI SetScrollInfo(HWND h, int bar, LPCSCROLLINFO si, BOOL redraw) {
    if (!si || !validBar(bar) || (si->cbSize != sizeof(SCROLLINFO) && si->cbSize != sizeof(SCROLLINFO) - 4)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return setInfo(h, bar, si, redraw);
}

BOOL WINAPI GetScrollInfo(HWND h, int bar, LPSCROLLINFO si) {
    if (!si || !validBar(bar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const ScrollBar &s = w->sb[bar];
    if (si->fMask & SIF_RANGE) {
        si->nMin = s.min;
        si->nMax = s.max;
    }
    if (si->fMask & SIF_PAGE) si->nPage = static_cast<UINT>(s.page);
    if (si->fMask & SIF_POS) si->nPos = s.pos;
    if (si->fMask & SIF_TRACKPOS) si->nTrackPos = s.tracking ? s.trackPos : s.pos;
    return TRUE;
}

int WINAPI SetScrollPos(HWND h, int bar, int pos, BOOL redraw) {
    if (!validBar(bar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int old;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        old = w->sb[bar].pos;
    }
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, pos, 0};
    setInfo(h, bar, &si, redraw);
    return old;
}

int WINAPI GetScrollPos(HWND h, int bar) {
    if (!validBar(bar)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->sb[bar].pos;
}

BOOL WINAPI SetScrollRange(HWND h, int bar, int lo, int hi, BOOL redraw) {
    if (!validBar(bar) || static_cast<int64_t>(hi) - lo > 0x7FFFFFFF) {
        SetLastError(validBar(bar) ? ERROR_INVALID_SCROLLBAR_RANGE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SCROLLINFO si{sizeof si, SIF_RANGE, lo, hi, 0, 0, 0};
    setInfo(h, bar, &si, redraw);
    return TRUE;
}

BOOL WINAPI GetScrollRange(HWND h, int bar, LPINT lo, LPINT hi) {
    if (!validBar(bar) || !lo || !hi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *lo = w->sb[bar].min;
    *hi = w->sb[bar].max;
    return TRUE;
}

BOOL WINAPI ShowScrollBar(HWND h, int bar, BOOL show) {
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (bar == SB_HORZ || bar == SB_BOTH) setShown(h, SB_HORZ, show != 0);
    if (bar == SB_VERT || bar == SB_BOTH) setShown(h, SB_VERT, show != 0);
    return TRUE;
}

BOOL WINAPI EnableScrollBar(HWND h, UINT bar, UINT arrows) {
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (bar == SB_HORZ || bar == SB_BOTH) w->sb[SB_HORZ].disabledArrows = arrows;
        if (bar == SB_VERT || bar == SB_BOTH) w->sb[SB_VERT].disabledArrows = arrows;
    }
    redrawBar(h);
    return TRUE;
}

} // extern "C"
