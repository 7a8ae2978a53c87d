// The headless display: composition of the windows' framebuffers into a
// screen picture, snapshots as PNG files, and the hook where a presenter
// is told about changes.
#include "display.h"

#include "../user/window.h"
#include "png.h"
#include "x11.h"

#include <winapi_ext.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace winapi::display {

namespace {
std::mutex &presenterMutex() {
    static auto *m = new std::mutex;
    return *m;
}
std::unique_ptr<Presenter> &presenter() {
    static auto *p = new std::unique_ptr<Presenter>;
    return *p;
}

void blitInto(gdi::Framebuffer &out, gdi::Framebuffer &src, int dx, int dy, int sx, int sy, int w, int h) {
    for (int y = 0; y < h; y++) {
        int oy = dy + y, iy = sy + y;
        if (oy < 0 || oy >= out.height || iy < 0 || iy >= src.height) continue;
        for (int x = 0; x < w; x++) {
            int ox = dx + x, ix = sx + x;
            if (ox < 0 || ox >= out.width || ix < 0 || ix >= src.width) continue;
            out.at(ox, oy) = src.at(ix, iy) & 0xFFFFFF;
        }
    }
}
std::atomic<bool> g_chosen{false};

// The display is chosen when the first window shows: WAPI_DISPLAY=headless
// or x11, else X11 whenever DISPLAY is set.
void choosePresenter() {
    if (g_chosen.load(std::memory_order_acquire)) return;
    // The window manager's lock first: whoever waits here holds no lock the
    // chooser needs.
    user::UserLock lk(user::userMutex());
    if (g_chosen.load(std::memory_order_relaxed)) return;
    const char *mode = getenv("WAPI_DISPLAY");
    const char *disp = getenv("DISPLAY");
    std::string m = mode ? mode : "";
    bool x11 = m == "x11" || (m.empty() && disp && *disp);
    if (x11) {
        auto p = openX11Presenter(m == "x11");
        std::lock_guard<std::mutex> plk(presenterMutex());
        if (p && !presenter()) presenter() = std::move(p);
    }
    g_chosen.store(true, std::memory_order_release);
}
} // namespace

void setPresenter(std::unique_ptr<Presenter> p) {
    g_chosen.store(true);
    std::lock_guard<std::mutex> lk(presenterMutex());
    presenter() = std::move(p);
}

bool headless() {
    std::lock_guard<std::mutex> lk(presenterMutex());
    return !presenter();
}

gdi::FbPtr composeScreen() {
    using namespace winapi::user;
    UserLock lk(userMutex());
    Window *d = desktopLocked();
    int sw = d->rect.right, sh = d->rect.bottom;
    auto out = std::make_shared<gdi::Framebuffer>(sw, sh, 0);
    if (d->fb) blitInto(*out, *d->fb, 0, 0, 0, 0, sw, sh);
    // Bottom of the stack first.
    for (auto it = d->children.rbegin(); it != d->children.rend(); ++it) {
        Window *w = *it;
        if (!(w->style & WS_VISIBLE) || w->messageOnly || !w->fb || w->minimized) continue;
        blitInto(*out, *w->fb, w->rect.left, w->rect.top, 0, 0, w->fb->width, w->fb->height);
        caretOverlay(w->handle, *out, w->rect.left, w->rect.top);
    }
    return out;
}

gdi::FbPtr composeWindow(HWND h) {
    using namespace winapi::user;
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) return nullptr;
    if (w->isDesktop) return composeScreen();
    Window *top = topLevelOf(w);
    if (!top->fb) return nullptr;
    RECT r = windowRectInTop(w);
    int cw = std::max<int>(1, r.right - r.left), ch = std::max<int>(1, r.bottom - r.top);
    auto out = std::make_shared<gdi::Framebuffer>(cw, ch, 0);
    blitInto(*out, *top->fb, 0, 0, r.left, r.top, cw, ch);
    caretOverlay(top->handle, *out, -r.left, -r.top);
    return out;
}

} // namespace winapi::display

namespace winapi::user {

void topLevelChanged(Window *top) {
    if (top && (top->style & WS_VISIBLE)) winapi::display::choosePresenter();
    std::lock_guard<std::mutex> lk(winapi::display::presenterMutex());
    if (auto &p = winapi::display::presenter()) p->layoutChanged();
}

void damage(HWND top, const RECT &r) {
    std::lock_guard<std::mutex> lk(winapi::display::presenterMutex());
    if (auto &p = winapi::display::presenter()) p->damaged(top, r);
}

} // namespace winapi::user

using namespace winapi;

extern "C" {

BOOL WINAPI WapiSnapshotWindow(HWND h, LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    gdi::FbPtr fb = display::composeWindow(h);
    if (!fb) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!display::writePng(path, fb->data, fb->width, fb->height, fb->stride)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI WapiSnapshotScreen(LPCSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    gdi::FbPtr fb = display::composeScreen();
    if (!display::writePng(path, fb->data, fb->width, fb->height, fb->stride)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

COLORREF WINAPI WapiGetScreenPixel(int x, int y) {
    using namespace winapi::user;
    if (x < 0 || y < 0 || x >= GetSystemMetrics(SM_CXSCREEN) || y >= GetSystemMetrics(SM_CYSCREEN)) return CLR_INVALID;
    // The topmost window there, without composing the whole screen.
    UserLock lk(userMutex());
    Window *d = desktopLocked();
    for (Window *w : d->children) {
        if (!(w->style & WS_VISIBLE) || w->messageOnly || !w->fb || w->minimized) continue;
        if (!gdi::rectContains(w->rect, x, y)) continue;
        int wx = x - w->rect.left, wy = y - w->rect.top;
        if (wx >= w->fb->width || wy >= w->fb->height) continue;
        gdi::Framebuffer one(1, 1, w->fb->at(wx, wy) & 0xFFFFFF);
        caretOverlay(w->handle, one, -wx, -wy);
        return gdi::toColor(one.at(0, 0));
    }
    if (!d->fb || x >= d->fb->width || y >= d->fb->height) return CLR_INVALID;
    return gdi::toColor(d->fb->at(x, y));
}

} // extern "C"
