// The window manager's state: classes, windows and their tree, per-thread
// focus, and the helpers the other parts of the user layer share.
#pragma once

#include <windows.h>

#include "../gdi/gdi.h"
#include "../kernel/object.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winapi::user {

// Guards classes, windows, menus, carets and scroll bars. Never held while a
// window procedure runs; taken before the kernel's sync mutex, never after.
std::recursive_mutex &userMutex();
using UserLock = std::lock_guard<std::recursive_mutex>;

struct WndClass {
    std::string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0, wndExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr, iconSm = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::string menuName;
    ULONG_PTR menuId = 0; // MAKEINTRESOURCE menus
    std::vector<uint8_t> extra;
    bool system = false;
    int windows = 0;
};

struct ScrollBar {
    int min = 0, max = 100, page = 0, pos = 0, trackPos = 0;
    UINT disabledArrows = 0;
    bool tracking = false;
    int pressedPart = 0; // drawn pressed while the mouse holds it
};

struct Window {
    HWND handle = nullptr;
    DWORD tid = 0;
    std::shared_ptr<WndClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0, exStyle = 0;
    std::string text;
    Window *parent = nullptr;  // the desktop for top-level windows
    HWND owner = nullptr;
    std::vector<Window *> children; // stacking order, topmost first
    RECT rect{};    // window rectangle in the parent's client coordinates
    RECT client{};  // client rectangle, same coordinates
    UINT_PTR id = 0;
    HMENU menu = nullptr;
    HMENU sysMenu = nullptr;  // made by GetSystemMenu
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<uint8_t> extra;
    std::map<std::string, HANDLE> props;
    bool created = false;     // WM_NCCREATE went through
    bool destroying = false;
    bool dead = false;
    bool sizeMoveSent = false;
    bool minimized = false, maximized = false;
    // Painting.
    gdi::Region update;       // client coordinates
    bool erase = false;
    bool ncDirty = false;
    bool internalPaint = false;
    bool redrawOff = false;   // WM_SETREDRAW FALSE
    ScrollBar sb[2];          // SB_HORZ, SB_VERT
    gdi::FbPtr fb;            // top-level windows only
    bool isDesktop = false;
    bool messageOnly = false;
    bool dialog = false;      // marked by the dialog manager
    // The dialog manager's words (DWL_MSGRESULT, DWL_DLGPROC, DWL_USER) for
    // classes with DLGWINDOWEXTRA bytes, kept apart so that they hold
    // pointers on 64-bit hosts too.
    LONG_PTR dlgSlots[3] = {0, 0, 0};
};
using WindowPtr = std::shared_ptr<Window>;

// Look-ups; the locked variants need userMutex held.
Window *windowLocked(HWND h);
WindowPtr windowRef(HWND h);
Window *desktopLocked();
HWND desktopHandle();
bool isTopLevel(const Window *w);
Window *topLevelOf(Window *w);
// The window's rectangles in the coordinates of its top-level window's
// framebuffer (the top-level's window rectangle starts at 0, 0).
RECT windowRectInTop(const Window *w);
RECT clientRectInTop(const Window *w);
POINT clientOriginOnScreen(const Window *w);
RECT windowRectOnScreen(const Window *w);
bool visibleOnScreen(const Window *w); // it and every ancestor visible
bool isDescendant(const Window *ancestor, const Window *w);
std::vector<HWND> windowsOfThread(DWORD tid);
std::vector<DWORD> threadsWithWindows();
void bumpGeometry();
uint64_t g_geometryValue();

// Messages.
LRESULT sendMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp);
LRESULT callProc(WNDPROC proc, HWND h, UINT msg, WPARAM wp, LPARAM lp);
WNDPROC procFromToken(WNDPROC p);
LONG procToken(WNDPROC p);

// Per-thread window state: focus, active window, capture, menu mode.
struct ThreadState {
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    HWND menuOwner = nullptr; // while a menu is tracked
    bool altAlone = false;    // Alt went down and nothing else since
    HWND pendingActivate = nullptr; // SetForegroundWindow from another thread
};
ThreadState &threadStateLocked(DWORD tid);
HWND foregroundWindow();
void setForegroundLocked(HWND h);
void forgetWindowInThreadState(Window *w);

// Non-client geometry (defwnd.cpp).
RECT nonClientInsets(DWORD style, DWORD exStyle, bool hasMenu, bool topLevel, int menuHeight);
int menuBarHeight(Window *w);
LRESULT defNcHitTest(Window *w, POINT screen);
void paintNonClient(HWND h);
void drawScrollBars(HWND h, HDC hdc);
// Scroll-bar geometry in window coordinates (scrollbar.cpp).
bool scrollBarRect(const Window *w, int bar, RECT *r);
void trackScrollBar(HWND h, int bar, POINT screen);

// Painting (paint.cpp).
void invalidateLocked(Window *w, const RECT *clientRect, bool erase, bool children);
bool needsPaintLocked(const Window *w);
HWND findPaintWindow(DWORD tid, HWND filter);
void markNeedsPaintChanged(Window *w);
void invalidateNonClient(Window *w);
// The window, its frame and all its visible descendants (shown, resized).
void invalidateTreeLocked(Window *w);
// The area of a window that is visible in its top-level framebuffer.
gdi::Region visibleRegion(const Window *w, bool client);

// Input state (input.cpp).
void recordKeyMessage(const MSG &m);
void setPointer(POINT p);
POINT pointerPos();

// Caret (caret.cpp): drawn over the windows' pixels when they are shown.
void caretOverlay(HWND top, gdi::Framebuffer &fb, int offX, int offY);
void caretWindowGone(HWND h);

// Menus (menu.cpp).
void menuBarPaint(HWND h, HDC hdc, const RECT &barRect);
int menuBarHeightFor(HMENU menu, int width);
void trackMenuBar(HWND h, int startItem, bool byKeyboard, UINT ch);
void trackSystemMenu(HWND h); // the window menu, by Alt+Space or its icon
bool menuHasItems(HMENU m);
void destroyMenuOfWindow(HMENU m);

// Display (display.cpp).
void topLevelChanged(Window *top);
void damage(HWND top, const RECT &r);

// Text drawing of the window manager with the menu/caption fonts.
HFONT captionFont();
HFONT menuFont();

} // namespace winapi::user
