// Keyboard and mouse input: the injected input of the headless display,
// SendInput and its older forms, key states (the thread's, synchronised with
// the messages it takes, and the device's), TranslateMessage, and the final
// form of mouse messages (hit test, non-client messages, double clicks,
// mouse activation).
#include "window.h"

#include "message.h"

#include <winapi_ext.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace winapi::user {

HWND captureWindow();

namespace {

std::mutex g_inputMutex;
BYTE g_async[256];
DWORD g_grabTid = 0; // the thread that got the press of a held button
POINT g_pointer{0, 0};

struct ScanInfo {
    BYTE scan;
    bool extended;
};

ScanInfo scanOf(UINT vk) {
    static const BYTE letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                     0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (vk >= 'A' && vk <= 'Z') return {letters[vk - 'A'], false};
    if (vk >= '1' && vk <= '9') return {static_cast<BYTE>(0x02 + (vk - '1')), false};
    if (vk == '0') return {0x0B, false};
    if (vk >= VK_F1 && vk <= VK_F10) return {static_cast<BYTE>(0x3B + (vk - VK_F1)), false};
    switch (vk) {
    case VK_ESCAPE: return {0x01, false};
    case VK_OEM_MINUS: return {0x0C, false};
    case VK_OEM_PLUS: return {0x0D, false};
    case VK_BACK: return {0x0E, false};
    case VK_TAB: return {0x0F, false};
    case VK_OEM_4: return {0x1A, false};
    case VK_OEM_6: return {0x1B, false};
    case VK_RETURN: return {0x1C, false};
    case VK_CONTROL: case VK_LCONTROL: return {0x1D, false};
    case VK_RCONTROL: return {0x1D, true};
    case VK_OEM_1: return {0x27, false};
    case VK_OEM_7: return {0x28, false};
    case VK_OEM_3: return {0x29, false};
    case VK_SHIFT: case VK_LSHIFT: return {0x2A, false};
    case VK_OEM_5: return {0x2B, false};
    case VK_OEM_COMMA: return {0x33, false};
    case VK_OEM_PERIOD: return {0x34, false};
    case VK_OEM_2: return {0x35, false};
    case VK_RSHIFT: return {0x36, false};
    case VK_MULTIPLY: return {0x37, false};
    case VK_MENU: case VK_LMENU: return {0x38, false};
    case VK_RMENU: return {0x38, true};
    case VK_SPACE: return {0x39, false};
    case VK_CAPITAL: return {0x3A, false};
    case VK_NUMLOCK: return {0x45, true};
    case VK_SCROLL: return {0x46, false};
    case VK_HOME: return {0x47, true};
    case VK_UP: return {0x48, true};
    case VK_PRIOR: return {0x49, true};
    case VK_SUBTRACT: return {0x4A, false};
    case VK_LEFT: return {0x4B, true};
    case VK_CLEAR: return {0x4C, false};
    case VK_RIGHT: return {0x4D, true};
    case VK_ADD: return {0x4E, false};
    case VK_END: return {0x4F, true};
    case VK_DOWN: return {0x50, true};
    case VK_NEXT: return {0x51, true};
    case VK_INSERT: return {0x52, true};
    case VK_DELETE: return {0x53, true};
    case VK_F11: return {0x57, false};
    case VK_F12: return {0x58, false};
    case VK_DIVIDE: return {0x35, true};
    case VK_LWIN: return {0x5B, true};
    case VK_RWIN: return {0x5C, true};
    case VK_APPS: return {0x5D, true};
    case VK_NUMPAD7: return {0x47, false};
    case VK_NUMPAD8: return {0x48, false};
    case VK_NUMPAD9: return {0x49, false};
    case VK_NUMPAD4: return {0x4B, false};
    case VK_NUMPAD5: return {0x4C, false};
    case VK_NUMPAD6: return {0x4D, false};
    case VK_NUMPAD1: return {0x4F, false};
    case VK_NUMPAD2: return {0x50, false};
    case VK_NUMPAD3: return {0x51, false};
    case VK_NUMPAD0: return {0x52, false};
    case VK_DECIMAL: return {0x53, false};
    }
    return {0, false};
}

// Updates a key state table for a key going down or up: the generic
// modifier keys follow their left and right keys.
void setKey(BYTE *state, UINT vk, bool down, bool extended) {
    auto one = [&](UINT k) {
        if (down) {
            if (!(state[k] & 0x80)) state[k] ^= 0x01; // toggles on each press
            state[k] |= 0x80;
        } else {
            state[k] &= static_cast<BYTE>(~0x80);
        }
    };
    one(vk);
    switch (vk) {
    case VK_SHIFT: one(VK_LSHIFT); break;
    case VK_CONTROL: one(extended ? VK_RCONTROL : VK_LCONTROL); break;
    case VK_MENU: one(extended ? VK_RMENU : VK_LMENU); break;
    case VK_LSHIFT: case VK_RSHIFT: one(VK_SHIFT); break;
    case VK_LCONTROL: case VK_RCONTROL: one(VK_CONTROL); break;
    case VK_LMENU: case VK_RMENU: one(VK_MENU); break;
    }
}

UINT genericVk(UINT vk) {
    switch (vk) {
    case VK_LSHIFT: case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL: case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU: case VK_RMENU: return VK_MENU;
    }
    return vk;
}

// The character a US keyboard makes, or 0.
int charOf(UINT vk, const BYTE *ks) {
    bool shift = ks[VK_SHIFT] & 0x80, ctrl = ks[VK_CONTROL] & 0x80, alt = ks[VK_MENU] & 0x80;
    bool caps = ks[VK_CAPITAL] & 0x01;
    if (ctrl && alt) return 0;
    if (vk >= 'A' && vk <= 'Z') {
        if (ctrl) return static_cast<int>(vk - 'A' + 1);
        bool upper = shift != caps;
        return static_cast<int>(upper ? vk : vk + 32);
    }
    if (vk >= '0' && vk <= '9') {
        if (ctrl) return vk == '2' ? -1 : vk == '6' ? 0x1E : 0; // Ctrl+2 makes NUL
        static const char shifted[] = ")!@#$%^&*(";
        return shift ? shifted[vk - '0'] : static_cast<int>(vk);
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return ctrl ? 0 : static_cast<int>('0' + (vk - VK_NUMPAD0));
    struct Oem {
        UINT vk;
        char normal, shifted, control;
    };
    static const Oem oem[] = {
        {VK_OEM_1, ';', ':', 0},     {VK_OEM_PLUS, '=', '+', 0},   {VK_OEM_COMMA, ',', '<', 0},
        {VK_OEM_MINUS, '-', '_', 0x1F}, {VK_OEM_PERIOD, '.', '>', 0}, {VK_OEM_2, '/', '?', 0},
        {VK_OEM_3, '`', '~', 0},     {VK_OEM_4, '[', '{', 0x1B},   {VK_OEM_5, '\\', '|', 0x1C},
        {VK_OEM_6, ']', '}', 0x1D},  {VK_OEM_7, '\'', '"', 0},
    };
    for (const Oem &o : oem)
        if (o.vk == vk) return ctrl ? o.control : (shift ? o.shifted : o.normal);
    switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return ctrl ? '\n' : '\r';
    case VK_BACK: return ctrl ? 0x7F : 8;
    case VK_TAB: return ctrl ? 0 : 9;
    case VK_ESCAPE: return 27;
    case VK_CANCEL: return ctrl ? 3 : 0;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    }
    return 0;
}

DWORD targetThread(HWND hwnd) {
    if (hwnd) return windowThreadId(hwnd);
    HWND fg = foregroundWindow();
    return fg ? windowThreadId(fg) : 0;
}

BOOL injectKey(HWND hwnd, UINT vk, UINT scan, DWORD flags) {
    if (vk == 0 || vk > 0xFE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool up = (flags & KEYEVENTF_KEYUP) != 0;
    ScanInfo si = scanOf(vk);
    if (!scan) scan = si.scan;
    bool ext = (flags & KEYEVENTF_EXTENDEDKEY) != 0;
    bool wasDown, altBefore, altNow, ctrl;
    {
        std::lock_guard<std::mutex> lk(g_inputMutex);
        wasDown = g_async[vk] & 0x80;
        altBefore = g_async[VK_MENU] & 0x80;
        setKey(g_async, vk, !up, ext);
        altNow = g_async[VK_MENU] & 0x80;
        ctrl = g_async[VK_CONTROL] & 0x80;
    }
    DWORD tid = targetThread(hwnd);
    if (!tid) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HWND target;
    bool sys;
    {
        UserLock lk(userMutex());
        ThreadState &ts = threadStateLocked(tid);
        target = ts.focus;
        bool alt = up ? altBefore : altNow;
        sys = (alt && !ctrl) || genericVk(vk) == VK_F10 || (genericVk(vk) == VK_MENU);
        if (!target) {
            // With no focus, keys go to the active window as system keys.
            target = ts.active;
            sys = true;
        }
    }
    if (!target) return FALSE;
    InputMessage in;
    in.cooked = true;
    in.m.hwnd = target;
    in.m.message = up ? (sys ? WM_SYSKEYUP : WM_KEYUP) : (sys ? WM_SYSKEYDOWN : WM_KEYDOWN);
    in.m.wParam = vk;
    DWORD lp = 1 | ((scan & 0xFF) << 16) | (ext ? (1u << 24) : 0);
    if ((up ? altBefore : altNow) && sys && !(genericVk(vk) == VK_F10 && !(up ? altBefore : altNow))) lp |= 1u << 29;
    if (up || wasDown) lp |= 1u << 30;
    if (up) lp |= 1u << 31;
    in.m.lParam = static_cast<LPARAM>(lp);
    in.m.time = GetTickCount();
    in.m.pt = pointerPos();
    return queueInput(tid, in, QS_KEY) ? TRUE : FALSE;
}

// The window that gets a mouse message at a screen point: the capture, or
// the deepest visible enabled window there. Null when the point is on a
// disabled top-level window or on no window.
HWND mouseTarget(POINT pt) {
    HWND cap = captureWindow();
    if (cap) return cap;
    UserLock lk(userMutex());
    Window *w = desktopLocked();
    for (;;) {
        Window *hit = nullptr;
        POINT o = clientOriginOnScreen(w);
        if (!w->isDesktop) {
            RECT cl = gdi::rectOffset(w->client, o.x - w->client.left + 0, o.y - w->client.top + 0);
            (void)cl;
            RECT clientScreen{o.x, o.y, o.x + (w->client.right - w->client.left), o.y + (w->client.bottom - w->client.top)};
            if (!gdi::rectContains(clientScreen, pt.x, pt.y)) break;
        }
        for (Window *c : w->children) {
            if (!(c->style & WS_VISIBLE) || c->messageOnly) continue;
            if (gdi::rectContains(c->rect, pt.x - o.x, pt.y - o.y)) {
                hit = c;
                break;
            }
        }
        if (!hit) break;
        if (hit->style & WS_DISABLED) {
            if (w->isDesktop) return nullptr;
            break;
        }
        w = hit;
    }
    return w->isDesktop ? nullptr : w->handle;
}

UINT buttonMessage(UINT button, bool down) {
    static const UINT downs[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static const UINT ups[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    return down ? downs[button] : ups[button];
}

BOOL injectMouse(POINT pt, bool move, UINT button, bool down) {
    static const UINT vks[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    UINT keys = 0;
    HWND target = mouseTarget(pt);
    DWORD tid = target ? windowThreadId(target) : 0;
    {
        // The buttons and modifiers as they are now go with the message.
        std::lock_guard<std::mutex> lk(g_inputMutex);
        g_pointer = pt;
        bool held = (g_async[VK_LBUTTON] | g_async[VK_RBUTTON] | g_async[VK_MBUTTON]) & 0x80;
        if (!move) setKey(g_async, vks[button], down, false);
        if (g_async[VK_LBUTTON] & 0x80) keys |= MK_LBUTTON;
        if (g_async[VK_RBUTTON] & 0x80) keys |= MK_RBUTTON;
        if (g_async[VK_MBUTTON] & 0x80) keys |= MK_MBUTTON;
        if (g_async[VK_SHIFT] & 0x80) keys |= MK_SHIFT;
        if (g_async[VK_CONTROL] & 0x80) keys |= MK_CONTROL;
        // While a button is held, the mouse stays with the thread that got
        // the press: it may not have taken the capture yet when the next
        // input is given, and then finds its own window (or its capture)
        // for it.
        if (held && g_grabTid && tid != g_grabTid) {
            tid = g_grabTid;
            target = nullptr;
        }
        if (!move && down && !held) g_grabTid = tid;
        if (!(keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) g_grabTid = 0;
    }
    if (!tid) {
        if (!move && down) MessageBeep(0);
        return move ? TRUE : FALSE;
    }
    InputMessage in;
    in.m.hwnd = target;
    in.m.message = move ? WM_MOUSEMOVE : buttonMessage(button, down);
    in.m.pt = pt;
    in.m.wParam = keys;
    in.m.time = GetTickCount();
    in.move = move;
    in.button = button;
    in.down = down;
    return queueInput(tid, in, move ? QS_MOUSEMOVE : QS_MOUSEBUTTON) ? TRUE : FALSE;
}

POINT toScreen(HWND hwnd, int x, int y) {
    POINT p{x, y};
    if (hwnd) ClientToScreen(hwnd, &p);
    return p;
}

} // namespace

void setPointer(POINT p) {
    std::lock_guard<std::mutex> lk(g_inputMutex);
    g_pointer = p;
}

POINT pointerPos() {
    std::lock_guard<std::mutex> lk(g_inputMutex);
    return g_pointer;
}

namespace {
// The deepest visible, enabled window at a screen point among the siblings
// below h (of h's thread), or null.
HWND windowBelow(HWND h, POINT pt) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || !w->parent || w->parent->isDesktop) return nullptr;
    auto &sib = w->parent->children;
    auto it = std::find(sib.begin(), sib.end(), w);
    if (it == sib.end()) return nullptr;
    POINT o = clientOriginOnScreen(w->parent);
    for (++it; it != sib.end(); ++it) {
        Window *c = *it;
        if (!(c->style & WS_VISIBLE) || (c->style & WS_DISABLED) || c->tid != w->tid) continue;
        if (!gdi::rectContains(c->rect, pt.x - o.x, pt.y - o.y)) continue;
        for (;;) {
            POINT co = clientOriginOnScreen(c);
            Window *hit = nullptr;
            for (Window *k : c->children)
                if ((k->style & WS_VISIBLE) && gdi::rectContains(k->rect, pt.x - co.x, pt.y - co.y)) {
                    hit = k;
                    break;
                }
            if (!hit || (hit->style & WS_DISABLED)) break;
            c = hit;
        }
        return c->handle;
    }
    return nullptr;
}
} // namespace

bool cookMouse(InputMessage &in) {
    // The capture as it is now decides; without one, the window found when
    // the input was given.
    HWND cap = GetCapture();
    HWND target = cap ? cap : in.m.hwnd;
    if (!target || !IsWindow(target)) return false;
    POINT pt = in.m.pt;
    bool captured = cap == target;
    LRESULT hit = HTCLIENT;
    if (!captured) {
        for (int guard = 0; guard < 32; guard++) {
            hit = SendMessageA(target, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
            if (hit != HTTRANSPARENT) break;
            // A transparent window (a group box) hands the point to the
            // windows of its thread beneath it, then to its parent.
            if (HWND below = windowBelow(target, pt)) {
                target = below;
                continue;
            }
            HWND parent = GetParent(target);
            if (!parent || !(GetWindowLongA(target, GWL_STYLE) & WS_CHILD)) break;
            target = parent;
        }
        if (hit == HTTRANSPARENT) hit = HTCLIENT;
    }
    in.m.hwnd = target;
    UINT keys = static_cast<UINT>(in.m.wParam);
    UINT msg = in.move ? WM_MOUSEMOVE : buttonMessage(in.button, in.down);
    bool client = hit == HTCLIENT;
    if (!in.move && in.down) {
        // Double clicks: the second press of the same button, soon, near,
        // on the same window and part of it.
        MessageQueue *q = currentQueue();
        bool dbl;
        // Asked before the queue's lock: the window manager's lock comes first.
        bool classDbl = (GetClassLongA(target, GCL_STYLE) & CS_DBLCLKS) != 0;
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            dbl = !q->lastWasDouble && q->lastClickHwnd == target && q->lastClickButton == in.button &&
                  in.m.time - q->lastClickTime <= GetDoubleClickTime() &&
                  std::abs(pt.x - q->lastClickPt.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 + 1 &&
                  std::abs(pt.y - q->lastClickPt.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2 + 1;
            if (dbl && client && !classDbl) dbl = false;
            q->lastClickHwnd = target;
            q->lastClickButton = in.button;
            q->lastClickTime = in.m.time;
            q->lastClickPt = pt;
            q->lastWasDouble = dbl;
        }
        if (dbl) msg += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
        // Mouse activation of an inactive top-level window.
        HWND top = GetAncestor(target, GA_ROOT);
        if (top && GetActiveWindow() != top) {
            LRESULT ma = SendMessageA(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(hit, msg));
            if (ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT || ma == 0) SetActiveWindow(top);
            if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) return false;
        }
    }
    if (client) {
        POINT c = pt;
        ScreenToClient(target, &c);
        in.m.message = msg;
        in.m.wParam = keys;
        in.m.lParam = MAKELPARAM(c.x, c.y);
    } else {
        in.m.message = msg - (WM_MOUSEMOVE - WM_NCMOUSEMOVE);
        in.m.wParam = static_cast<WPARAM>(hit);
        in.m.lParam = MAKELPARAM(pt.x, pt.y);
    }
    return true;
}

void inputRemoved(const MSG &m) {
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    bool ext = (m.lParam >> 24) & 1;
    switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        setKey(q->keyState, static_cast<UINT>(m.wParam), true, ext);
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        setKey(q->keyState, static_cast<UINT>(m.wParam), false, ext);
        break;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_NCLBUTTONDOWN: case WM_NCLBUTTONDBLCLK:
        setKey(q->keyState, VK_LBUTTON, true, false);
        break;
    case WM_LBUTTONUP: case WM_NCLBUTTONUP:
        setKey(q->keyState, VK_LBUTTON, false, false);
        break;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: case WM_NCRBUTTONDOWN: case WM_NCRBUTTONDBLCLK:
        setKey(q->keyState, VK_RBUTTON, true, false);
        break;
    case WM_RBUTTONUP: case WM_NCRBUTTONUP:
        setKey(q->keyState, VK_RBUTTON, false, false);
        break;
    }
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

SHORT WINAPI GetKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    BYTE s = q->keyState[vk];
    return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    std::lock_guard<std::mutex> lk(g_inputMutex);
    return static_cast<SHORT>((g_async[vk] & 0x80) ? 0x8000 : 0);
}

BOOL WINAPI GetKeyboardState(PBYTE out) {
    if (!out) return FALSE;
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    std::memcpy(out, q->keyState, 256);
    return TRUE;
}

int WINAPI ToAscii(UINT vk, UINT, const BYTE *ks, LPWORD out, UINT) {
    if (!ks || !out) return 0;
    int c = charOf(vk, ks);
    if (c == 0) return 0;
    *out = static_cast<WORD>(c < 0 ? 0 : c);
    return 1;
}

UINT WINAPI MapVirtualKeyA(UINT code, UINT type) {
    switch (type) {
    case MAPVK_VK_TO_VSC: return scanOf(code).scan;
    case MAPVK_VSC_TO_VK:
        for (UINT vk = 1; vk < 256; vk++)
            if (scanOf(vk).scan == code && !scanOf(vk).extended && genericVk(vk) == vk) return vk;
        return 0;
    case MAPVK_VK_TO_CHAR: {
        BYTE ks[256] = {};
        int c = charOf(code, ks);
        return c > 0 ? static_cast<UINT>(c >= 'a' && c <= 'z' ? c - 32 : c) : 0;
    }
    }
    return 0;
}

SHORT WINAPI VkKeyScanA(CHAR ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    BYTE ks[256] = {};
    for (int shift = 0; shift < 3; shift++) {
        std::memset(ks, 0, sizeof ks);
        if (shift == 1) ks[VK_SHIFT] = 0x80;
        if (shift == 2) ks[VK_CONTROL] = 0x80;
        for (UINT vk = 8; vk < 0xE0; vk++) {
            if (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE) continue; // the main keyboard's keys first
            if (vk == VK_CANCEL) continue;
            int r = charOf(vk, ks);
            if (r == c && r != 0) return static_cast<SHORT>(vk | (shift == 1 ? 0x100 : shift == 2 ? 0x200 : 0));
        }
    }
    return -1;
}

BOOL WINAPI TranslateMessage(const MSG *m) {
    if (!m) return FALSE;
    if (m->message != WM_KEYDOWN && m->message != WM_SYSKEYDOWN) {
        return m->message == WM_KEYUP || m->message == WM_SYSKEYUP ? TRUE : FALSE;
    }
    MessageQueue *q = currentQueue();
    BYTE ks[256];
    {
        std::lock_guard<std::mutex> lk(syncMutex());
        std::memcpy(ks, q->keyState, sizeof ks);
    }
    // Alt combinations make WM_SYSCHAR with the plain character.
    bool sys = m->message == WM_SYSKEYDOWN;
    if (sys) ks[VK_MENU] = 0;
    int c = charOf(static_cast<UINT>(m->wParam), ks);
    if (c == 0) return TRUE;
    MSG out = *m;
    out.message = sys ? WM_SYSCHAR : WM_CHAR;
    out.wParam = static_cast<WPARAM>(c < 0 ? 0 : c);
    std::lock_guard<std::mutex> lk(syncMutex());
    q->postLocked(out, true);
    return TRUE;
}

BOOL WINAPI WapiSendKeyEx(HWND hwnd, UINT vk, UINT scan, DWORD flags) { return injectKey(hwnd, vk, scan, flags); }

BOOL WINAPI WapiSendKey(HWND hwnd, UINT vk, BOOL down) {
    if (vk == 0 || vk > 0xFE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD flags = down ? 0 : KEYEVENTF_KEYUP;
    if (scanOf(vk).extended) flags |= KEYEVENTF_EXTENDEDKEY;
    return injectKey(hwnd, vk, 0, flags);
}

BOOL WINAPI WapiTypeText(HWND hwnd, LPCSTR text) {
    if (!text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL ok = TRUE;
    for (const char *p = text; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        UINT vk;
        bool shift = false, ctrl = false;
        if (c == '\n' || c == '\r') vk = VK_RETURN;
        else if (c == '\t') vk = VK_TAB;
        else if (c == '\b') vk = VK_BACK;
        else if (c == 0x1B) vk = VK_ESCAPE;
        else if (c >= 1 && c <= 26) {
            vk = 'A' + c - 1;
            ctrl = true;
        } else {
            SHORT s = VkKeyScanA(static_cast<CHAR>(c));
            if (s == -1) continue;
            vk = LOBYTE(s);
            shift = (HIBYTE(s) & 1) != 0;
            ctrl = (HIBYTE(s) & 2) != 0;
        }
        if (shift) ok &= WapiSendKey(hwnd, VK_SHIFT, TRUE);
        if (ctrl) ok &= WapiSendKey(hwnd, VK_CONTROL, TRUE);
        ok &= WapiSendKey(hwnd, vk, TRUE);
        ok &= WapiSendKey(hwnd, vk, FALSE);
        if (ctrl) ok &= WapiSendKey(hwnd, VK_CONTROL, FALSE);
        if (shift) ok &= WapiSendKey(hwnd, VK_SHIFT, FALSE);
    }
    return ok;
}

BOOL WINAPI WapiMouseButton(HWND hwnd, int x, int y, UINT button, BOOL down) {
    if (button > 2 || (hwnd && !IsWindow(hwnd))) {
        SetLastError(hwnd && !IsWindow(hwnd) ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    POINT p = toScreen(hwnd, x, y);
    POINT old = pointerPos();
    if (old.x != p.x || old.y != p.y) injectMouse(p, true, 0, false);
    return injectMouse(p, false, button, down != 0);
}

BOOL WINAPI WapiMouseMove(HWND hwnd, int x, int y) {
    if (hwnd && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return injectMouse(toScreen(hwnd, x, y), true, 0, false);
}

BOOL WINAPI WapiClick(HWND hwnd, int x, int y) {
    return WapiMouseButton(hwnd, x, y, 0, TRUE) && WapiMouseButton(hwnd, x, y, 0, FALSE);
}

UINT WINAPI SendInput(UINT n, LPINPUT in, int size) {
    if (!in || size != static_cast<int>(sizeof(INPUT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UINT done = 0;
    for (UINT i = 0; i < n; i++) {
        const INPUT &e = in[i];
        if (e.type == INPUT_KEYBOARD) {
            UINT vk = e.ki.wVk;
            if ((e.ki.dwFlags & KEYEVENTF_SCANCODE) && !vk) vk = MapVirtualKeyA(e.ki.wScan, MAPVK_VSC_TO_VK);
            if (!injectKey(nullptr, vk, e.ki.wScan, e.ki.dwFlags)) break;
        } else if (e.type == INPUT_MOUSE) {
            POINT p = pointerPos();
            if (e.mi.dwFlags & MOUSEEVENTF_MOVE) {
                if (e.mi.dwFlags & MOUSEEVENTF_ABSOLUTE) {
                    p.x = static_cast<LONG>(static_cast<int64_t>(e.mi.dx) * GetSystemMetrics(SM_CXSCREEN) / 65536);
                    p.y = static_cast<LONG>(static_cast<int64_t>(e.mi.dy) * GetSystemMetrics(SM_CYSCREEN) / 65536);
                } else {
                    p.x += e.mi.dx;
                    p.y += e.mi.dy;
                }
                injectMouse(p, true, 0, false);
            }
            static const DWORD bits[6] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTDOWN,
                                          MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP};
            for (int k = 0; k < 6; k++)
                if (e.mi.dwFlags & bits[k]) injectMouse(p, false, static_cast<UINT>(k / 2), (k % 2) == 0);
        } else {
            break;
        }
        done++;
    }
    return done;
}

void WINAPI keybd_event(BYTE vk, BYTE scan, DWORD flags, ULONG_PTR) { injectKey(nullptr, vk, scan, flags); }

void WINAPI mouse_event(DWORD flags, DWORD dx, DWORD dy, DWORD data, ULONG_PTR extra) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>(dx);
    in.mi.dy = static_cast<LONG>(dy);
    in.mi.mouseData = data;
    in.mi.dwFlags = flags;
    in.mi.dwExtraInfo = extra;
    SendInput(1, &in, sizeof in);
}

BOOL WINAPI GetCursorPos(LPPOINT p) {
    if (!p) return FALSE;
    *p = pointerPos();
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
    injectMouse(POINT{x, y}, true, 0, false);
    return TRUE;
}

} // extern "C"
