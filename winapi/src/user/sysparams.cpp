// System metrics and colours of the classic look, the screen size (1024 x
// 768 unless WAPI_SCREEN or WapiSetScreenSize say otherwise), rectangle
// helpers and character helpers.
#include "window.h"

#include <winapi_ext.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace winapi::user {
namespace {

std::atomic<int> g_cx{0}, g_cy{0};

void screenSize(int &cx, int &cy) {
    if (g_cx.load() == 0) {
        int w = 1024, h = 768;
        if (const char *e = std::getenv("WAPI_SCREEN")) {
            int a, b;
            if (std::sscanf(e, "%dx%d", &a, &b) == 2 && a >= 320 && b >= 200 && a <= 8192 && b <= 8192) {
                w = a;
                h = b;
            }
        }
        int zero = 0;
        g_cx.compare_exchange_strong(zero, w);
        zero = 0;
        g_cy.compare_exchange_strong(zero, h);
    }
    cx = g_cx.load();
    cy = g_cy.load();
}

COLORREF g_colors[31] = {
    RGB(212, 208, 200), // COLOR_SCROLLBAR
    RGB(58, 110, 165),  // COLOR_BACKGROUND
    RGB(10, 36, 106),   // COLOR_ACTIVECAPTION
    RGB(128, 128, 128), // COLOR_INACTIVECAPTION
    RGB(212, 208, 200), // COLOR_MENU
    RGB(255, 255, 255), // COLOR_WINDOW
    RGB(0, 0, 0),       // COLOR_WINDOWFRAME
    RGB(0, 0, 0),       // COLOR_MENUTEXT
    RGB(0, 0, 0),       // COLOR_WINDOWTEXT
    RGB(255, 255, 255), // COLOR_CAPTIONTEXT
    RGB(212, 208, 200), // COLOR_ACTIVEBORDER
    RGB(212, 208, 200), // COLOR_INACTIVEBORDER
    RGB(128, 128, 128), // COLOR_APPWORKSPACE
    RGB(10, 36, 106),   // COLOR_HIGHLIGHT
    RGB(255, 255, 255), // COLOR_HIGHLIGHTTEXT
    RGB(212, 208, 200), // COLOR_BTNFACE
    RGB(128, 128, 128), // COLOR_BTNSHADOW
    RGB(128, 128, 128), // COLOR_GRAYTEXT
    RGB(0, 0, 0),       // COLOR_BTNTEXT
    RGB(212, 208, 200), // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255), // COLOR_BTNHIGHLIGHT
    RGB(64, 64, 64),    // COLOR_3DDKSHADOW
    RGB(212, 208, 200), // COLOR_3DLIGHT
    RGB(0, 0, 0),       // COLOR_INFOTEXT
    RGB(255, 255, 225), // COLOR_INFOBK
    RGB(181, 181, 181), // 25
    RGB(0, 0, 128),     // COLOR_HOTLIGHT
    RGB(166, 202, 240), // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192), // COLOR_GRADIENTINACTIVECAPTION
    RGB(10, 36, 106),   // COLOR_MENUHILIGHT
    RGB(212, 208, 200), // COLOR_MENUBAR
};

} // namespace
} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

BOOL WINAPI WapiSetScreenSize(int cx, int cy) {
    if (cx < 320 || cy < 200 || cx > 8192 || cy > 8192) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_cx.store(cx);
    g_cy.store(cy);
    UserLock lk(userMutex());
    Window *d = desktopLocked();
    d->rect = d->client = RECT{0, 0, cx, cy};
    d->fb = std::make_shared<gdi::Framebuffer>(cx, cy, gdi::toPixel(GetSysColor(COLOR_BACKGROUND)));
    bumpGeometry();
    return TRUE;
}

int WINAPI GetSystemMetrics(int i) {
    int sw, sh;
    screenSize(sw, sh);
    switch (i) {
    case SM_CXSCREEN: case SM_CXVIRTUALSCREEN: case SM_CXFULLSCREEN: return sw;
    case SM_CYSCREEN: case SM_CYVIRTUALSCREEN: return sh;
    case SM_CYFULLSCREEN: return sh - 19;
    case SM_CXVSCROLL: case SM_CYHSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL: return 16;
    case SM_CYVTHUMB: case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CYMENU: return 19;
    case SM_MOUSEPRESENT: return 1;
    case SM_CXMIN: case SM_CXMINTRACK: return 112;
    case SM_CYMIN: case SM_CYMINTRACK: return 27;
    case SM_CXSIZE: case SM_CYSIZE: return 18;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CXICONSPACING: case SM_CYICONSPACING: return 75;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSMSIZE: return 12;
    case SM_CYSMSIZE: return 14;
    case SM_CXMENUSIZE: case SM_CYMENUSIZE: return 18;
    case SM_CXMINIMIZED: return 160;
    case SM_CYMINIMIZED: return 24;
    case SM_CXMAXTRACK: return sw + 12;
    case SM_CYMAXTRACK: return sh + 12;
    case SM_CXMAXIMIZED: return sw + 8;
    case SM_CYMAXIMIZED: return sh + 8;
    case SM_CXMENUCHECK: case SM_CYMENUCHECK: return 13;
    case SM_CMONITORS: return 1;
    }
    return 0;
}

DWORD WINAPI GetSysColor(int i) {
    if (i < 0 || i >= static_cast<int>(sizeof g_colors / sizeof g_colors[0])) return 0;
    return g_colors[i];
}

HBRUSH WINAPI GetSysColorBrush(int i) {
    if (i < 0 || i >= static_cast<int>(sizeof g_colors / sizeof g_colors[0])) return nullptr;
    return gdi::sysColorBrush(i);
}

BOOL WINAPI SetSysColors(int n, const INT *which, const COLORREF *values) {
    if (n < 0 || (n && (!which || !values))) return FALSE;
    for (int k = 0; k < n; k++)
        if (which[k] >= 0 && which[k] < static_cast<int>(sizeof g_colors / sizeof g_colors[0]))
            g_colors[which[k]] = values[k] & 0xFFFFFF;
    return TRUE;
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT, PVOID pv, UINT) {
    if (action == SPI_GETWORKAREA && pv) {
        *static_cast<RECT *>(pv) = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        return TRUE;
    }
    if (action == SPI_GETNONCLIENTMETRICS && pv) {
        auto *m = static_cast<NONCLIENTMETRICSA *>(pv);
        if (m->cbSize < sizeof(NONCLIENTMETRICSA)) return FALSE;
        m->iBorderWidth = 1;
        m->iScrollWidth = m->iScrollHeight = 16;
        m->iCaptionWidth = m->iCaptionHeight = 18;
        m->iSmCaptionWidth = 12;
        m->iSmCaptionHeight = 14;
        m->iMenuWidth = m->iMenuHeight = 18;
        LOGFONTA lf{};
        lf.lfHeight = -11;
        lf.lfWeight = FW_NORMAL;
        lstrcpyA(lf.lfFaceName, "MS Sans Serif");
        m->lfMenuFont = m->lfStatusFont = m->lfMessageFont = lf;
        lf.lfWeight = FW_BOLD;
        m->lfCaptionFont = m->lfSmCaptionFont = lf;
        return TRUE;
    }
    SetLastError(ERROR_INVALID_SPI_VALUE);
    return FALSE;
}

UINT WINAPI GetDoubleClickTime(void) { return 500; }

// ---- rectangles ----------------------------------------------------------------

BOOL WINAPI SetRect(LPRECT r, int l, int t, int rr, int b) {
    if (!r) return FALSE;
    *r = RECT{l, t, rr, b};
    return TRUE;
}
BOOL WINAPI SetRectEmpty(LPRECT r) {
    if (!r) return FALSE;
    *r = RECT{0, 0, 0, 0};
    return TRUE;
}
BOOL WINAPI CopyRect(LPRECT d, const RECT *s) {
    if (!d || !s) return FALSE;
    *d = *s;
    return TRUE;
}
BOOL WINAPI InflateRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}
BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    *r = gdi::rectOffset(*r, dx, dy);
    return TRUE;
}
BOOL WINAPI IsRectEmpty(const RECT *r) { return !r || gdi::rectEmpty(*r) ? TRUE : FALSE; }
BOOL WINAPI EqualRect(const RECT *a, const RECT *b) {
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
BOOL WINAPI PtInRect(const RECT *r, POINT p) { return r && gdi::rectContains(*r, p.x, p.y) ? TRUE : FALSE; }
BOOL WINAPI IntersectRect(LPRECT d, const RECT *a, const RECT *b) {
    if (!d || !a || !b) return FALSE;
    *d = gdi::rectIntersect(*a, *b);
    return gdi::rectEmpty(*d) ? FALSE : TRUE;
}
BOOL WINAPI UnionRect(LPRECT d, const RECT *a, const RECT *b) {
    if (!d || !a || !b) return FALSE;
    if (gdi::rectEmpty(*a)) {
        *d = gdi::rectEmpty(*b) ? RECT{0, 0, 0, 0} : *b;
    } else if (gdi::rectEmpty(*b)) {
        *d = *a;
    } else {
        *d = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                  std::max(a->bottom, b->bottom)};
    }
    return gdi::rectEmpty(*d) ? FALSE : TRUE;
}
BOOL WINAPI SubtractRect(LPRECT d, const RECT *a, const RECT *b) {
    if (!d || !a || !b) return FALSE;
    // Only when the result is a rectangle is anything taken away.
    RECT r = *a;
    RECT i = gdi::rectIntersect(*a, *b);
    if (!gdi::rectEmpty(i)) {
        if (i.top == r.top && i.bottom == r.bottom) {
            if (i.left == r.left) r.left = i.right;
            else if (i.right == r.right) r.right = i.left;
        } else if (i.left == r.left && i.right == r.right) {
            if (i.top == r.top) r.top = i.bottom;
            else if (i.bottom == r.bottom) r.bottom = i.top;
        }
    }
    *d = r;
    if (gdi::rectEmpty(r)) {
        *d = RECT{0, 0, 0, 0};
        return FALSE;
    }
    return TRUE;
}

// ---- characters (Windows-1252) -------------------------------------------------------

namespace {
bool upper1252(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9F; }
bool lower1252(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 0xDF && c != 0xF7) || c == 0x9A || c == 0x9C || c == 0x9E || c == 0xAA || c == 0xBA || c == 0xB5; }
unsigned char toUpper1252(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    if (c == 0x9A || c == 0x9C || c == 0x9E) return static_cast<unsigned char>(c - 16);
    if (c == 0xFF) return 0x9F;
    return c;
}
unsigned char toLower1252(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 16);
    if (c == 0x9F) return 0xFF;
    return c;
}
} // namespace

LPSTR WINAPI CharUpperA(LPSTR s) {
    if (IS_INTRESOURCE(s)) return reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(toUpper1252(static_cast<unsigned char>(reinterpret_cast<ULONG_PTR>(s)))));
    for (char *p = s; *p; p++) *p = static_cast<char>(toUpper1252(static_cast<unsigned char>(*p)));
    return s;
}
LPSTR WINAPI CharLowerA(LPSTR s) {
    if (IS_INTRESOURCE(s)) return reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(toLower1252(static_cast<unsigned char>(reinterpret_cast<ULONG_PTR>(s)))));
    for (char *p = s; *p; p++) *p = static_cast<char>(toLower1252(static_cast<unsigned char>(*p)));
    return s;
}
DWORD WINAPI CharUpperBuffA(LPSTR s, DWORD n) {
    if (!s) return 0;
    for (DWORD i = 0; i < n; i++) s[i] = static_cast<char>(toUpper1252(static_cast<unsigned char>(s[i])));
    return n;
}
DWORD WINAPI CharLowerBuffA(LPSTR s, DWORD n) {
    if (!s) return 0;
    for (DWORD i = 0; i < n; i++) s[i] = static_cast<char>(toLower1252(static_cast<unsigned char>(s[i])));
    return n;
}
LPSTR WINAPI CharNextA(LPCSTR s) { return const_cast<LPSTR>(s && *s ? s + 1 : s); }
LPSTR WINAPI CharPrevA(LPCSTR start, LPCSTR cur) { return const_cast<LPSTR>(cur > start ? cur - 1 : start); }
BOOL WINAPI IsCharUpperA(CHAR c) { return upper1252(static_cast<unsigned char>(c)); }
BOOL WINAPI IsCharLowerA(CHAR c) { return lower1252(static_cast<unsigned char>(c)); }
BOOL WINAPI IsCharAlphaA(CHAR c) { return upper1252(static_cast<unsigned char>(c)) || lower1252(static_cast<unsigned char>(c)); }
BOOL WINAPI IsCharAlphaNumericA(CHAR c) { return IsCharAlphaA(c) || (c >= '0' && c <= '9'); }

} // extern "C"
