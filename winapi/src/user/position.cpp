// Window positions, sizes, stacking and visibility: SetWindowPos and the
// calls built on it, with WM_WINDOWPOSCHANGING/CHANGED, WM_NCCALCSIZE,
// WM_SHOWWINDOW and the repainting they cause; finding the window at a
// point.
#include "window.h"

#include "message.h"

#include <algorithm>

using namespace winapi;
using namespace winapi::user;

namespace {

void restack(Window *w, HWND after) {
    auto &sib = w->parent->children;
    sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
    if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
    if (after == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
    auto pos = sib.begin();
    if (after == HWND_BOTTOM) {
        pos = sib.end();
    } else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        if (w->parent->isDesktop && !(w->exStyle & WS_EX_TOPMOST))
            while (pos != sib.end() && ((*pos)->exStyle & WS_EX_TOPMOST)) ++pos;
    } else {
        Window *a = windowLocked(after);
        auto it = std::find(sib.begin(), sib.end(), a);
        pos = it == sib.end() ? sib.begin() : it + 1;
    }
    sib.insert(pos, w);
}

} // namespace

extern "C" {

BOOL WINAPI SetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags) {
    WINDOWPOS wp{};
    RECT oldRect, oldClient;
    bool topLevel;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w || w->isDesktop) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        oldRect = w->rect;
        oldClient = w->client;
        topLevel = isTopLevel(w);
        if (flags & SWP_NOMOVE) {
            x = oldRect.left;
            y = oldRect.top;
        }
        if (flags & SWP_NOSIZE) {
            cx = oldRect.right - oldRect.left;
            cy = oldRect.bottom - oldRect.top;
        }
        if (cx < 0) cx = 0;
        if (cy < 0) cy = 0;
        if (x == oldRect.left && y == oldRect.top) flags |= SWP_NOMOVE;
        if (cx == oldRect.right - oldRect.left && cy == oldRect.bottom - oldRect.top) flags |= SWP_NOSIZE;
        bool visible = (w->style & WS_VISIBLE) != 0;
        if ((flags & SWP_SHOWWINDOW) && visible) flags &= ~SWP_SHOWWINDOW;
        if ((flags & SWP_HIDEWINDOW) && !visible) flags &= ~SWP_HIDEWINDOW;
        if (!topLevel) flags |= SWP_NOACTIVATE;
        if (!visible && !(flags & SWP_SHOWWINDOW)) flags |= SWP_NOACTIVATE;
    }
    wp.hwnd = h;
    wp.hwndInsertAfter = after;
    wp.x = x;
    wp.y = y;
    wp.cx = cx;
    wp.cy = cy;
    wp.flags = flags;
    if (!(flags & SWP_NOSENDCHANGING)) SendMessageA(h, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    x = wp.x;
    y = wp.y;
    cx = std::max(0, wp.cx);
    cy = std::max(0, wp.cy);
    flags = wp.flags;

    // Activation comes before the move, as Windows does it.
    if (topLevel && !(flags & SWP_NOACTIVATE) && GetActiveWindow() != h && windowThreadId(h) == currentThreadId()) {
        bool canActivate;
        {
            UserLock lk(userMutex());
            Window *w = windowLocked(h);
            canActivate = w && !(w->style & WS_DISABLED) && ((w->style & WS_VISIBLE) || (flags & SWP_SHOWWINDOW));
            if (canActivate && (flags & SWP_SHOWWINDOW)) w->style |= WS_VISIBLE;
        }
        if (canActivate) SetActiveWindow(h);
    }

    RECT newClient;
    RECT newRect{x, y, x + cx, y + cy};
    bool sized = !(flags & SWP_NOSIZE) || (flags & SWP_FRAMECHANGED);
    if (sized) {
        NCCALCSIZE_PARAMS p{};
        p.rgrc[0] = newRect;
        p.rgrc[1] = oldRect;
        p.rgrc[2] = oldClient;
        p.lppos = &wp;
        SendMessageA(h, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&p));
        newClient = p.rgrc[0];
    } else {
        newClient = gdi::rectOffset(oldClient, x - oldRect.left, y - oldRect.top);
    }
    if (newClient.right < newClient.left) newClient.right = newClient.left;
    if (newClient.bottom < newClient.top) newClient.bottom = newClient.top;

    HWND focusToMove = nullptr;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return FALSE;
        bool wasVisible = visibleOnScreen(w);
        RECT before = w->rect;
        w->rect = newRect;
        w->client = newClient;
        if (!(flags & SWP_NOZORDER)) restack(w, after);
        if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
        if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
        bool nowVisible = visibleOnScreen(w);
        if (isTopLevel(w)) {
            int fw = std::max(1, cx), fh = std::max(1, cy);
            if (!w->fb || w->fb->width != fw || w->fb->height != fh) {
                w->fb = std::make_shared<gdi::Framebuffer>(fw, fh, gdi::toPixel(GetSysColor(COLOR_WINDOW)));
                invalidateTreeLocked(w);
            }
        }
        bumpGeometry();
        if (!(flags & SWP_NOREDRAW) && (wasVisible || nowVisible)) {
            bool moved = !(flags & SWP_NOMOVE), resized = !(flags & SWP_NOSIZE);
            if (!isTopLevel(w) && w->parent && (moved || resized || (flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) ||
                                                !(flags & SWP_NOZORDER))) {
                // What the window covered, and now covers, is the parent's to repaint.
                invalidateLocked(w->parent, &before, true, true);
                invalidateLocked(w->parent, &newRect, true, true);
            }
            if (resized || (flags & (SWP_SHOWWINDOW | SWP_FRAMECHANGED)) || (moved && !isTopLevel(w)))
                invalidateTreeLocked(w);
            if (isTopLevel(w) && (flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW))) topLevelChanged(w);
        }
        // A presenter places its window where the layer has it.
        if (isTopLevel(w) && (flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) topLevelChanged(w);
        if ((flags & SWP_HIDEWINDOW) && (w->style & WS_CHILD)) {
            // A hidden child gives the focus back to its parent.
            HWND f = threadStateLocked(w->tid).focus;
            Window *fw = windowLocked(f);
            if (fw && (fw == w || isDescendant(w, fw)) && w->parent && !w->parent->isDesktop) focusToMove = w->parent->handle;
        }
    }
    if (focusToMove && windowThreadId(h) == currentThreadId()) SetFocus(focusToMove);
    if ((flags & SWP_HIDEWINDOW) && topLevel && GetActiveWindow() == h) {
        // The owner, or another window of the thread, becomes active.
        HWND next = nullptr;
        {
            UserLock lk(userMutex());
            Window *w = windowLocked(h);
            Window *o = w ? windowLocked(w->owner) : nullptr;
            if (o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) next = o->handle;
            if (!next && w)
                for (Window *t : desktopLocked()->children)
                    if (t != w && t->tid == w->tid && (t->style & WS_VISIBLE) && !(t->style & WS_DISABLED) &&
                        !t->destroying) {
                        next = t->handle;
                        break;
                    }
        }
        SetActiveWindow(next);
    }
    wp.flags = flags;
    SendMessageA(h, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND h, int x, int y, int cx, int cy, BOOL repaint) {
    return SetWindowPos(h, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI BringWindowToTop(HWND h) {
    return SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL WINAPI ShowWindow(HWND h, int cmd) {
    bool wasVisible, child, wasMin;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w || w->isDesktop) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (cmd < 0 || cmd > SW_MAX) {
            SetLastError(ERROR_INVALID_SHOWWIN_COMMAND);
            return FALSE;
        }
        wasVisible = (w->style & WS_VISIBLE) != 0;
        child = (w->style & WS_CHILD) != 0;
        wasMin = w->minimized;
    }
    bool show = cmd != SW_HIDE;
    bool activate = !child && (cmd == SW_SHOWNORMAL || cmd == SW_SHOW || cmd == SW_RESTORE ||
                               cmd == SW_SHOWMAXIMIZED || cmd == SW_SHOWDEFAULT || cmd == SW_SHOWMINIMIZED);
    bool minimize = cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED || cmd == SW_SHOWMINNOACTIVE || cmd == SW_FORCEMINIMIZE;
    bool restore = cmd == SW_RESTORE || cmd == SW_SHOWNORMAL || cmd == SW_SHOWDEFAULT;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (minimize) w->minimized = true;
        if (restore) w->minimized = false;
        if (cmd == SW_SHOWMAXIMIZED) w->maximized = true;
        if (restore) w->maximized = false;
    }
    bool nowMin = wasMin;
    {
        UserLock lk(userMutex());
        if (Window *w = windowLocked(h)) nowMin = w->minimized;
    }
    auto sizeChange = [&] {
        // Minimising and restoring are size changes to the window's code.
        if (nowMin == wasMin || !IsWindow(h)) return;
        RECT c;
        GetClientRect(h, &c);
        SendMessageA(h, WM_SIZE, nowMin ? SIZE_MINIMIZED : SIZE_RESTORED, nowMin ? 0 : MAKELPARAM(c.right, c.bottom));
        if (nowMin) {
            if (GetActiveWindow() == h) {
                HWND owner = GetWindow(h, GW_OWNER);
                SetActiveWindow(owner && IsWindowEnabled(owner) ? owner : nullptr);
            }
        } else {
            UserLock lk(userMutex());
            if (Window *w = windowLocked(h)) invalidateTreeLocked(w);
        }
    };
    if (show == wasVisible) {
        if (show && activate && !minimize) SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        sizeChange();
        return wasVisible ? TRUE : FALSE;
    }
    SendMessageA(h, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (!IsWindow(h)) return wasVisible ? TRUE : FALSE;
    UINT flags = SWP_NOMOVE | SWP_NOSIZE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    if (!activate || minimize) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, flags);
    sizeChange();
    return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI ShowWindowAsync(HWND h, int cmd) {
    if (windowThreadId(h) == currentThreadId()) return ShowWindow(h, cmd);
    return PostMessageA(h, WM_NULL, 0, 0) && ShowWindow(h, cmd);
}

BOOL WINAPI GetWindowPlacement(HWND h, WINDOWPLACEMENT *wp) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !wp) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    wp->flags = 0;
    wp->showCmd = w->minimized ? SW_SHOWMINIMIZED : w->maximized ? SW_SHOWMAXIMIZED
                  : (w->style & WS_VISIBLE)          ? SW_SHOWNORMAL
                                                    : SW_HIDE;
    wp->ptMinPosition = POINT{-1, -1};
    wp->ptMaxPosition = POINT{-1, -1};
    wp->rcNormalPosition = w->rect;
    return TRUE;
}

HWND WINAPI ChildWindowFromPointEx(HWND parent, POINT pt, UINT flags) {
    UserLock lk(userMutex());
    Window *p = windowLocked(parent);
    if (!p) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    RECT cr{0, 0, p->client.right - p->client.left, p->client.bottom - p->client.top};
    if (!p->isDesktop && !gdi::rectContains(cr, pt.x, pt.y)) return nullptr;
    for (Window *c : p->children) {
        if ((flags & CWP_SKIPINVISIBLE) && !(c->style & WS_VISIBLE)) continue;
        if ((flags & CWP_SKIPDISABLED) && (c->style & WS_DISABLED)) continue;
        if ((flags & CWP_SKIPTRANSPARENT) && (c->exStyle & WS_EX_TRANSPARENT)) continue;
        if (gdi::rectContains(c->rect, pt.x, pt.y)) return c->handle;
    }
    return parent;
}

HWND WINAPI ChildWindowFromPoint(HWND parent, POINT pt) { return ChildWindowFromPointEx(parent, pt, CWP_ALL); }

HWND WINAPI WindowFromPoint(POINT pt) {
    UserLock lk(userMutex());
    Window *w = desktopLocked();
    for (;;) {
        Window *hit = nullptr;
        POINT o = clientOriginOnScreen(w);
        for (Window *c : w->children) {
            if (!(c->style & WS_VISIBLE) || c->messageOnly) continue;
            if (gdi::rectContains(c->rect, pt.x - o.x, pt.y - o.y)) {
                hit = c;
                break;
            }
        }
        if (!hit) break;
        if (hit->style & WS_DISABLED) return w->isDesktop ? nullptr : w->handle;
        w = hit;
        RECT cl = gdi::rectOffset(w->client, o.x, o.y);
        if (!gdi::rectContains(cl, pt.x, pt.y)) break;
    }
    return w->isDesktop ? nullptr : w->handle;
}

} // extern "C"
