// The X11 presenter: every shown top-level window is an X window showing
// its framebuffer. One thread owns the connection; the layer only records
// damage and wakes it, so painting never waits for the server. Pixels go out
// at most once a frame, as the part that changed since the last push. X
// input comes back in through the layer's own input path.
#include "x11.h"

#ifdef WINAPI_X11

#include "../user/message.h"
#include "../user/window.h"

#include <winapi_ext.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#ifndef VK_OEM_102
#define VK_OEM_102 0xE2
#endif

namespace winapi::display {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFrame = std::chrono::microseconds(16667); // 60 Hz

// The server went away: the presenter stops and the windows live on headless.
void connectionLost(Display *, void *self);

int ignoreXError(Display *, XErrorEvent *e) {
    // A window that went away between our look and our request: harmless.
    if (getenv("WAPI_X11_DEBUG")) std::fprintf(stderr, "x11: error %d on request %d\n", e->error_code, e->request_code);
    return 0;
}

struct KeyInfo {
    UINT vk = 0;
    UINT scan = 0; // 0: the layer's scan code for vk
    bool ext = false;
};

// The Win32 key of an X key symbol (the unshifted one, as a US keyboard
// has it), with the extended bit Win32 gives the key.
KeyInfo keyOf(KeySym ks) {
    if (ks >= XK_a && ks <= XK_z) return {static_cast<UINT>('A' + (ks - XK_a))};
    if (ks >= XK_A && ks <= XK_Z) return {static_cast<UINT>('A' + (ks - XK_A))};
    if (ks >= XK_0 && ks <= XK_9) return {static_cast<UINT>('0' + (ks - XK_0))};
    if (ks >= XK_F1 && ks <= XK_F12) return {static_cast<UINT>(VK_F1 + (ks - XK_F1))};
    if (ks >= XK_KP_0 && ks <= XK_KP_9) return {static_cast<UINT>(VK_NUMPAD0 + (ks - XK_KP_0))};
    switch (ks) {
    case XK_Escape: return {VK_ESCAPE};
    case XK_Tab: case XK_ISO_Left_Tab: return {VK_TAB};
    case XK_BackSpace: return {VK_BACK};
    case XK_Return: return {VK_RETURN};
    case XK_space: return {VK_SPACE};
    case XK_Shift_L: return {VK_SHIFT};
    case XK_Shift_R: return {VK_SHIFT, 0x36};
    case XK_Control_L: return {VK_CONTROL};
    case XK_Control_R: return {VK_CONTROL, 0, true};
    case XK_Alt_L: case XK_Meta_L: return {VK_MENU};
    case XK_Alt_R: case XK_Meta_R: case XK_ISO_Level3_Shift: return {VK_MENU, 0, true};
    case XK_Super_L: return {VK_LWIN, 0, true};
    case XK_Super_R: return {VK_RWIN, 0, true};
    case XK_Menu: return {VK_APPS, 0, true};
    case XK_Caps_Lock: return {VK_CAPITAL};
    case XK_Num_Lock: return {VK_NUMLOCK, 0, true};
    case XK_Scroll_Lock: return {VK_SCROLL};
    case XK_Pause: return {VK_PAUSE, 0x45};
    case XK_Print: return {VK_SNAPSHOT, 0x37, true};
    case XK_Home: return {VK_HOME, 0, true};
    case XK_End: return {VK_END, 0, true};
    case XK_Prior: return {VK_PRIOR, 0, true};
    case XK_Next: return {VK_NEXT, 0, true};
    case XK_Up: return {VK_UP, 0, true};
    case XK_Down: return {VK_DOWN, 0, true};
    case XK_Left: return {VK_LEFT, 0, true};
    case XK_Right: return {VK_RIGHT, 0, true};
    case XK_Insert: return {VK_INSERT, 0, true};
    case XK_Delete: return {VK_DELETE, 0, true};
    // The keypad without Num Lock: the same keys, not extended.
    case XK_KP_Home: return {VK_HOME};
    case XK_KP_End: return {VK_END};
    case XK_KP_Prior: return {VK_PRIOR};
    case XK_KP_Next: return {VK_NEXT};
    case XK_KP_Up: return {VK_UP};
    case XK_KP_Down: return {VK_DOWN};
    case XK_KP_Left: return {VK_LEFT};
    case XK_KP_Right: return {VK_RIGHT};
    case XK_KP_Insert: return {VK_INSERT};
    case XK_KP_Delete: return {VK_DELETE};
    case XK_KP_Begin: return {VK_CLEAR};
    case XK_KP_Enter: return {VK_RETURN, 0, true};
    case XK_KP_Divide: return {VK_DIVIDE, 0, true};
    case XK_KP_Multiply: return {VK_MULTIPLY};
    case XK_KP_Subtract: return {VK_SUBTRACT};
    case XK_KP_Add: return {VK_ADD};
    case XK_KP_Decimal: return {VK_DECIMAL};
    case XK_semicolon: return {VK_OEM_1};
    case XK_equal: return {VK_OEM_PLUS};
    case XK_comma: return {VK_OEM_COMMA};
    case XK_minus: return {VK_OEM_MINUS};
    case XK_period: return {VK_OEM_PERIOD};
    case XK_slash: return {VK_OEM_2};
    case XK_grave: return {VK_OEM_3};
    case XK_bracketleft: return {VK_OEM_4};
    case XK_backslash: return {VK_OEM_5};
    case XK_bracketright: return {VK_OEM_6};
    case XK_apostrophe: return {VK_OEM_7};
    case XK_less: return {VK_OEM_102, 0x56};
    }
    return {};
}

class X11Presenter final : public Presenter {
public:
    X11Presenter(Display *dpy, Visual *visual, int depth) : dpy_(dpy), visual_(visual), depth_(depth) {
        root_ = DefaultRootWindow(dpy_);
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        atomProtocols_ = XInternAtom(dpy_, "WM_PROTOCOLS", False);
        atomDelete_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
        atomHwnd_ = XInternAtom(dpy_, "_WAPI_HWND", False);
        atomPid_ = XInternAtom(dpy_, "_NET_WM_PID", False);
        atomType_ = XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE", False);
        atomTypeDialog_ = XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        atomTypeMenu_ = XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
        Bool supported = False;
        // Held keys repeat as presses alone, which the layer marks as repeats.
        XkbSetDetectableAutoRepeat(dpy_, True, &supported);
        numLockMask_ = modMaskOf(XK_Num_Lock);
        XSetIOErrorExitHandler(dpy_, connectionLost, this);
        gc_ = XCreateGC(dpy_, root_, 0, nullptr);
        thread_ = std::thread([this] { run(); });
        worker_ = std::thread([this] { applyGeometry(); });
    }

    ~X11Presenter() override {
        {
            std::lock_guard<std::mutex> lk(m_);
            stop_ = true;
        }
        wake();
        cv_.notify_all();
        thread_.join();
        worker_.join();
        XFreeGC(dpy_, gc_);
        XCloseDisplay(dpy_);
        close(wakeFd_);
    }

    void lost() { dead_ = true; }

    void damaged(HWND top, const RECT &) override {
        std::lock_guard<std::mutex> lk(m_);
        dirty_.insert(top);
        wakeLocked();
    }

    void layoutChanged() override {
        std::lock_guard<std::mutex> lk(m_);
        layout_ = true;
        wakeLocked();
    }

private:
    struct Win {
        ::Window xid = 0;
        bool popup = false;
        bool mapped = false, viewable = false, reparented = false;
        RECT geom{};           // what the server has, or will have once it took our last request
        int pendingConfigures = 0; // answers to our own requests still to come
        Clock::time_point requested;
        std::string title;
        std::unique_ptr<gdi::Framebuffer> shown; // the pixels last put
        std::unique_ptr<gdi::Framebuffer> spare; // the one before, reused for the next look
    };

    struct Top {
        HWND h;
        RECT r;
        bool popup;
        HWND owner;
        std::string title;
    };

    Display *dpy_;
    Visual *visual_;
    int depth_;
    ::Window root_;
    GC gc_;
    int wakeFd_;
    unsigned numLockMask_ = 0;
    Atom atomProtocols_, atomDelete_, atomHwnd_, atomPid_, atomType_, atomTypeDialog_, atomTypeMenu_;

    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false, layout_ = true, signalled_ = false;
    std::atomic<bool> dead_{false};
    std::set<HWND> dirty_;
    std::map<HWND, RECT> geometryWanted_; // X geometry for the layer, applied by the worker

    // The presenter thread's own state.
    std::map<HWND, Win> wins_;
    std::unordered_map<::Window, HWND> byXid_;
    std::vector<::Window> stacking_;
    HWND focusSet_ = nullptr;
    ::Window grabbed_ = 0; // the popup that holds the pointer
    bool caretOn_ = true;
    std::set<UINT> keysDown_;
    std::thread thread_, worker_;

    unsigned modMaskOf(KeySym ks) {
        KeyCode kc = XKeysymToKeycode(dpy_, ks);
        XModifierKeymap *mm = XGetModifierMapping(dpy_);
        unsigned mask = 0;
        for (int mod = 0; mod < 8 && kc; mod++)
            for (int k = 0; k < mm->max_keypermod; k++)
                if (mm->modifiermap[mod * mm->max_keypermod + k] == kc) mask = 1u << mod;
        XFreeModifiermap(mm);
        return mask;
    }

    void wakeLocked() {
        if (signalled_) return;
        signalled_ = true;
        uint64_t one = 1;
        ssize_t n = write(wakeFd_, &one, sizeof one);
        (void)n;
    }
    void wake() {
        std::lock_guard<std::mutex> lk(m_);
        wakeLocked();
    }

    void run() {
        auto lastPush = Clock::now() - kFrame;
        UINT blinkMs = std::max<UINT>(100, GetCaretBlinkTime());
        auto nextBlink = Clock::now() + std::chrono::milliseconds(blinkMs);
        for (;;) {
            while (!dead_ && XPending(dpy_)) {
                XEvent e;
                XNextEvent(dpy_, &e);
                handle(e);
            }
            XFlush(dpy_);
            bool work;
            {
                std::lock_guard<std::mutex> lk(m_);
                if (stop_ || dead_) return;
                work = layout_ || !dirty_.empty();
            }
            auto now = Clock::now();
            if (now >= nextBlink) {
                // The caret blinks here rather than in the layer, so that
                // a headless snapshot always has it.
                caretOn_ = !caretOn_;
                nextBlink = now + std::chrono::milliseconds(blinkMs);
                std::lock_guard<std::mutex> lk(m_);
                for (auto &w : wins_)
                    if (w.second.viewable) dirty_.insert(w.first);
                work = true;
            }
            if (work && now - lastPush >= kFrame) {
                frame();
                lastPush = now;
                continue; // what the frame asked of the server may have answers
            }
            auto until = work ? lastPush + kFrame : nextBlink;
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
            pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            poll(fds, 2, static_cast<int>(std::max<long long>(0, ms)));
            if (fds[1].revents & POLLIN) {
                uint64_t v;
                ssize_t n = read(wakeFd_, &v, sizeof v);
                (void)n;
                std::lock_guard<std::mutex> lk(m_);
                signalled_ = false;
            }
        }
    }

    void frame() {
        bool layout;
        std::set<HWND> dirty;
        {
            std::lock_guard<std::mutex> lk(m_);
            layout = layout_;
            layout_ = false;
            dirty.swap(dirty_);
        }
        if (layout) sync();
        for (HWND h : dirty) {
            auto it = wins_.find(h);
            if (it != wins_.end() && it->second.mapped) push(h, it->second);
        }
        XFlush(dpy_);
    }

    // The layer's top-level windows, as X windows: created, shown, placed,
    // stacked and focused as the layer has them.
    void sync() {
        std::vector<Top> tops;
        HWND fg;
        {
            user::UserLock lk(user::userMutex());
            for (user::Window *w : user::desktopLocked()->children) {
                if (!(w->style & WS_VISIBLE) || w->messageOnly || !w->fb || w->minimized || w->destroying) continue;
                Top t;
                t.h = w->handle;
                t.r = w->rect;
                t.popup = (w->style & WS_POPUP) && (w->style & WS_CAPTION) != WS_CAPTION;
                user::Window *o = user::windowLocked(w->owner);
                t.owner = o ? user::topLevelOf(o)->handle : nullptr;
                t.title = w->text;
                tops.push_back(std::move(t));
            }
            fg = user::foregroundWindow();
        }
        std::set<HWND> shown;
        std::vector<::Window> order;
        for (const Top &t : tops) {
            shown.insert(t.h);
            auto it = wins_.find(t.h);
            if (it != wins_.end() && it->second.popup != t.popup) {
                forget(it);
                it = wins_.end();
            }
            if (it == wins_.end()) it = create(t);
            Win &x = it->second;
            if (x.geom.left != t.r.left || x.geom.top != t.r.top || x.geom.right != t.r.right ||
                x.geom.bottom != t.r.bottom) {
                XMoveResizeWindow(dpy_, x.xid, t.r.left, t.r.top, std::max(1L, static_cast<long>(t.r.right - t.r.left)),
                                  std::max(1L, static_cast<long>(t.r.bottom - t.r.top)));
                x.geom = t.r;
                x.pendingConfigures++;
                x.requested = Clock::now();
            }
            if (x.title != t.title) {
                x.title = t.title;
                XStoreName(dpy_, x.xid, t.title.c_str());
            }
            if (!x.mapped) {
                XMapWindow(dpy_, x.xid);
                x.mapped = true;
                x.shown.reset();
                std::lock_guard<std::mutex> lk(m_);
                dirty_.insert(t.h);
            }
            order.push_back(x.xid);
        }
        for (auto it = wins_.begin(); it != wins_.end();) {
            if (shown.count(it->first)) {
                ++it;
                continue;
            }
            if (!IsWindow(it->first)) {
                it = forget(it);
                continue;
            }
            if (it->second.mapped) {
                XUnmapWindow(dpy_, it->second.xid);
                it->second.mapped = it->second.viewable = false;
            }
            ++it;
        }
        if (order != stacking_ && !order.empty()) {
            XRestackWindows(dpy_, order.data(), static_cast<int>(order.size()));
            stacking_ = order;
        }
        focus(fg);
        grabForPopups();
    }

    std::map<HWND, Win>::iterator create(const Top &t) {
        Win x;
        x.popup = t.popup;
        XSetWindowAttributes a{};
        a.override_redirect = t.popup ? True : False;
        a.background_pixmap = None;
        a.bit_gravity = NorthWestGravity;
        a.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                       PointerMotionMask | StructureNotifyMask | FocusChangeMask;
        a.colormap = XCreateColormap(dpy_, root_, visual_, AllocNone);
        a.border_pixel = 0;
        int w = std::max(1L, static_cast<long>(t.r.right - t.r.left));
        int h = std::max(1L, static_cast<long>(t.r.bottom - t.r.top));
        x.xid = XCreateWindow(dpy_, root_, t.r.left, t.r.top, w, h, 0, depth_, InputOutput, visual_,
                              CWOverrideRedirect | CWBackPixmap | CWBitGravity | CWEventMask | CWColormap | CWBorderPixel,
                              &a);
        x.geom = t.r;
        XSetWMProtocols(dpy_, x.xid, &atomDelete_, 1);
        XSizeHints *sh = XAllocSizeHints();
        sh->flags = USPosition | USSize;
        sh->x = t.r.left;
        sh->y = t.r.top;
        sh->width = w;
        sh->height = h;
        XWMHints *wh = XAllocWMHints();
        wh->flags = InputHint;
        wh->input = True;
        XClassHint *ch = XAllocClassHint();
        char name[] = "vorlex", cls[] = "Vorlex";
        ch->res_name = name;
        ch->res_class = cls;
        XSetWMProperties(dpy_, x.xid, nullptr, nullptr, nullptr, 0, sh, wh, ch);
        XFree(sh);
        XFree(wh);
        XFree(ch);
        long hv = static_cast<long>(reinterpret_cast<uintptr_t>(t.h));
        XChangeProperty(dpy_, x.xid, atomHwnd_, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char *>(&hv), 1);
        long pid = getpid();
        XChangeProperty(dpy_, x.xid, atomPid_, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char *>(&pid), 1);
        Atom type = t.popup ? atomTypeMenu_ : atomTypeDialog_;
        if (t.popup || t.owner)
            XChangeProperty(dpy_, x.xid, atomType_, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char *>(&type), 1);
        auto o = wins_.find(t.owner);
        if (o != wins_.end()) XSetTransientForHint(dpy_, x.xid, o->second.xid);
        byXid_[x.xid] = t.h;
        return wins_.emplace(t.h, std::move(x)).first;
    }

    std::map<HWND, Win>::iterator forget(std::map<HWND, Win>::iterator it) {
        XDestroyWindow(dpy_, it->second.xid);
        byXid_.erase(it->second.xid);
        if (focusSet_ == it->first) focusSet_ = nullptr;
        stacking_.clear();
        return wins_.erase(it);
    }

    void focus(HWND fg) {
        if (!fg || fg == focusSet_) return;
        auto it = wins_.find(fg);
        // Focus goes to viewable windows only; MapNotify tries again.
        if (it == wins_.end() || !it->second.viewable || it->second.popup) return;
        XSetInputFocus(dpy_, it->second.xid, RevertToParent, CurrentTime);
        focusSet_ = fg;
    }

    // While a menu or a list is open, clicks anywhere come to us, so that a
    // click outside closes it as the layer's capture expects.
    void grabForPopups() {
        ::Window popup = 0;
        for (auto &w : wins_)
            if (w.second.popup && w.second.viewable) popup = w.second.xid;
        if (popup == grabbed_) return;
        if (grabbed_) XUngrabPointer(dpy_, CurrentTime);
        grabbed_ = 0;
        if (popup && XGrabPointer(dpy_, popup, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                  GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess)
            grabbed_ = popup;
    }

    // The window's pixels as they are now, with the caret when it is on,
    // in spare when it has the size (no allocation at every frame).
    std::unique_ptr<gdi::Framebuffer> compose(HWND h, std::unique_ptr<gdi::Framebuffer> spare) {
        user::UserLock lk(user::userMutex());
        user::Window *w = user::windowLocked(h);
        if (!w || !w->fb) return nullptr;
        auto out = spare && spare->width == w->fb->width && spare->height == w->fb->height
                       ? std::move(spare)
                       : std::make_unique<gdi::Framebuffer>(w->fb->width, w->fb->height);
        for (int y = 0; y < out->height; y++) {
            const uint32_t *from = w->fb->row(y);
            uint32_t *to = out->row(y);
            for (int x = 0; x < out->width; x++) to[x] = from[x] & 0xFFFFFF; // the top byte is not colour
        }
        if (caretOn_) user::caretOverlay(h, *out, 0, 0);
        return out;
    }

    void put(Win &x, gdi::Framebuffer &fb, int left, int top, int right, int bottom) {
        left = std::max(0, left);
        top = std::max(0, top);
        right = std::min(right, fb.width);
        bottom = std::min(bottom, fb.height);
        if (left >= right || top >= bottom) return;
        XImage *img = XCreateImage(dpy_, visual_, depth_, ZPixmap, 0, reinterpret_cast<char *>(fb.data), fb.width,
                                   fb.height, 32, fb.stride * 4);
        if (!img) return;
        img->byte_order = LSBFirst;
        XPutImage(dpy_, x.xid, gc_, img, left, top, left, top, right - left, bottom - top);
        img->data = nullptr;
        XDestroyImage(img);
    }

    // Puts what changed since the last push: the box around the changed
    // rows and columns.
    void push(HWND h, Win &x) {
        auto now = compose(h, std::move(x.spare));
        if (!now) return;
        if (!x.shown || x.shown->width != now->width || x.shown->height != now->height) {
            put(x, *now, 0, 0, now->width, now->height);
        } else {
            int top = -1, bottom = -1, left = now->width, right = 0;
            for (int y = 0; y < now->height; y++) {
                const uint32_t *a = now->row(y), *b = x.shown->row(y);
                if (std::memcmp(a, b, now->width * 4) == 0) continue;
                if (top < 0) top = y;
                bottom = y + 1;
                int l = 0, r = now->width;
                while (a[l] == b[l]) l++;
                while (a[r - 1] == b[r - 1]) r--;
                left = std::min(left, l);
                right = std::max(right, r);
            }
            if (top >= 0) put(x, *now, left, top, right, bottom);
        }
        x.spare = std::move(x.shown);
        x.shown = std::move(now);
    }

    // X's view of the layer's windows comes back as the layer's own calls,
    // made on the worker thread: they send messages to the window's thread
    // and wait for it, which this thread must never do.
    void applyGeometry() {
        std::unique_lock<std::mutex> lk(m_);
        for (;;) {
            cv_.wait(lk, [this] { return stop_ || !geometryWanted_.empty(); });
            if (stop_) return;
            auto it = geometryWanted_.begin();
            HWND h = it->first;
            RECT r = it->second;
            geometryWanted_.erase(it);
            lk.unlock();
            SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
            lk.lock();
        }
    }

    void handle(XEvent &e) {
        auto found = byXid_.find(e.xany.window);
        if (found == byXid_.end()) return;
        HWND h = found->second;
        auto wit = wins_.find(h);
        if (wit == wins_.end()) return;
        Win &x = wit->second;
        switch (e.type) {
        case Expose: {
            // Repainted from the pixels last put; the application is not asked.
            if (x.shown)
                put(x, *x.shown, e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height);
            break;
        }
        case MapNotify:
            x.viewable = true;
            focus(user::foregroundWindow());
            grabForPopups();
            break;
        case UnmapNotify:
            x.viewable = false;
            if (focusSet_ == h) focusSet_ = nullptr;
            grabForPopups();
            break;
        case DestroyNotify:
            // Another client destroyed it: a new one shows the window at the next look.
            byXid_.erase(x.xid);
            if (focusSet_ == h) focusSet_ = nullptr;
            stacking_.clear();
            wins_.erase(wit);
            {
                std::lock_guard<std::mutex> lk(m_);
                layout_ = true;
            }
            grabForPopups();
            break;
        case ReparentNotify:
            x.reparented = e.xreparent.parent != root_;
            break;
        case ConfigureNotify: configured(h, x, e.xconfigure); break;
        case ClientMessage:
            if (e.xclient.message_type == atomProtocols_ && static_cast<Atom>(e.xclient.data.l[0]) == atomDelete_) {
                // The window manager's close button: the window's own close,
                // unless a modal dialog holds it.
                if (IsWindowEnabled(h)) PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
                else MessageBeep(0);
            }
            break;
        case FocusIn:
            if (e.xfocus.mode == NotifyGrab || e.xfocus.detail == NotifyPointer || e.xfocus.detail == NotifyInferior) break;
            focusSet_ = h;
            if (user::foregroundWindow() != h) SetForegroundWindow(enabledPopupOf(h));
            break;
        case FocusOut:
            if (e.xfocus.mode == NotifyGrab || e.xfocus.detail == NotifyPointer || e.xfocus.detail == NotifyInferior) break;
            // Keys released elsewhere would stay down for the layer.
            for (UINT vk : keysDown_) WapiSendKeyEx(h, vk, 0, KEYEVENTF_KEYUP);
            keysDown_.clear();
            if (focusSet_ == h) focusSet_ = nullptr;
            break;
        case KeyPress:
        case KeyRelease: key(h, e.xkey); break;
        case MotionNotify: {
            // Of moves in a row over one window, the last place only.
            XEvent next;
            while (XPending(dpy_) && (XPeekEvent(dpy_, &next), next.type == MotionNotify) &&
                   next.xmotion.window == e.xmotion.window)
                XNextEvent(dpy_, &e);
            WapiMouseMove(nullptr, e.xmotion.x_root, e.xmotion.y_root);
            break;
        }
        case ButtonPress:
        case ButtonRelease: button(h, e.xbutton); break;
        }
    }

    // A disabled window gives its activation to the window that disabled it.
    HWND enabledPopupOf(HWND h) {
        user::UserLock lk(user::userMutex());
        user::Window *w = user::windowLocked(h);
        if (!w || !(w->style & WS_DISABLED)) return h;
        for (user::Window *t : user::desktopLocked()->children)
            if (t->owner == h && (t->style & WS_VISIBLE) && !(t->style & WS_DISABLED)) return t->handle;
        return h;
    }

    void configured(HWND h, Win &x, const XConfigureEvent &c) {
        bool ours = false;
        if (x.pendingConfigures > 0 && !c.send_event) {
            if (Clock::now() - x.requested < std::chrono::seconds(1)) ours = true;
            x.pendingConfigures--;
        }
        RECT r = x.geom;
        if (c.send_event || !x.reparented) r = RECT{c.x, c.y, c.x + c.width, c.y + c.height};
        else r = RECT{r.left, r.top, r.left + c.width, r.top + c.height};
        if (ours) return;
        x.geom = r;
        RECT now{};
        GetWindowRect(h, &now);
        if (std::memcmp(&now, &r, sizeof r) == 0) return;
        std::lock_guard<std::mutex> lk(m_);
        geometryWanted_[h] = r;
        cv_.notify_all();
    }

    void key(HWND h, XKeyEvent &k) {
        bool up = k.type == KeyRelease;
        KeySym ks = XLookupKeysym(&k, 0);
        if ((k.state & numLockMask_) && ks >= XK_KP_Home && ks <= XK_KP_Delete) {
            KeySym num = XLookupKeysym(&k, 1);
            if ((num >= XK_KP_0 && num <= XK_KP_9) || num == XK_KP_Decimal) ks = num;
        }
        KeyInfo ki = keyOf(ks);
        if (!ki.vk) return;
        if (up) keysDown_.erase(ki.vk);
        else keysDown_.insert(ki.vk);
        WapiSendKeyEx(h, ki.vk, ki.scan, (up ? KEYEVENTF_KEYUP : 0) | (ki.ext ? KEYEVENTF_EXTENDEDKEY : 0));
    }

    // The pointer's place on the root is its place on the layer's screen:
    // the windows are where the layer has them (or the layer follows the
    // window manager), and a caption drag that moves the window under the
    // pointer sees the pointer's true path.
    void button(HWND h, XButtonEvent &b) {
        POINT p{b.x_root, b.y_root};
        if (b.button == Button4 || b.button == Button5) {
            if (b.type != ButtonPress) return;
            // The wheel turns for the focus window of the thread under the pointer.
            HWND target = h;
            {
                user::UserLock lk(user::userMutex());
                user::Window *w = user::windowLocked(h);
                if (w && user::threadStateLocked(w->tid).focus) target = user::threadStateLocked(w->tid).focus;
            }
            WORD keys = 0;
            if (b.state & ShiftMask) keys |= MK_SHIFT;
            if (b.state & ControlMask) keys |= MK_CONTROL;
            if (b.state & Button1Mask) keys |= MK_LBUTTON;
            if (b.state & Button2Mask) keys |= MK_MBUTTON;
            if (b.state & Button3Mask) keys |= MK_RBUTTON;
            short delta = b.button == Button4 ? WHEEL_DELTA : -WHEEL_DELTA;
            PostMessageA(target, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(delta)), MAKELPARAM(p.x, p.y));
            return;
        }
        UINT which;
        switch (b.button) {
        case Button1: which = 0; break;
        case Button2: which = 2; break;
        case Button3: which = 1; break;
        default: return;
        }
        WapiMouseButton(nullptr, p.x, p.y, which, b.type == ButtonPress);
    }
};

void connectionLost(Display *, void *self) {
    static_cast<X11Presenter *>(self)->lost();
    std::fprintf(stderr, "winapi: the X display went away; windows stay headless\n");
}

} // namespace

std::unique_ptr<Presenter> openX11Presenter(bool complain) {
    const char *name = getenv("DISPLAY");
    Display *dpy = XOpenDisplay(name);
    if (!dpy) {
        if (complain) std::fprintf(stderr, "winapi: cannot open the X display %s; windows stay headless\n", name ? name : "");
        return nullptr;
    }
    XSetErrorHandler(ignoreXError);
    // Xlib's own would print and exit; the exit handler decides instead.
    XSetIOErrorHandler([](Display *) { return 0; });
    XVisualInfo want{};
    want.screen = DefaultScreen(dpy);
    want.c_class = TrueColor;
    want.red_mask = 0xFF0000;
    want.green_mask = 0xFF00;
    want.blue_mask = 0xFF;
    int n = 0;
    XVisualInfo *vi = XGetVisualInfo(dpy, VisualScreenMask | VisualClassMask | VisualRedMaskMask | VisualGreenMaskMask |
                                          VisualBlueMaskMask, &want, &n);
    XVisualInfo chosen{};
    bool ok = false;
    for (int i = 0; i < n; i++)
        if (vi[i].depth == 24 || vi[i].depth == 32) {
            chosen = vi[i];
            ok = true;
            if (vi[i].depth == 24) break;
        }
    if (vi) XFree(vi);
    if (!ok) {
        if (complain) std::fprintf(stderr, "winapi: the X display has no 24-bit true-colour visual; windows stay headless\n");
        XCloseDisplay(dpy);
        return nullptr;
    }
    int sw = DisplayWidth(dpy, DefaultScreen(dpy)), sh = DisplayHeight(dpy, DefaultScreen(dpy));
    WapiSetScreenSize(std::clamp(sw, 320, 8192), std::clamp(sh, 200, 8192));
    return std::make_unique<X11Presenter>(dpy, chosen.visual, chosen.depth);
}

} // namespace winapi::display

#else

#include <cstdio>

namespace winapi::display {
std::unique_ptr<Presenter> openX11Presenter(bool complain) {
    if (complain) std::fprintf(stderr, "winapi: built without X11; windows stay headless\n");
    return nullptr;
}
} // namespace winapi::display

#endif
