// Keyboard focus, the active and foreground windows, and mouse capture,
// with WM_SETFOCUS/WM_KILLFOCUS, WM_NCACTIVATE/WM_ACTIVATE and
// WM_CAPTURECHANGED in Windows' order.
#include "window.h"

#include "message.h"

#include <unordered_map>

namespace winapi::user {

namespace {
std::unordered_map<DWORD, ThreadState> &states() {
    static auto *m = new std::unordered_map<DWORD, ThreadState>;
    return *m;
}
HWND g_foreground = nullptr;
HWND g_capture = nullptr;
} // namespace

ThreadState &threadStateLocked(DWORD tid) { return states()[tid]; }

HWND foregroundWindow() {
    UserLock lk(userMutex());
    if (g_foreground && !windowLocked(g_foreground)) g_foreground = nullptr;
    return g_foreground;
}

void setForegroundLocked(HWND h) { g_foreground = h; }

void forgetWindowInThreadState(Window *w) {
    ThreadState &ts = states()[w->tid];
    if (ts.focus == w->handle) ts.focus = nullptr;
    if (ts.active == w->handle) ts.active = nullptr;
    if (ts.capture == w->handle) ts.capture = nullptr;
    if (g_capture == w->handle) g_capture = nullptr;
    if (g_foreground == w->handle) g_foreground = nullptr;
}

void applyPendingActivation() {
    HWND h;
    {
        UserLock lk(userMutex());
        ThreadState &ts = threadStateLocked(currentThreadId());
        h = ts.pendingActivate;
        ts.pendingActivate = nullptr;
        if (h && !windowLocked(h)) h = nullptr;
    }
    if (h) SetActiveWindow(h);
}

HWND captureWindow() {
    UserLock lk(userMutex());
    return g_capture;
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

HWND WINAPI GetFocus(void) {
    UserLock lk(userMutex());
    return threadStateLocked(currentThreadId()).focus;
}

HWND WINAPI GetActiveWindow(void) {
    UserLock lk(userMutex());
    return threadStateLocked(currentThreadId()).active;
}

HWND WINAPI GetForegroundWindow(void) { return foregroundWindow(); }

HWND WINAPI SetActiveWindow(HWND h) {
    DWORD tid = currentThreadId();
    HWND old;
    {
        UserLock lk(userMutex());
        ThreadState &ts = threadStateLocked(tid);
        old = ts.active;
        if (h) {
            Window *w = windowLocked(h);
            if (!w || w->tid != tid) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            w = topLevelOf(w);
            h = w->handle;
        }
        if (old == h) return old;
        ts.active = h;
        if (h) {
            g_foreground = h;
            // The active window comes to the top of the stack.
            Window *w = windowLocked(h);
            auto &sib = w->parent->children;
            sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
            auto pos = sib.begin();
            if (!(w->exStyle & WS_EX_TOPMOST))
                while (pos != sib.end() && ((*pos)->exStyle & WS_EX_TOPMOST)) ++pos;
            sib.insert(pos, w);
            bumpGeometry();
            topLevelChanged(w);
        } else if (g_foreground == old) {
            g_foreground = nullptr;
        }
    }
    if (old && IsWindow(old)) {
        SendMessageA(old, WM_NCACTIVATE, FALSE, 0);
        SendMessageA(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0), reinterpret_cast<LPARAM>(h));
    }
    if (h && IsWindow(h)) {
        SendMessageA(h, WM_NCACTIVATE, TRUE, 0);
        SendMessageA(h, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsIconic(h) ? 1 : 0), reinterpret_cast<LPARAM>(old));
    }
    // A focus left behind in the window that lost activation goes.
    HWND focus = GetFocus();
    if (focus && GetActiveWindow() == h) {
        HWND root = GetAncestor(focus, GA_ROOT);
        if (root != h) {
            {
                UserLock lk(userMutex());
                threadStateLocked(tid).focus = nullptr;
            }
            if (IsWindow(focus)) SendMessageA(focus, WM_KILLFOCUS, 0, 0);
        }
    }
    return old;
}

HWND WINAPI SetFocus(HWND h) {
    DWORD tid = currentThreadId();
    if (h) {
        HWND top;
        {
            UserLock lk(userMutex());
            Window *w = windowLocked(h);
            if (!w || w->isDesktop) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            if (w->tid != tid) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            // A disabled or minimized ancestor refuses the focus.
            for (Window *a = w; a && !a->isDesktop; a = a->parent)
                if (a->style & WS_DISABLED) return nullptr;
            top = topLevelOf(w)->handle;
        }
        if (GetActiveWindow() != top) SetActiveWindow(top);
        if (!IsWindow(h)) return nullptr;
    }
    HWND old;
    {
        UserLock lk(userMutex());
        ThreadState &ts = threadStateLocked(tid);
        old = ts.focus;
        if (old == h) return old;
        ts.focus = h;
    }
    if (old && IsWindow(old)) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0);
    if (h && GetFocus() == h) SendMessageA(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

BOOL WINAPI SetForegroundWindow(HWND h) {
    DWORD tid = windowThreadId(h);
    if (!tid) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (tid == currentThreadId()) {
        HWND top = GetAncestor(h, GA_ROOT);
        SetActiveWindow(top);
        return TRUE;
    }
    // Another thread's window: it becomes the foreground window at once and
    // the active window of its thread when that thread looks at its queue.
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return FALSE;
        g_foreground = topLevelOf(w)->handle;
        threadStateLocked(tid).pendingActivate = g_foreground;
    }
    PostMessageA(GetAncestor(h, GA_ROOT), WM_NULL, 0, 0);
    return TRUE;
}

HWND WINAPI SetCapture(HWND h) {
    DWORD tid = currentThreadId();
    HWND old;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w || w->tid != tid) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        ThreadState &ts = threadStateLocked(tid);
        old = ts.capture;
        ts.capture = h;
        g_capture = h;
    }
    if (old && old != h && IsWindow(old)) SendMessageA(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(h));
    return old;
}

BOOL WINAPI ReleaseCapture(void) {
    DWORD tid = currentThreadId();
    HWND old;
    {
        UserLock lk(userMutex());
        ThreadState &ts = threadStateLocked(tid);
        old = ts.capture;
        ts.capture = nullptr;
        if (g_capture == old) g_capture = nullptr;
    }
    if (old && IsWindow(old)) SendMessageA(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    UserLock lk(userMutex());
    return threadStateLocked(currentThreadId()).capture;
}

} // extern "C"
