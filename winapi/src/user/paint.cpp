// Painting: update regions, WM_PAINT for the windows that need it, the
// device contexts of windows, BeginPaint/EndPaint with WM_NCPAINT and
// WM_ERASEBKGND, UpdateWindow and RedrawWindow, scrolling window contents.
#include "window.h"

#include "message.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace winapi::user {

namespace {

RECT clientBox(const Window *w) { return RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top}; }

} // namespace

void invalidateLocked(Window *w, const RECT *r, bool erase, bool children) {
    if (!w || w->isDesktop) return;
    if (!visibleOnScreen(w)) return;
    RECT box = clientBox(w);
    RECT area = r ? gdi::rectIntersect(*r, box) : box;
    if (!gdi::rectEmpty(area)) {
        w->update.add(area);
        if (erase) w->erase = true;
        wakeForPaint(w->tid);
    }
    if (!children) return;
    if (w->style & WS_CLIPCHILDREN) return;
    RECT whole = r ? *r : box;
    for (Window *c : w->children) {
        if (!(c->style & WS_VISIBLE)) continue;
        RECT hit = gdi::rectIntersect(whole, c->rect);
        if (gdi::rectEmpty(hit)) continue;
        RECT cr = gdi::rectOffset(hit, -c->client.left, -c->client.top);
        if (!gdi::rectEqual(gdi::rectIntersect(hit, c->client), hit)) {
            c->ncDirty = true;
            wakeForPaint(c->tid);
        }
        invalidateLocked(c, &cr, erase, true);
    }
}

void invalidateTreeLocked(Window *w) {
    if (!(w->style & WS_VISIBLE)) return;
    w->ncDirty = true;
    invalidateLocked(w, nullptr, true, false);
    for (Window *c : w->children) invalidateTreeLocked(c);
}

void invalidateNonClient(Window *w) {
    w->ncDirty = true;
    wakeForPaint(w->tid);
}

bool needsPaintLocked(const Window *w) {
    return !w->redrawOff && (!w->update.empty() || w->internalPaint || w->ncDirty);
}

HWND findPaintWindow(DWORD tid, HWND filter) {
    UserLock lk(userMutex());
    Window *root = desktopLocked();
    Window *f = filter ? windowLocked(filter) : nullptr;
    if (filter && !f) return nullptr;
    HWND found = nullptr;
    std::function<void(Window *)> walk = [&](Window *w) {
        for (Window *c : w->children) {
            if (found) return;
            if (!(c->style & WS_VISIBLE) || c->messageOnly) continue;
            if (c->tid == tid && needsPaintLocked(c) && (!f || c == f || isDescendant(f, c))) {
                found = c->handle;
                return;
            }
            walk(c);
        }
    };
    walk(root);
    return found;
}

gdi::Region visibleRegion(const Window *w, bool client) {
    if (w->isDesktop) return gdi::Region(w->rect);
    if (!visibleOnScreen(w)) return gdi::Region();
    gdi::Region vis(client ? clientRectInTop(w) : windowRectInTop(w));
    Window *top = topLevelOf(const_cast<Window *>(w));
    vis.intersect(RECT{0, 0, top->rect.right - top->rect.left, top->rect.bottom - top->rect.top});
    for (const Window *a = w->parent; a && !a->isDesktop; a = a->parent) vis.intersect(clientRectInTop(a));
    for (const Window *a = w; a && !a->isDesktop && !isTopLevel(a); a = a->parent) {
        if (!(a->style & WS_CLIPSIBLINGS)) continue;
        for (Window *s : a->parent->children) {
            if (s == a) break;
            if (s->style & WS_VISIBLE) vis.subtract(windowRectInTop(s));
        }
    }
    if (client && (w->style & WS_CLIPCHILDREN))
        for (Window *c : w->children)
            if (c->style & WS_VISIBLE) vis.subtract(windowRectInTop(c));
    return vis;
}

} // namespace winapi::user

namespace winapi::gdi {

bool resolveWindowDC(DCObj &dc) {
    using namespace winapi::user;
    UserLock lk(userMutex());
    Window *w = windowLocked(dc.hwnd);
    if (!w) {
        dc.fb.reset();
        dc.vis.clear();
        dc.updateEff();
        return false;
    }
    Window *top = w->isDesktop ? w : topLevelOf(w);
    dc.fb = top->fb;
    RECT area = dc.clientArea ? clientRectInTop(w) : windowRectInTop(w);
    dc.devOrg = POINT{area.left, area.top};
    dc.vis = visibleRegion(w, dc.clientArea);
    if (dc.paint) {
        Region p = dc.paintRegion;
        p.offset(area.left, area.top);
        dc.vis.intersect(p);
    }
    dc.updateEff();
    return true;
}

} // namespace winapi::gdi

using namespace winapi;
using namespace winapi::user;

extern "C" {

BOOL WINAPI RedrawWindow(HWND h, const RECT *r, HRGN rgn, UINT flags) {
    if (!h) h = desktopHandle();
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        bool children = (flags & RDW_ALLCHILDREN) || !(flags & RDW_NOCHILDREN);
        gdi::Region area;
        if (rgn) {
            auto ro = gdi::lookupAs<gdi::RegionObj>(rgn, gdi::Kind::Region);
            if (ro) area = ro->rgn;
        } else if (r) {
            area = gdi::Region(*r);
        } else {
            area = gdi::Region(RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top});
        }
        if (flags & RDW_INVALIDATE) {
            if (flags & RDW_FRAME) invalidateNonClient(w);
            if (area.empty() && !r && !rgn) area = gdi::Region(RECT{0, 0, 1, 1});
            std::function<void(Window *, const gdi::Region &)> inv = [&](Window *x, const gdi::Region &a) {
                for (const RECT &rc : a.rects()) invalidateLocked(x, &rc, (flags & RDW_ERASE) != 0, false);
                if (!children) return;
                if ((x->style & WS_CLIPCHILDREN) && !(flags & RDW_ALLCHILDREN)) return;
                for (Window *c : x->children) {
                    gdi::Region ca = a;
                    ca.intersect(c->rect);
                    if (ca.empty()) continue;
                    ca.offset(-c->client.left, -c->client.top);
                    if (flags & RDW_FRAME) invalidateNonClient(c);
                    inv(c, ca);
                }
            };
            inv(w, area);
        }
        if (flags & RDW_INTERNALPAINT) {
            w->internalPaint = true;
            wakeForPaint(w->tid);
        }
        if (flags & RDW_NOINTERNALPAINT) w->internalPaint = false;
        if (flags & RDW_VALIDATE) {
            std::function<void(Window *, const gdi::Region &)> val = [&](Window *x, const gdi::Region &a) {
                for (const RECT &rc : a.rects()) x->update.subtract(rc);
                if (flags & RDW_NOERASE) x->erase = false;
                if (flags & RDW_NOFRAME) x->ncDirty = false;
                if (!children || (flags & RDW_NOCHILDREN)) return;
                for (Window *c : x->children) {
                    gdi::Region ca = a;
                    ca.intersect(c->rect);
                    ca.offset(-c->client.left, -c->client.top);
                    val(c, ca);
                }
            };
            val(w, area);
        }
    }
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(h);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND h, const RECT *r, BOOL erase) {
    if (!h) {
        // All windows are repainted.
        std::vector<HWND> tops;
        {
            UserLock lk(userMutex());
            for (Window *w : desktopLocked()->children) tops.push_back(w->handle);
        }
        for (HWND t : tops) RedrawWindow(t, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        return TRUE;
    }
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    invalidateLocked(w, r, erase != 0, true);
    return TRUE;
}

BOOL WINAPI InvalidateRgn(HWND h, HRGN rgn, BOOL erase) {
    if (!rgn) return InvalidateRect(h, nullptr, erase);
    return RedrawWindow(h, nullptr, rgn, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL WINAPI ValidateRect(HWND h, const RECT *r) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (r) {
        w->update.subtract(*r);
    } else {
        w->update.clear();
        w->internalPaint = false;
    }
    if (w->update.empty()) w->erase = false;
    return TRUE;
}

BOOL WINAPI ValidateRgn(HWND h, HRGN rgn) {
    if (!rgn) return ValidateRect(h, nullptr);
    auto ro = gdi::lookupAs<gdi::RegionObj>(rgn, gdi::Kind::Region);
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !ro) return FALSE;
    w->update.subtract(ro->rgn);
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND h, LPRECT r, BOOL erase) {
    bool doErase = false;
    BOOL result;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        RECT b = w->update.bounds();
        if (r) *r = b;
        result = w->update.empty() ? FALSE : TRUE;
        doErase = erase && w->erase && result;
    }
    if (doErase) {
        // As BeginPaint would: the background goes now.
        HDC hdc = GetDCEx(h, nullptr, 0);
        {
            UserLock lk(userMutex());
            if (Window *w = windowLocked(h)) w->erase = false;
        }
        SendMessageA(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
        ReleaseDC(h, hdc);
    }
    return result;
}

int WINAPI GetUpdateRgn(HWND h, HRGN rgn, BOOL erase) {
    auto ro = gdi::lookupAs<gdi::RegionObj>(rgn, gdi::Kind::Region);
    if (!ro) return ERROR;
    RECT r;
    GetUpdateRect(h, &r, erase);
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) return ERROR;
    ro->rgn = w->update;
    return ro->rgn.empty() ? NULLREGION : ro->rgn.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

HDC WINAPI BeginPaint(HWND h, LPPAINTSTRUCT ps) {
    if (!ps) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    gdi::Region update;
    bool erase, nc;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        update = w->update;
        erase = w->erase;
        nc = w->ncDirty;
        w->update.clear();
        w->erase = false;
        w->ncDirty = false;
        w->internalPaint = false;
    }
    if (nc) SendMessageA(h, WM_NCPAINT, 1, 0);
    HDC hdc = gdi::createWindowDC(h, true, true, &update);
    std::memset(ps, 0, sizeof *ps);
    ps->hdc = hdc;
    ps->rcPaint = update.bounds();
    ps->fErase = FALSE;
    if (erase && hdc) ps->fErase = SendMessageA(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
    return hdc;
}

BOOL WINAPI EndPaint(HWND h, const PAINTSTRUCT *ps) {
    if (!ps) return FALSE;
    if (ps->hdc) ReleaseDC(h, ps->hdc);
    return TRUE;
}

BOOL WINAPI UpdateWindow(HWND h) {
    std::vector<HWND> order;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        // Windows of other threads are painted by their threads, which get
        // the WM_PAINT sent as Windows sends it.
        std::function<void(Window *)> walk = [&](Window *x) {
            if (!(x->style & WS_VISIBLE)) return;
            order.push_back(x->handle);
            for (Window *c : x->children) walk(c);
        };
        walk(w);
    }
    // Parents first, so that children paint over what their parent erased.
    for (HWND x : order) {
        bool paint, frameOnly;
        {
            UserLock lk(userMutex());
            Window *w = windowLocked(x);
            if (!w) continue;
            paint = !w->redrawOff && (!w->update.empty() || w->internalPaint);
            frameOnly = !paint && w->ncDirty;
        }
        if (paint) SendMessageA(x, WM_PAINT, 0, 0);
        else if (frameOnly) sendNcPaintIfOnlyFrame(x);
    }
    return TRUE;
}

BOOL WINAPI LockWindowUpdate(HWND) { return TRUE; }

HDC WINAPI GetDCEx(HWND h, HRGN clip, DWORD) {
    if (!h) h = desktopHandle();
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HDC hdc = gdi::createWindowDC(h, true, false, nullptr);
    if (clip && hdc) SelectClipRgn(hdc, clip);
    return hdc;
}

HDC WINAPI GetDC(HWND h) { return GetDCEx(h, nullptr, 0); }

HDC WINAPI GetWindowDC(HWND h) {
    if (!h) h = desktopHandle();
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return gdi::createWindowDC(h, false, false, nullptr);
}

int WINAPI ReleaseDC(HWND, HDC hdc) {
    auto dc = gdi::lookupAs<gdi::DCObj>(hdc, gdi::Kind::DC);
    if (!dc || dc->type != gdi::DCObj::Window) return 0;
    HWND top = nullptr;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(dc->hwnd);
        if (w) top = topLevelOf(w)->handle;
    }
    gdi::releaseWindowDC(hdc);
    if (top) damage(top, RECT{0, 0, 0x7FFF, 0x7FFF});
    return 1;
}

HWND WINAPI WindowFromDC(HDC hdc) {
    auto dc = gdi::lookupAs<gdi::DCObj>(hdc, gdi::Kind::DC);
    return dc && dc->type == gdi::DCObj::Window ? dc->hwnd : nullptr;
}

int WINAPI ScrollWindowEx(HWND h, int dx, int dy, const RECT *scroll, const RECT *clipRect, HRGN hrgnUpdate,
                          LPRECT prcUpdate, UINT flags) {
    gdi::Region uncovered;
    std::vector<HWND> moveKids;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return ERROR;
        }
        RECT box = clientBox(w);
        RECT src = scroll ? gdi::rectIntersect(*scroll, box) : box;
        RECT clip = clipRect ? gdi::rectIntersect(*clipRect, box) : box;
        RECT area = gdi::rectIntersect(src, clip);
        RECT dest = gdi::rectIntersect(gdi::rectOffset(src, dx, dy), clip);
        if (visibleOnScreen(w) && (dx || dy)) {
            Window *top = topLevelOf(w);
            gdi::FbPtr fb = top->fb;
            RECT origin = clientRectInTop(w);
            gdi::Region vis = visibleRegion(w, true);
            // Pixels move only where both ends are visible; the rest is repainted.
            gdi::Region moved(gdi::rectOffset(dest, origin.left, origin.top));
            moved.intersect(vis);
            gdi::Region from = vis;
            from.offset(dx, dy);
            moved.intersect(from);
            if (fb) {
                for (const RECT &r : moved.rects()) {
                    int width = r.right - r.left;
                    if (dy > 0) {
                        for (int y = r.bottom - 1; y >= r.top; y--)
                            std::memmove(&fb->at(r.left, y), &fb->at(r.left - dx, y - dy), width * 4);
                    } else {
                        for (int y = r.top; y < r.bottom; y++)
                            std::memmove(&fb->at(r.left, y), &fb->at(r.left - dx, y - dy), width * 4);
                    }
                }
            }
            // Rectangles of one region may overlap their neighbours' sources:
            // the rows are taken in the direction of the move, which the
            // region's pieces keep only approximately, so whatever was not
            // a clean move is repainted too.
            gdi::Region exposed(area);
            exposed.offset(origin.left, origin.top);
            exposed.subtract(moved);
            exposed.offset(-origin.left, -origin.top);
            uncovered = exposed;
            if (moved.rects().size() > 1) {
                for (const RECT &r : moved.rects()) uncovered.add(gdi::rectOffset(r, -origin.left, -origin.top));
            }
            // The update region moves with the pixels.
            gdi::Region inside = w->update;
            inside.intersect(area);
            if (!inside.empty()) {
                w->update.subtract(area);
                inside.offset(dx, dy);
                inside.intersect(clip);
                w->update.add(inside);
            }
            damage(top->handle, RECT{0, 0, 0x7FFF, 0x7FFF});
        }
        if ((flags & SW_SCROLLCHILDREN) && !scroll)
            for (Window *c : w->children) moveKids.push_back(c->handle);
        if (flags & SW_INVALIDATE)
            for (const RECT &r : uncovered.rects()) invalidateLocked(w, &r, (flags & SW_ERASE) != 0, true);
    }
    for (HWND c : moveKids) {
        RECT r;
        GetWindowRect(c, &r);
        POINT p{r.left, r.top};
        ScreenToClient(GetParent(c), &p);
        SetWindowPos(c, nullptr, p.x + dx, p.y + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (prcUpdate) *prcUpdate = uncovered.bounds();
    if (hrgnUpdate) {
        auto ro = gdi::lookupAs<gdi::RegionObj>(hrgnUpdate, gdi::Kind::Region);
        if (ro) ro->rgn = uncovered;
    }
    if (uncovered.empty()) return NULLREGION;
    return uncovered.rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

BOOL WINAPI ScrollDC(HDC hdc, int dx, int dy, const RECT *scroll, const RECT *clipRect, HRGN hrgnUpdate, LPRECT prcUpdate) {
    RECT box;
    if (GetClipBox(hdc, &box) == ERROR) return FALSE;
    RECT src = scroll ? *scroll : box;
    RECT clip = clipRect ? gdi::rectIntersect(*clipRect, box) : box;
    RECT area = gdi::rectIntersect(src, clip);
    RECT dest = gdi::rectIntersect(gdi::rectOffset(src, dx, dy), clip);
    if (!gdi::rectEmpty(dest))
        BitBlt(hdc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, hdc, dest.left - dx, dest.top - dy,
               SRCCOPY);
    gdi::Region uncovered(area);
    uncovered.subtract(dest);
    if (prcUpdate) *prcUpdate = uncovered.bounds();
    if (hrgnUpdate)
        if (auto ro = gdi::lookupAs<gdi::RegionObj>(hrgnUpdate, gdi::Kind::Region)) ro->rgn = uncovered;
    return TRUE;
}

BOOL WINAPI ScrollWindow(HWND h, int dx, int dy, const RECT *r, const RECT *clip) {
    return ScrollWindowEx(h, dx, dy, r, clip, nullptr, nullptr, SW_INVALIDATE | SW_ERASE | (r ? 0 : SW_SCROLLCHILDREN)) !=
           ERROR;
}

} // extern "C"
