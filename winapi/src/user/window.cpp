// Window classes and windows: registration, creation and destruction with
// their messages in Windows' order, the window tree, positions and sizes,
// window words and longs, texts, enumeration.
#include "window.h"

#include "message.h"

#include <winapi_ext.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_map>

namespace winapi::user {

std::recursive_mutex &userMutex() {
    static auto *m = new std::recursive_mutex;
    return *m;
}

namespace {

std::unordered_map<uintptr_t, WindowPtr> &windowTable() {
    static auto *t = new std::unordered_map<uintptr_t, WindowPtr>;
    return *t;
}
uintptr_t g_nextHandle = 0x10020;

std::vector<std::shared_ptr<WndClass>> &classes() {
    static auto *c = new std::vector<std::shared_ptr<WndClass>>;
    return *c;
}
ATOM g_nextAtom = 0xC000;

std::atomic<uint64_t> g_geometry{1};

} // namespace

uint64_t g_geometryValue() { return g_geometry.load(); }

namespace {

bool sameName(const std::string &a, const char *b) { return lstrcmpiA(a.c_str(), b) == 0; }

// Window procedures as 32-bit tokens for GetWindowLongA.
std::vector<WNDPROC> &procTokens() {
    static auto *v = new std::vector<WNDPROC>;
    return *v;
}
constexpr uintptr_t kTokenBase = 0xFFFF0000u;

std::string classNameArg(LPCSTR name) {
    if (IS_INTRESOURCE(name)) {
        ATOM a = LOWORD(reinterpret_cast<ULONG_PTR>(name));
        for (auto &c : classes())
            if (c->atom == a) return c->name;
        return std::string();
    }
    return name;
}

std::shared_ptr<WndClass> findClassLocked(LPCSTR name, HINSTANCE inst) {
    std::string n = classNameArg(name);
    if (n.empty()) return nullptr;
    std::shared_ptr<WndClass> any;
    for (auto &c : classes()) {
        if (!sameName(c->name, n.c_str())) continue;
        if (c->instance == inst || !inst) return c;
        if (!any || (c->style & CS_GLOBALCLASS) || c->system) any = c;
    }
    return any;
}

Window *makeDesktopLocked() {
    auto w = std::make_shared<Window>();
    w->handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));
    w->isDesktop = true;
    w->style = WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    w->rect = RECT{0, 0, cx, cy};
    w->client = w->rect;
    w->text = "";
    auto cls = std::make_shared<WndClass>();
    cls->name = "#32769";
    cls->system = true;
    cls->proc = DefWindowProcA;
    cls->background = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BACKGROUND + 1));
    w->cls = cls;
    w->proc = DefWindowProcA;
    w->fb = std::make_shared<gdi::Framebuffer>(cx, cy, gdi::toPixel(GetSysColor(COLOR_BACKGROUND)));
    windowTable()[reinterpret_cast<uintptr_t>(w->handle)] = w;
    return w.get();
}

} // namespace

Window *desktopLocked() {
    static Window *d = makeDesktopLocked();
    return d;
}

HWND desktopHandle() {
    UserLock lk(userMutex());
    return desktopLocked()->handle;
}

Window *windowLocked(HWND h) {
    if (!h) return nullptr;
    auto &t = windowTable();
    if (t.empty()) desktopLocked();
    auto it = t.find(reinterpret_cast<uintptr_t>(h));
    if (it == t.end() || it->second->dead) return nullptr;
    return it->second.get();
}

WindowPtr windowRef(HWND h) {
    UserLock lk(userMutex());
    if (!windowLocked(h)) return nullptr;
    return windowTable()[reinterpret_cast<uintptr_t>(h)];
}

bool isTopLevel(const Window *w) { return w && w->parent && w->parent->isDesktop; }

Window *topLevelOf(Window *w) {
    while (w && w->parent && !w->parent->isDesktop) w = w->parent;
    return w;
}

namespace {
POINT clientOriginInTop(const Window *w) {
    if (w->isDesktop) return POINT{0, 0};
    if (isTopLevel(w)) return POINT{w->client.left - w->rect.left, w->client.top - w->rect.top};
    POINT p = clientOriginInTop(w->parent);
    return POINT{p.x + w->client.left, p.y + w->client.top};
}
} // namespace

RECT windowRectInTop(const Window *w) {
    if (w->isDesktop || isTopLevel(w)) return RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    POINT p = clientOriginInTop(w->parent);
    return gdi::rectOffset(w->rect, p.x, p.y);
}

RECT clientRectInTop(const Window *w) {
    if (w->isDesktop) return w->client;
    if (isTopLevel(w)) return gdi::rectOffset(w->client, -w->rect.left, -w->rect.top);
    POINT p = clientOriginInTop(w->parent);
    return gdi::rectOffset(w->client, p.x, p.y);
}

POINT clientOriginOnScreen(const Window *w) {
    if (w->isDesktop) return POINT{0, 0};
    POINT p = clientOriginOnScreen(w->parent);
    return POINT{p.x + w->client.left, p.y + w->client.top};
}

RECT windowRectOnScreen(const Window *w) {
    if (w->isDesktop) return w->rect;
    POINT p = clientOriginOnScreen(w->parent);
    return gdi::rectOffset(w->rect, p.x, p.y);
}

bool visibleOnScreen(const Window *w) {
    for (; w; w = w->parent) {
        if (!(w->style & WS_VISIBLE) || w->messageOnly) return false;
        if (w->isDesktop) return true;
    }
    return false;
}

bool isDescendant(const Window *a, const Window *w) {
    for (w = w ? w->parent : nullptr; w; w = w->parent)
        if (w == a) return true;
    return false;
}

std::vector<HWND> windowsOfThread(DWORD tid) {
    UserLock lk(userMutex());
    std::vector<HWND> out;
    std::function<void(Window *)> walk = [&](Window *w) {
        for (Window *c : w->children) {
            if (!tid || c->tid == tid) out.push_back(c->handle);
            walk(c);
        }
    };
    walk(desktopLocked());
    return out;
}

std::vector<DWORD> threadsWithWindows() {
    UserLock lk(userMutex());
    std::vector<DWORD> out;
    for (auto &e : windowTable()) {
        DWORD t = e.second->tid;
        if (t && !e.second->dead && std::find(out.begin(), out.end(), t) == out.end()) out.push_back(t);
    }
    return out;
}

void bumpGeometry() { g_geometry.fetch_add(1); }

} // namespace winapi::user

namespace winapi::gdi {
uint64_t geometryGeneration() { return user::g_geometryValue(); }
} // namespace winapi::gdi

namespace winapi::user {


DWORD windowThreadId(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) return 0;
    if (w->isDesktop) return 0;
    return w->tid;
}

bool matchesFilter(HWND filter, HWND h) {
    UserLock lk(userMutex());
    Window *f = windowLocked(filter), *w = windowLocked(h);
    return f && w && isDescendant(f, w);
}

std::vector<HWND> familyOf(HWND h) {
    UserLock lk(userMutex());
    std::vector<HWND> out;
    Window *w = windowLocked(h);
    if (!w) return out;
    std::function<void(Window *)> walk = [&](Window *x) {
        out.push_back(x->handle);
        for (Window *c : x->children) walk(c);
    };
    walk(w);
    return out;
}

LONG procToken(WNDPROC p) {
    uintptr_t v = reinterpret_cast<uintptr_t>(p);
    if (v <= 0x7FFFFFFF) return static_cast<LONG>(v);
    UserLock lk(userMutex());
    auto &t = procTokens();
    for (size_t i = 0; i < t.size(); i++)
        if (t[i] == p) return static_cast<LONG>(kTokenBase + i);
    t.push_back(p);
    return static_cast<LONG>(kTokenBase + t.size() - 1);
}

WNDPROC procFromToken(WNDPROC p) {
    uintptr_t v = reinterpret_cast<uintptr_t>(p);
    if (v >= kTokenBase && v < kTokenBase + 0x10000) {
        UserLock lk(userMutex());
        auto &t = procTokens();
        size_t i = v - kTokenBase;
        return i < t.size() ? t[i] : nullptr;
    }
    return p;
}

LRESULT callProc(WNDPROC proc, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    proc = procFromToken(proc);
    if (!proc) return 0;
    return proc(h, msg, wp, lp);
}

// A message to a window of this thread: its procedure runs at once.
LRESULT sendMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC proc;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        proc = w->proc;
    }
    return callProc(proc, h, msg, wp, lp);
}

// ---- creation --------------------------------------------------------------

namespace {

void notifyParents(Window *w, UINT event) {
    // WM_PARENTNOTIFY climbs until a top-level window or a window that
    // asked not to be told.
    if (!(w->style & WS_CHILD) || (w->exStyle & WS_EX_NOPARENTNOTIFY)) return;
    HWND child = w->handle;
    UINT_PTR id = w->id;
    std::vector<HWND> targets;
    {
        UserLock lk(userMutex());
        for (Window *p = w->parent; p && !p->isDesktop; p = p->parent) {
            targets.push_back(p->handle);
            if (!(p->style & WS_CHILD) || (p->exStyle & WS_EX_NOPARENTNOTIFY)) break;
        }
    }
    for (HWND t : targets) SendMessageA(t, WM_PARENTNOTIFY, MAKEWPARAM(event, id), reinterpret_cast<LPARAM>(child));
}

int g_cascade = 0;

void defaultPlacement(DWORD style, bool topLevel, int &x, int &y, int &cx, int &cy) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    bool overlapped = topLevel && !(style & WS_POPUP);
    if (x == CW_USEDEFAULT) {
        if (overlapped) {
            int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME);
            x = 10 + step * (g_cascade % 8);
            y = 10 + step * (g_cascade % 8);
            g_cascade++;
        } else {
            x = y = 0;
        }
    }
    if (cx == CW_USEDEFAULT) {
        if (overlapped) {
            cx = sw * 3 / 4;
            cy = sh * 3 / 4;
        } else {
            cx = cy = 0;
        }
    }
    if (cx < 0) cx = 0;
    if (cy < 0) cy = 0;
}

void freeWindow(Window *w);

} // namespace

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc) {
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpszClassName || !wc->lpfnWndProc || wc->cbClsExtra < 0 ||
        wc->cbWndExtra < 0 || wc->cbClsExtra > 40000 || wc->cbWndExtra > 40000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (IS_INTRESOURCE(wc->lpszClassName) || !*wc->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UserLock lk(userMutex());
    for (auto &c : classes()) {
        if (sameName(c->name, wc->lpszClassName) &&
            (c->instance == wc->hInstance || ((wc->style & CS_GLOBALCLASS) && (c->style & CS_GLOBALCLASS)))) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    auto c = std::make_shared<WndClass>();
    c->name = wc->lpszClassName;
    c->atom = g_nextAtom++;
    c->style = wc->style;
    c->proc = procFromToken(wc->lpfnWndProc);
    c->clsExtra = wc->cbClsExtra;
    c->wndExtra = wc->cbWndExtra;
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->iconSm = wc->hIconSm;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    if (wc->lpszMenuName) {
        if (IS_INTRESOURCE(wc->lpszMenuName))
            c->menuId = reinterpret_cast<ULONG_PTR>(wc->lpszMenuName);
        else
            c->menuName = wc->lpszMenuName;
    }
    c->extra.assign(static_cast<size_t>(wc->cbClsExtra), 0);
    classes().push_back(c);
    return c->atom;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *wc) {
    if (!wc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXA ex{};
    ex.cbSize = sizeof(ex);
    ex.style = wc->style;
    ex.lpfnWndProc = wc->lpfnWndProc;
    ex.cbClsExtra = wc->cbClsExtra;
    ex.cbWndExtra = wc->cbWndExtra;
    ex.hInstance = wc->hInstance;
    ex.hIcon = wc->hIcon;
    ex.hCursor = wc->hCursor;
    ex.hbrBackground = wc->hbrBackground;
    ex.lpszMenuName = wc->lpszMenuName;
    ex.lpszClassName = wc->lpszClassName;
    return RegisterClassExA(&ex);
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE inst) {
    UserLock lk(userMutex());
    std::string n = classNameArg(name);
    auto &cs = classes();
    for (auto it = cs.begin(); it != cs.end(); ++it) {
        if (!sameName((*it)->name, n.c_str()) || ((*it)->instance != inst && inst)) continue;
        if ((*it)->windows > 0) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
        cs.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

BOOL WINAPI GetClassInfoExA(HINSTANCE inst, LPCSTR name, LPWNDCLASSEXA out) {
    if (!out || !name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UserLock lk(userMutex());
    auto c = findClassLocked(name, inst);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    out->style = c->style;
    out->lpfnWndProc = c->proc;
    out->cbClsExtra = c->clsExtra;
    out->cbWndExtra = c->wndExtra;
    out->hInstance = c->instance;
    out->hIcon = c->icon;
    out->hIconSm = c->iconSm;
    out->hCursor = c->cursor;
    out->hbrBackground = c->background;
    out->lpszMenuName = c->menuId ? reinterpret_cast<LPCSTR>(c->menuId) : (c->menuName.empty() ? nullptr : c->menuName.c_str());
    out->lpszClassName = c->name.c_str();
    return c->atom;
}

BOOL WINAPI GetClassInfoA(HINSTANCE inst, LPCSTR name, LPWNDCLASSA out) {
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WNDCLASSEXA ex{};
    ex.cbSize = sizeof(ex);
    if (!GetClassInfoExA(inst, name, &ex)) return FALSE;
    out->style = ex.style;
    out->lpfnWndProc = ex.lpfnWndProc;
    out->cbClsExtra = ex.cbClsExtra;
    out->cbWndExtra = ex.cbWndExtra;
    out->hInstance = ex.hInstance;
    out->hIcon = ex.hIcon;
    out->hCursor = ex.hCursor;
    out->hbrBackground = ex.hbrBackground;
    out->lpszMenuName = ex.lpszMenuName;
    out->lpszClassName = ex.lpszClassName;
    return TRUE;
}

int WINAPI GetClassNameA(HWND h, LPSTR buf, int n) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!buf || n <= 0) return 0;
    lstrcpynA(buf, w->cls->name.c_str(), n);
    return lstrlenA(buf);
}

namespace {
bool classLongSlot(WndClass *c, int index, size_t size, uint8_t **out) {
    if (index < 0 || static_cast<size_t>(index) + size > c->extra.size()) return false;
    *out = c->extra.data() + index;
    return true;
}
} // namespace

ULONG_PTR WINAPI GetClassLongPtrA(HWND h, int index) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WndClass *c = w->cls.get();
    switch (index) {
    case GCLP_MENUNAME: return c->menuId ? c->menuId : reinterpret_cast<ULONG_PTR>(c->menuName.c_str());
    case GCLP_HBRBACKGROUND: return reinterpret_cast<ULONG_PTR>(c->background);
    case GCLP_HCURSOR: return reinterpret_cast<ULONG_PTR>(c->cursor);
    case GCLP_HICON: return reinterpret_cast<ULONG_PTR>(c->icon);
    case GCLP_HICONSM: return reinterpret_cast<ULONG_PTR>(c->iconSm);
    case GCLP_HMODULE: return reinterpret_cast<ULONG_PTR>(c->instance);
    case GCLP_WNDPROC: return reinterpret_cast<ULONG_PTR>(c->proc);
    case GCL_CBWNDEXTRA: return static_cast<ULONG_PTR>(c->wndExtra);
    case GCL_CBCLSEXTRA: return static_cast<ULONG_PTR>(c->clsExtra);
    case GCL_STYLE: return c->style;
    case GCW_ATOM: return c->atom;
    }
    uint8_t *p;
    if (!classLongSlot(c, index, sizeof(ULONG_PTR), &p)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    ULONG_PTR v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

DWORD WINAPI GetClassLongA(HWND h, int index) {
    if (index >= 0) {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        uint8_t *p;
        if (!classLongSlot(w->cls.get(), index, 4, &p)) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        DWORD v;
        std::memcpy(&v, p, 4);
        return v;
    }
    if (index == GCL_WNDPROC) {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        return w ? static_cast<DWORD>(procToken(w->cls->proc)) : 0;
    }
    return static_cast<DWORD>(GetClassLongPtrA(h, index));
}

ULONG_PTR WINAPI SetClassLongPtrA(HWND h, int index, LONG_PTR v) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WndClass *c = w->cls.get();
    ULONG_PTR old = 0;
    switch (index) {
    case GCLP_HBRBACKGROUND:
        old = reinterpret_cast<ULONG_PTR>(c->background);
        c->background = reinterpret_cast<HBRUSH>(v);
        return old;
    case GCLP_HCURSOR:
        old = reinterpret_cast<ULONG_PTR>(c->cursor);
        c->cursor = reinterpret_cast<HCURSOR>(v);
        return old;
    case GCLP_HICON:
        old = reinterpret_cast<ULONG_PTR>(c->icon);
        c->icon = reinterpret_cast<HICON>(v);
        return old;
    case GCLP_HICONSM:
        old = reinterpret_cast<ULONG_PTR>(c->iconSm);
        c->iconSm = reinterpret_cast<HICON>(v);
        return old;
    case GCLP_HMODULE:
        old = reinterpret_cast<ULONG_PTR>(c->instance);
        c->instance = reinterpret_cast<HINSTANCE>(v);
        return old;
    case GCLP_WNDPROC:
        old = reinterpret_cast<ULONG_PTR>(c->proc);
        c->proc = procFromToken(reinterpret_cast<WNDPROC>(v));
        return old;
    case GCL_STYLE:
        old = c->style;
        c->style = static_cast<UINT>(v);
        return old;
    case GCL_CBWNDEXTRA:
        old = static_cast<ULONG_PTR>(c->wndExtra);
        if (v >= 0 && v <= 40000) c->wndExtra = static_cast<int>(v);
        return old;
    case GCLP_MENUNAME:
        old = c->menuId;
        if (IS_INTRESOURCE(v)) c->menuId = static_cast<ULONG_PTR>(v);
        else c->menuName = reinterpret_cast<LPCSTR>(v);
        return old;
    }
    uint8_t *p;
    if (!classLongSlot(c, index, sizeof(LONG_PTR), &p)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(&old, p, sizeof old);
    std::memcpy(p, &v, sizeof v);
    return old;
}

DWORD WINAPI SetClassLongA(HWND h, int index, LONG v) {
    if (index >= 0) {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        uint8_t *p;
        if (!classLongSlot(w->cls.get(), index, 4, &p)) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        DWORD old;
        std::memcpy(&old, p, 4);
        std::memcpy(p, &v, 4);
        return old;
    }
    if (index == GCL_WNDPROC) {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return 0;
        LONG old = procToken(w->cls->proc);
        w->cls->proc = procFromToken(reinterpret_cast<WNDPROC>(static_cast<uintptr_t>(static_cast<DWORD>(v))));
        return static_cast<DWORD>(old);
    }
    // Handles and values of the class fit 32 bits here (brush values such
    // as COLOR_BTNFACE + 1 included).
    return static_cast<DWORD>(SetClassLongPtrA(h, index, static_cast<LONG_PTR>(static_cast<DWORD>(v))));
}

WORD WINAPI GetClassWord(HWND h, int index) {
    if (index == GCW_ATOM) return static_cast<WORD>(GetClassLongPtrA(h, index));
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    uint8_t *p;
    if (!w || !classLongSlot(w->cls.get(), index, 2, &p)) {
        SetLastError(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WORD v;
    std::memcpy(&v, p, 2);
    return v;
}

WORD WINAPI SetClassWord(HWND h, int index, WORD v) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    uint8_t *p;
    if (!w || !classLongSlot(w->cls.get(), index, 2, &p)) {
        SetLastError(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WORD old;
    std::memcpy(&old, p, 2);
    std::memcpy(p, &v, 2);
    return old;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int cx, int cy,
                            HWND parentHwnd, HMENU menu, HINSTANCE inst, LPVOID param) {
    currentQueue(); // the thread's queue lives as long as its windows
    auto w = std::make_shared<Window>();
    HWND h;
    CREATESTRUCTA cs{};
    {
        UserLock lk(userMutex());
        auto cls = findClassLocked(className, inst);
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        Window *parent = nullptr;
        bool messageOnly = parentHwnd == HWND_MESSAGE;
        if (parentHwnd && !messageOnly) {
            parent = windowLocked(parentHwnd);
            if (!parent) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
        }
        if ((style & WS_CHILD) && !parent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        w->tid = currentThreadId();
        w->cls = cls;
        w->proc = cls->proc;
        w->messageOnly = messageOnly;
        if (style & WS_CHILD) {
            w->parent = parent;
            w->id = reinterpret_cast<UINT_PTR>(menu);
        } else {
            w->parent = desktopLocked();
            // A popup's "parent" is its owner; owners are top-level windows.
            if (parent && !parent->isDesktop) w->owner = topLevelOf(parent)->handle;
            w->menu = menu;
            if (!(style & WS_POPUP)) style |= WS_CLIPSIBLINGS | WS_CAPTION;
        }
        if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (WS_DLGFRAME | WS_THICKFRAME))) exStyle |= WS_EX_WINDOWEDGE;
        w->style = style & ~WS_VISIBLE;
        w->exStyle = exStyle;
        w->instance = inst;
        w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
        defaultPlacement(style, !(style & WS_CHILD), x, y, cx, cy);
        w->rect = RECT{x, y, x + cx, y + cy};
        w->client = w->rect;
        h = reinterpret_cast<HWND>(g_nextHandle);
        g_nextHandle += 4;
        w->handle = h;
        windowTable()[reinterpret_cast<uintptr_t>(h)] = w;
        // Top-level windows start on top; children go below their
        // siblings, so that the stacking order is the creation order (the
        // dialog manager's tab order).
        auto &sib = w->parent->children;
        if (w->parent->isDesktop) {
            auto pos = sib.begin();
            if (!(exStyle & WS_EX_TOPMOST))
                while (pos != sib.end() && ((*pos)->exStyle & WS_EX_TOPMOST)) ++pos;
            sib.insert(pos, w.get());
        } else {
            sib.push_back(w.get());
        }
        cls->windows++;
        if (isTopLevel(w.get())) w->fb = std::make_shared<gdi::Framebuffer>(std::max(cx, 1), std::max(cy, 1), 0xFFFFFF);
        bumpGeometry();
        cs.lpCreateParams = param;
        cs.hInstance = inst;
        cs.hMenu = menu;
        cs.hwndParent = parentHwnd == HWND_MESSAGE ? nullptr : parentHwnd;
        cs.cx = cx;
        cs.cy = cy;
        cs.x = x;
        cs.y = y;
        cs.style = static_cast<LONG>(style);
        cs.lpszName = title;
        cs.lpszClass = className;
        cs.dwExStyle = exStyle;
    }
    if (!(style & WS_CHILD) && !menu) {
        // The class menu, as Windows loads it.
        LPCSTR name = nullptr;
        HINSTANCE ci = nullptr;
        {
            UserLock lk(userMutex());
            if (w->cls->menuId) name = reinterpret_cast<LPCSTR>(w->cls->menuId);
            else if (!w->cls->menuName.empty()) name = w->cls->menuName.c_str();
            ci = w->cls->instance;
        }
        if (name) {
            DWORD err = GetLastError();
            HMENU m = LoadMenuA(ci, name);
            SetLastError(err);
            UserLock lk(userMutex());
            w->menu = m;
            cs.hMenu = m;
        }
    }
    if (!(style & WS_CHILD) && (style & (WS_THICKFRAME | WS_CAPTION))) {
        MINMAXINFO mmi{};
        int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        mmi.ptMaxSize = POINT{sw, sh};
        mmi.ptMaxTrackSize = POINT{sw + 12, sh + 12};
        mmi.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
        SendMessageA(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    }
    if (!SendMessageA(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        UserLock lk(userMutex());
        if (windowLocked(h)) freeWindow(w.get());
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    {
        UserLock lk(userMutex());
        if (!windowLocked(h)) return nullptr;
        w->created = true;
    }
    RECT calc;
    {
        UserLock lk(userMutex());
        calc = w->rect;
    }
    SendMessageA(h, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&calc));
    {
        UserLock lk(userMutex());
        if (!windowLocked(h)) return nullptr;
        if (calc.right < calc.left) calc.right = calc.left;
        if (calc.bottom < calc.top) calc.bottom = calc.top;
        w->client = calc;
        w->ncDirty = true;
        bumpGeometry();
    }
    if (SendMessageA(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(h);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!IsWindow(h)) return nullptr;
    RECT client, rect;
    {
        UserLock lk(userMutex());
        client = w->client;
        rect = w->rect;
        w->sizeMoveSent = true;
    }
    SendMessageA(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right - client.left, client.bottom - client.top));
    SendMessageA(h, WM_MOVE, 0, MAKELPARAM(client.left, client.top));
    (void)rect;
    if (!IsWindow(h)) return nullptr;
    notifyParents(w.get(), WM_CREATE);
    if (!IsWindow(h)) return nullptr;
    if (style & WS_VISIBLE) ShowWindow(h, (style & WS_CHILD) ? SW_SHOW : SW_SHOW);
    return IsWindow(h) ? h : nullptr;
}

} // extern "C"

// ---- destruction -------------------------------------------------------------

namespace winapi::user {
namespace {

void sendDestroy(HWND h) {
    SendMessageA(h, WM_DESTROY, 0, 0);
    std::vector<HWND> kids;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return;
        for (Window *c : w->children) kids.push_back(c->handle);
    }
    for (HWND c : kids) {
        {
            UserLock lk(userMutex());
            Window *cw = windowLocked(c);
            if (!cw || cw->destroying) continue;
            cw->destroying = true;
        }
        sendDestroy(c);
    }
}

void finalDestroy(HWND h) {
    std::vector<HWND> kids;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return;
        for (Window *c : w->children) kids.push_back(c->handle);
    }
    for (HWND c : kids) finalDestroy(c);
    SendMessageA(h, WM_NCDESTROY, 0, 0);
    DWORD tid;
    HMENU menu = nullptr, sysMenu = nullptr;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return;
        tid = w->tid;
        if (!(w->style & WS_CHILD)) menu = w->menu;
        sysMenu = w->sysMenu;
        w->menu = nullptr;
        w->sysMenu = nullptr;
        freeWindow(w);
    }
    killTimersOf(tid, h);
    caretWindowGone(h);
    if (menu) destroyMenuOfWindow(menu);
    if (sysMenu) destroyMenuOfWindow(sysMenu);
}

void freeWindow(Window *w) {
    // userMutex held.
    forgetWindowInThreadState(w);
    if (w->parent) {
        auto &sib = w->parent->children;
        sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
    }
    for (Window *c : w->children) c->parent = nullptr;
    w->children.clear();
    w->dead = true;
    w->cls->windows--;
    w->fb.reset();
    bumpGeometry();
    auto &t = windowTable();
    t.erase(reinterpret_cast<uintptr_t>(w->handle));
}

} // namespace

void threadEnded(DWORD tid) {
    // Windows die with their thread; nobody is left to be told.
    UserLock lk(userMutex());
    for (;;) {
        Window *victim = nullptr;
        std::function<void(Window *)> walk = [&](Window *w) {
            for (Window *c : w->children) {
                if (victim) return;
                if (c->tid == tid) victim = c;
                else walk(c);
            }
        };
        walk(desktopLocked());
        if (!victim) break;
        std::function<void(Window *)> drop = [&](Window *w) {
            std::vector<Window *> kids = w->children;
            for (Window *c : kids) drop(c);
            freeWindow(w);
        };
        drop(victim);
    }
}

} // namespace winapi::user

extern "C" {

BOOL WINAPI DestroyWindow(HWND h) {
    std::vector<HWND> owned;
    bool child, visible;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w || w->isDesktop) {
            SetLastError(w ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->tid != currentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (w->destroying) return TRUE;
        w->destroying = true;
        child = (w->style & WS_CHILD) != 0;
        visible = (w->style & WS_VISIBLE) != 0;
        for (Window *t : desktopLocked()->children)
            if (t->owner == h && !t->destroying) owned.push_back(t->handle);
    }
    if (child) {
        WindowPtr w = windowRef(h);
        if (w) notifyParents(w.get(), WM_DESTROY);
    }
    for (HWND o : owned) DestroyWindow(o);
    if (visible && IsWindow(h))
        SetWindowPos(h, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!IsWindow(h)) return TRUE;
    // Focus, activation and capture leave the window before it goes.
    {
        HWND focus = GetFocus(), parent = nullptr, cap = GetCapture();
        bool focusInside = false, capInside = false;
        {
            UserLock lk(userMutex());
            Window *w = windowLocked(h);
            Window *f = windowLocked(focus);
            Window *c = windowLocked(cap);
            focusInside = f && (f == w || isDescendant(w, f));
            capInside = c && (c == w || isDescendant(w, c));
            if (child && w && w->parent) parent = w->parent->handle;
        }
        if (capInside) ReleaseCapture();
        if (focusInside) SetFocus(child ? parent : nullptr);
        if (GetActiveWindow() == h) {
            HWND next = nullptr;
            {
                UserLock lk(userMutex());
                Window *w = windowLocked(h);
                Window *o = w ? windowLocked(w->owner) : nullptr;
                if (o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) next = o->handle;
                if (!next)
                    for (Window *t : desktopLocked()->children)
                        if (t != w && t->tid == currentThreadId() && (t->style & WS_VISIBLE) && !t->destroying &&
                            !(t->style & WS_DISABLED)) {
                            next = t->handle;
                            break;
                        }
            }
            SetActiveWindow(next);
        }
    }
    if (!IsWindow(h)) return TRUE;
    sendDestroy(h);
    finalDestroy(h);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND h) {
    UserLock lk(userMutex());
    return windowLocked(h) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    return w && visibleOnScreen(w) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI IsIconic(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    return w && w->minimized ? TRUE : FALSE;
}

BOOL WINAPI IsZoomed(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    return w && w->maximized ? TRUE : FALSE;
}

BOOL WINAPI IsChild(HWND parent, HWND h) {
    UserLock lk(userMutex());
    Window *p = windowLocked(parent), *w = windowLocked(h);
    if (!p || !w) return FALSE;
    // Only the chain of WS_CHILD windows counts.
    for (; w && (w->style & WS_CHILD); w = w->parent)
        if (w->parent == p) return TRUE;
    return FALSE;
}

BOOL WINAPI EnableWindow(HWND h, BOOL enable) {
    bool wasDisabled;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable) return wasDisabled ? TRUE : FALSE;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
        w->ncDirty = true;
    }
    if (!enable) {
        HWND focus = GetFocus();
        if (focus && (focus == h || IsChild(h, focus))) SetFocus(nullptr);
        if (GetCapture() == h) ReleaseCapture();
    }
    SendMessageA(h, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI GetWindowRect(HWND h, LPRECT r) {
    if (!r) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *r = windowRectOnScreen(w);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND h, LPRECT r) {
    if (!r) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *r = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND h, LPPOINT p) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !p) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = clientOriginOnScreen(w);
    p->x += o.x;
    p->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND h, LPPOINT p) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !p) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    POINT o = clientOriginOnScreen(w);
    p->x -= o.x;
    p->y -= o.y;
    return TRUE;
}

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT pts, UINT n) {
    UserLock lk(userMutex());
    Window *a = from ? windowLocked(from) : desktopLocked();
    Window *b = to ? windowLocked(to) : desktopLocked();
    if (!a || !b) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    POINT oa = clientOriginOnScreen(a), ob = clientOriginOnScreen(b);
    int dx = oa.x - ob.x, dy = oa.y - ob.y;
    for (UINT i = 0; i < n; i++) {
        pts[i].x += dx;
        pts[i].y += dy;
    }
    SetLastError(0);
    return MAKELONG(static_cast<WORD>(static_cast<SHORT>(dx)), static_cast<WORD>(static_cast<SHORT>(dy)));
}

BOOL WINAPI AdjustWindowRectEx(LPRECT r, DWORD style, BOOL menu, DWORD exStyle) {
    if (!r) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool top = !(style & WS_CHILD);
    if (top && !(style & WS_POPUP)) style |= WS_CAPTION;
    RECT in = nonClientInsets(style, exStyle, menu != 0, top, GetSystemMetrics(SM_CYMENU));
    r->left -= in.left;
    r->top -= in.top;
    r->right += in.right;
    r->bottom += in.bottom;
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT r, DWORD style, BOOL menu) { return AdjustWindowRectEx(r, style, menu, 0); }

HWND WINAPI GetParent(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (w->style & WS_CHILD) return w->parent && !w->parent->isDesktop ? w->parent->handle : nullptr;
    if (w->style & WS_POPUP) return w->owner;
    return nullptr;
}

HWND WINAPI GetAncestor(HWND h, UINT flags) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (w->isDesktop) return nullptr;
    switch (flags) {
    case GA_PARENT: return w->parent ? w->parent->handle : nullptr;
    case GA_ROOT: return topLevelOf(w)->handle;
    case GA_ROOTOWNER: {
        Window *t = topLevelOf(w);
        while (Window *o = windowLocked(t->owner)) t = o;
        return t->handle;
    }
    }
    return nullptr;
}

HWND WINAPI SetParent(HWND h, HWND newParent) {
    HWND old;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        Window *p = newParent ? windowLocked(newParent) : desktopLocked();
        if (!w || !p || w->isDesktop || w == p || isDescendant(w, p)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        old = w->parent && !w->parent->isDesktop ? w->parent->handle : desktopLocked()->handle;
        auto &sib = w->parent->children;
        sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
        if (w->parent && (w->style & WS_VISIBLE)) invalidateLocked(w->parent, nullptr, true, true);
        w->parent = p;
        p->children.insert(p->children.begin(), w);
        if (isTopLevel(w) && !w->fb)
            w->fb = std::make_shared<gdi::Framebuffer>(std::max<int>(1, w->rect.right - w->rect.left),
                                                       std::max<int>(1, w->rect.bottom - w->rect.top), 0xFFFFFF);
        bumpGeometry();
        invalidateLocked(w, nullptr, true, true);
        w->ncDirty = true;
    }
    return old;
}

HWND WINAPI GetWindow(HWND h, UINT cmd) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto siblings = [&]() -> std::vector<Window *> & { return w->parent ? w->parent->children : w->children; };
    switch (cmd) {
    case GW_CHILD: return w->children.empty() ? nullptr : w->children.front()->handle;
    case GW_OWNER: return (w->style & WS_CHILD) ? nullptr : w->owner;
    case GW_HWNDFIRST: return w->parent && !siblings().empty() ? siblings().front()->handle : nullptr;
    case GW_HWNDLAST: return w->parent && !siblings().empty() ? siblings().back()->handle : nullptr;
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
        if (!w->parent) return nullptr;
        auto &s = siblings();
        auto it = std::find(s.begin(), s.end(), w);
        if (it == s.end()) return nullptr;
        if (cmd == GW_HWNDNEXT) return (it + 1) != s.end() ? (*(it + 1))->handle : nullptr;
        return it != s.begin() ? (*(it - 1))->handle : nullptr;
    }
    case GW_ENABLEDPOPUP:
        for (Window *t : desktopLocked()->children)
            if (t->owner == h && (t->style & WS_VISIBLE) && !(t->style & WS_DISABLED)) return t->handle;
        return nullptr;
    }
    SetLastError(ERROR_INVALID_GW_COMMAND);
    return nullptr;
}

HWND WINAPI GetTopWindow(HWND h) {
    if (!h) h = desktopHandle();
    return GetWindow(h, GW_CHILD);
}

HWND WINAPI GetDesktopWindow(void) { return desktopHandle(); }

HWND WINAPI GetLastActivePopup(HWND h) {
    HWND a = GetActiveWindow();
    UserLock lk(userMutex());
    Window *w = windowLocked(a);
    if (w && w->owner == h) return a;
    return h;
}

DWORD WINAPI GetWindowThreadProcessId(HWND h, LPDWORD pid) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (pid) *pid = GetCurrentProcessId();
    return w->isDesktop ? 0 : w->tid;
}

HWND WINAPI FindWindowExA(HWND parent, HWND after, LPCSTR cls, LPCSTR title) {
    UserLock lk(userMutex());
    Window *p = parent ? windowLocked(parent) : desktopLocked();
    if (!p) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::string clsName;
    if (cls) {
        clsName = classNameArg(cls);
        if (clsName.empty()) return nullptr;
    }
    bool started = after == nullptr;
    for (Window *w : p->children) {
        if (!started) {
            started = w->handle == after;
            continue;
        }
        if (w->messageOnly || w->destroying) continue;
        if (cls && !sameName(w->cls->name, clsName.c_str())) continue;
        if (title && lstrcmpiA(w->text.c_str(), title) != 0) continue;
        return w->handle;
    }
    SetLastError(ERROR_SUCCESS);
    return nullptr;
}

HWND WINAPI FindWindowA(LPCSTR cls, LPCSTR title) { return FindWindowExA(nullptr, nullptr, cls, title); }

BOOL WINAPI EnumWindows(WNDENUMPROC fn, LPARAM lp) {
    std::vector<HWND> hs;
    {
        UserLock lk(userMutex());
        for (Window *w : desktopLocked()->children)
            if (!w->messageOnly) hs.push_back(w->handle);
    }
    for (HWND h : hs)
        if (IsWindow(h) && !fn(h, lp)) return FALSE;
    return TRUE;
}

BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC fn, LPARAM lp) {
    std::vector<HWND> hs;
    {
        UserLock lk(userMutex());
        Window *p = parent ? windowLocked(parent) : desktopLocked();
        if (!p) return FALSE;
        std::function<void(Window *)> walk = [&](Window *w) {
            for (Window *c : w->children) {
                hs.push_back(c->handle);
                walk(c);
            }
        };
        walk(p);
    }
    for (HWND h : hs)
        if (IsWindow(h) && !fn(h, lp)) return FALSE;
    return TRUE;
}

BOOL WINAPI EnumThreadWindows(DWORD tid, WNDENUMPROC fn, LPARAM lp) {
    std::vector<HWND> hs;
    {
        UserLock lk(userMutex());
        for (Window *w : desktopLocked()->children)
            if (w->tid == tid) hs.push_back(w->handle);
    }
    if (hs.empty()) return FALSE;
    for (HWND h : hs)
        if (IsWindow(h) && !fn(h, lp)) return FALSE;
    return TRUE;
}

// ---- window words ----------------------------------------------------------------

namespace {

bool dialogSlot(Window *w, int index, bool wide, int *slot) {
    if (!w->dialog && w->cls->wndExtra < DLGWINDOWEXTRA) return false;
    if (wide) {
        if (index == static_cast<int>(DWLP_MSGRESULT)) *slot = 0;
        else if (index == static_cast<int>(DWLP_DLGPROC)) *slot = 1;
        else if (index == static_cast<int>(DWLP_USER)) *slot = 2;
        else return false;
    } else {
        if (index == DWL_MSGRESULT) *slot = 0;
        else if (index == DWL_DLGPROC) *slot = 1;
        else if (index == DWL_USER) *slot = 2;
        else return false;
    }
    return true;
}

LONG_PTR getLong(HWND h, int index, bool wide) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    int slot;
    if (index >= 0 && dialogSlot(w, index, wide, &slot)) {
        if (slot == 1 && !wide) return procToken(reinterpret_cast<WNDPROC>(w->dlgSlots[1]));
        return w->dlgSlots[slot];
    }
    size_t size = wide ? sizeof(LONG_PTR) : sizeof(LONG);
    if (index >= 0) {
        if (static_cast<size_t>(index) + size > w->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        if (wide) {
            LONG_PTR v;
            std::memcpy(&v, w->extra.data() + index, size);
            return v;
        }
        LONG v;
        std::memcpy(&v, w->extra.data() + index, size);
        return v;
    }
    switch (index) {
    case GWL_WNDPROC: return wide ? reinterpret_cast<LONG_PTR>(w->proc) : procToken(w->proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWL_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? (w->parent ? w->parent->handle : nullptr) : w->owner);
    case GWL_STYLE: return static_cast<LONG>(w->style | (w->minimized ? WS_MINIMIZE : 0));
    case GWL_EXSTYLE: return static_cast<LONG>(w->exStyle);
    case GWL_USERDATA: return wide ? w->userData : static_cast<LONG>(w->userData);
    case GWL_ID: return static_cast<LONG_PTR>(w->id);
    }
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
}

LONG_PTR setLong(HWND h, int index, LONG_PTR v, bool wide) {
    DWORD oldStyle = 0, newStyle = 0;
    bool styleChange = false;
    int which = 0;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        int slot;
        if (index >= 0 && dialogSlot(w, index, wide, &slot)) {
            LONG_PTR old = w->dlgSlots[slot];
            if (slot == 1) {
                if (!wide) old = procToken(reinterpret_cast<WNDPROC>(old));
                v = reinterpret_cast<LONG_PTR>(procFromToken(reinterpret_cast<WNDPROC>(
                    wide ? v : static_cast<LONG_PTR>(static_cast<uintptr_t>(static_cast<DWORD>(v))))));
            }
            w->dlgSlots[slot] = v;
            return old;
        }
        size_t size = wide ? sizeof(LONG_PTR) : sizeof(LONG);
        if (index >= 0) {
            if (static_cast<size_t>(index) + size > w->extra.size()) {
                SetLastError(ERROR_INVALID_INDEX);
                return 0;
            }
            if (wide) {
                LONG_PTR old;
                std::memcpy(&old, w->extra.data() + index, size);
                std::memcpy(w->extra.data() + index, &v, size);
                return old;
            }
            LONG old, nv = static_cast<LONG>(v);
            std::memcpy(&old, w->extra.data() + index, size);
            std::memcpy(w->extra.data() + index, &nv, size);
            return old;
        }
        switch (index) {
        case GWL_WNDPROC: {
            LONG_PTR old = wide ? reinterpret_cast<LONG_PTR>(w->proc) : procToken(w->proc);
            WNDPROC p = wide ? reinterpret_cast<WNDPROC>(v)
                             : reinterpret_cast<WNDPROC>(static_cast<uintptr_t>(static_cast<DWORD>(v)));
            w->proc = procFromToken(p);
            return old;
        }
        case GWL_HINSTANCE: {
            LONG_PTR old = reinterpret_cast<LONG_PTR>(w->instance);
            w->instance = reinterpret_cast<HINSTANCE>(v);
            return old;
        }
        case GWL_HWNDPARENT: {
            if (w->style & WS_CHILD) break; // SetParent's business
            LONG_PTR old = reinterpret_cast<LONG_PTR>(w->owner);
            Window *o = windowLocked(reinterpret_cast<HWND>(static_cast<uintptr_t>(v)));
            w->owner = o ? topLevelOf(o)->handle : nullptr;
            return old;
        }
        case GWL_USERDATA: {
            LONG_PTR old = w->userData;
            w->userData = wide ? v : static_cast<LONG>(v);
            return old;
        }
        case GWL_ID: {
            LONG_PTR old = static_cast<LONG_PTR>(w->id);
            w->id = static_cast<UINT_PTR>(v);
            return old;
        }
        case GWL_STYLE:
        case GWL_EXSTYLE:
            styleChange = true;
            which = index;
            oldStyle = index == GWL_STYLE ? w->style : w->exStyle;
            newStyle = static_cast<DWORD>(v);
            break;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
    }
    if (!styleChange) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    STYLESTRUCT ss{oldStyle, newStyle};
    SendMessageA(h, WM_STYLECHANGING, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(&ss));
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) return 0;
        if (which == GWL_STYLE) {
            // WS_CHILD cannot be changed here; visibility changes silently.
            DWORD keep = w->style & WS_CHILD;
            w->style = (ss.styleNew & ~WS_CHILD) | keep;
            if ((oldStyle ^ w->style) & WS_VISIBLE) {
                if (w->parent) invalidateLocked(w->parent, nullptr, true, true);
                invalidateLocked(w, nullptr, true, true);
            }
        } else {
            w->exStyle = ss.styleNew;
        }
        bumpGeometry();
    }
    SendMessageA(h, WM_STYLECHANGED, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(&ss));
    return static_cast<LONG>(oldStyle);
}

} // namespace

LONG WINAPI GetWindowLongA(HWND h, int index) { return static_cast<LONG>(getLong(h, index, false)); }
LONG WINAPI SetWindowLongA(HWND h, int index, LONG v) { return static_cast<LONG>(setLong(h, index, v, false)); }
LONG_PTR WINAPI GetWindowLongPtrA(HWND h, int index) { return getLong(h, index, true); }
LONG_PTR WINAPI SetWindowLongPtrA(HWND h, int index, LONG_PTR v) { return setLong(h, index, v, true); }

WORD WINAPI GetWindowWord(HWND h, int index) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || index < 0 || static_cast<size_t>(index) + 2 > w->extra.size()) {
        SetLastError(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WORD v;
    std::memcpy(&v, w->extra.data() + index, 2);
    return v;
}

WORD WINAPI SetWindowWord(HWND h, int index, WORD v) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || index < 0 || static_cast<size_t>(index) + 2 > w->extra.size()) {
        SetLastError(w ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    WORD old;
    std::memcpy(&old, w->extra.data() + index, 2);
    std::memcpy(w->extra.data() + index, &v, 2);
    return old;
}

int WINAPI GetDlgCtrlID(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !(w->style & WS_CHILD)) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(w->id);
}

// ---- texts ---------------------------------------------------------------------------

BOOL WINAPI SetWindowTextA(HWND h, LPCSTR text) {
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND h, LPSTR buf, int n) {
    if (!buf || n <= 0) return 0;
    buf[0] = 0;
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageA(h, WM_GETTEXT, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(buf)));
}

int WINAPI GetWindowTextLengthA(HWND h) {
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessageA(h, WM_GETTEXTLENGTH, 0, 0));
}

// ---- properties ---------------------------------------------------------------------

namespace {
std::string propKey(LPCSTR s) {
    if (IS_INTRESOURCE(s)) return "#" + std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(s)));
    std::string k = s;
    for (char &c : k) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return k;
}
} // namespace

BOOL WINAPI SetPropA(HWND h, LPCSTR name, HANDLE data) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !name) {
        SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->props[propKey(name)] = data;
    return TRUE;
}

HANDLE WINAPI GetPropA(HWND h, LPCSTR name) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !name) return nullptr;
    auto it = w->props.find(propKey(name));
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropA(HWND h, LPCSTR name) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !name) return nullptr;
    auto it = w->props.find(propKey(name));
    if (it == w->props.end()) return nullptr;
    HANDLE v = it->second;
    w->props.erase(it);
    return v;
}

// ---- sending and dispatching ------------------------------------------------------

LRESULT WINAPI SendMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (h == HWND_BROADCAST) {
        // Every top-level window gets it.
        std::vector<HWND> tops;
        {
            UserLock lk(userMutex());
            for (Window *w : desktopLocked()->children) tops.push_back(w->handle);
        }
        for (HWND t : tops) SendMessageA(t, msg, wp, lp);
        return 1;
    }
    DWORD tid = windowThreadId(h);
    if (!tid) {
        if (h == desktopHandle()) return DefWindowProcA(h, msg, wp, lp);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (tid == currentThreadId()) return sendMessage(h, msg, wp, lp);
    return sendToThread(tid, h, msg, wp, lp, true, INFINITE, nullptr);
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return callProc(proc, h, msg, wp, lp);
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        // Timer procedures run instead of the window procedure.
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd) return 0; // thread messages have no window procedure
    WNDPROC proc;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(msg->hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (w->tid != currentThreadId()) {
            SetLastError(ERROR_MESSAGE_SYNC_ONLY);
            return 0;
        }
        proc = w->proc;
    }
    return callProc(proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    static std::map<std::string, UINT> *names = new std::map<std::string, UINT>;
    static UINT next = 0xC000;
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UserLock lk(userMutex());
    std::string k = propKey(name);
    auto it = names->find(k);
    if (it != names->end()) return it->second;
    UINT v = next++;
    (*names)[k] = v;
    return v;
}

BOOL WINAPI FlashWindow(HWND h, BOOL) { return IsWindow(h) ? FALSE : FALSE; }

} // extern "C"
