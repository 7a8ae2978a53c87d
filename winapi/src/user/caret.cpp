// The caret: one per thread, created hidden, shown by inverting the pixels
// under it. It is laid over the windows' pixels when they are shown (a
// snapshot or a presenter) rather than drawn into them, so that painting
// never has to hide it first. It does not blink: it is on while shown.
#include "window.h"

#include <winapi_ext.h>

#include <unordered_map>

namespace winapi::user {

namespace {

struct Caret {
    HWND hwnd = nullptr;
    int width = 1, height = 1;
    POINT pos{0, 0};
    int hideCount = 1;
    bool gray = false;
    gdi::FbPtr shape; // from a bitmap: pixels that are not black invert
};

std::unordered_map<DWORD, Caret> &carets() {
    static auto *m = new std::unordered_map<DWORD, Caret>;
    return *m;
}

UINT g_blinkTime = 530;

void damageCaret(const Caret &c) {
    Window *w = windowLocked(c.hwnd);
    if (w) damage(topLevelOf(w)->handle, RECT{0, 0, 0x7FFF, 0x7FFF});
}

} // namespace

void caretOverlay(HWND top, gdi::Framebuffer &out, int offX, int offY) {
    UserLock lk(userMutex());
    for (auto &e : carets()) {
        Caret &c = e.second;
        if (c.hideCount > 0) continue;
        Window *w = windowLocked(c.hwnd);
        if (!w || topLevelOf(w)->handle != top || !visibleOnScreen(w)) continue;
        RECT cr = clientRectInTop(w);
        RECT r{cr.left + c.pos.x, cr.top + c.pos.y, cr.left + c.pos.x + c.width, cr.top + c.pos.y + c.height};
        gdi::Region vis = visibleRegion(w, true);
        vis.intersect(r);
        for (const RECT &p : vis.rects()) {
            for (int y = p.top; y < p.bottom; y++) {
                int oy = y + offY;
                if (oy < 0 || oy >= out.height) continue;
                for (int x = p.left; x < p.right; x++) {
                    int ox = x + offX;
                    if (ox < 0 || ox >= out.width) continue;
                    if (c.shape) {
                        int sx = x - r.left, sy = y - r.top;
                        if (sx >= c.shape->width || sy >= c.shape->height || !(c.shape->at(sx, sy) & 0xFFFFFF)) continue;
                    }
                    uint32_t &px = out.at(ox, oy);
                    px = c.gray ? (px ^ 0x808080) : (px ^ 0xFFFFFF);
                }
            }
        }
    }
}

void caretWindowGone(HWND h) {
    UserLock lk(userMutex());
    for (auto it = carets().begin(); it != carets().end();) {
        if (it->second.hwnd == h)
            it = carets().erase(it);
        else
            ++it;
    }
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

BOOL WINAPI CreateCaret(HWND h, HBITMAP bmp, int w, int hgt) {
    UserLock lk(userMutex());
    Window *win = windowLocked(h);
    if (!win || win->tid != currentThreadId()) {
        SetLastError(win ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Caret c;
    c.hwnd = h;
    c.width = w > 0 ? w : GetSystemMetrics(SM_CXBORDER);
    c.height = hgt > 0 ? hgt : GetSystemMetrics(SM_CYBORDER);
    if (bmp == reinterpret_cast<HBITMAP>(1)) {
        c.gray = true;
    } else if (bmp) {
        auto b = gdi::lookupAs<gdi::BitmapObj>(bmp, gdi::Kind::Bitmap);
        if (!b) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        c.shape = b->fb;
        c.width = b->fb->width;
        c.height = b->fb->height;
    }
    auto &m = carets();
    auto it = m.find(win->tid);
    if (it != m.end()) damageCaret(it->second);
    m[win->tid] = c;
    return TRUE;
}

BOOL WINAPI DestroyCaret(void) {
    UserLock lk(userMutex());
    auto &m = carets();
    auto it = m.find(currentThreadId());
    if (it == m.end()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    damageCaret(it->second);
    m.erase(it);
    return TRUE;
}

BOOL WINAPI ShowCaret(HWND h) {
    UserLock lk(userMutex());
    auto &m = carets();
    auto it = m.find(currentThreadId());
    if (it == m.end() || (h && it->second.hwnd != h)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (it->second.hideCount > 0) it->second.hideCount--;
    damageCaret(it->second);
    return TRUE;
}

BOOL WINAPI HideCaret(HWND h) {
    UserLock lk(userMutex());
    auto &m = carets();
    auto it = m.find(currentThreadId());
    if (it == m.end() || (h && it->second.hwnd != h)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    it->second.hideCount++;
    damageCaret(it->second);
    return TRUE;
}

BOOL WINAPI SetCaretPos(int x, int y) {
    UserLock lk(userMutex());
    auto &m = carets();
    auto it = m.find(currentThreadId());
    if (it == m.end()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    it->second.pos = POINT{x, y};
    damageCaret(it->second);
    return TRUE;
}

BOOL WINAPI GetCaretPos(LPPOINT p) {
    UserLock lk(userMutex());
    auto &m = carets();
    auto it = m.find(currentThreadId());
    if (it == m.end() || !p) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *p = it->second.pos;
    return TRUE;
}

UINT WINAPI GetCaretBlinkTime(void) { return g_blinkTime; }

BOOL WINAPI SetCaretBlinkTime(UINT ms) {
    g_blinkTime = ms;
    return TRUE;
}

} // extern "C"
