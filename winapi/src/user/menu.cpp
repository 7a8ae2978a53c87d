// Menus: menu objects and their items, in-memory templates, the menu bar
// drawn in the non-client area, drop-down and pop-up menus as windows of
// their own, and the modal tracking loop for the mouse and the keyboard
// (Alt, F10, mnemonics with &, WM_MENUCHAR, arrows, Enter, Esc).
// Accelerator tables are here too.
#include "window.h"

#include "message.h"

#include <cstring>
#include <functional>
#include <unordered_map>

namespace winapi::user {

namespace {

struct MenuItem {
    UINT type = MFT_STRING; // MFT_ bits
    UINT state = 0;         // MFS_ bits
    UINT id = 0;
    HMENU sub = nullptr;
    std::string text;
    ULONG_PTR data = 0;
    HBITMAP bitmap = nullptr;
};

struct Menu {
    HMENU handle = nullptr;
    bool popup = false;
    std::vector<MenuItem> items;
    std::vector<RECT> rects; // layout: bar items in bar coordinates, popup items in the popup's client area
    int width = 0, height = 0;
    HWND window = nullptr; // the popup window while shown
};

std::unordered_map<uintptr_t, std::shared_ptr<Menu>> &menus() {
    static auto *m = new std::unordered_map<uintptr_t, std::shared_ptr<Menu>>;
    return *m;
}
uintptr_t g_nextMenu = 0x00B00010;

Menu *menuLocked(HMENU h) {
    auto it = menus().find(reinterpret_cast<uintptr_t>(h));
    return it == menus().end() ? nullptr : it->second.get();
}

HMENU newMenu(bool popup) {
    UserLock lk(userMutex());
    auto m = std::make_shared<Menu>();
    m->popup = popup;
    m->handle = reinterpret_cast<HMENU>(g_nextMenu);
    g_nextMenu += 4;
    menus()[reinterpret_cast<uintptr_t>(m->handle)] = m;
    return m->handle;
}

// Finds an item by command (searching submenus) or by position.
bool findItem(HMENU h, UINT which, UINT flags, Menu **outMenu, int *outIndex) {
    Menu *m = menuLocked(h);
    if (!m) return false;
    if (flags & MF_BYPOSITION) {
        if (which >= m->items.size()) return false;
        *outMenu = m;
        *outIndex = static_cast<int>(which);
        return true;
    }
    for (size_t i = 0; i < m->items.size(); i++) {
        MenuItem &it = m->items[i];
        if (it.sub) {
            if (findItem(it.sub, which, flags, outMenu, outIndex)) return true;
            // A popup item matches its submenu handle as a command too.
            if (reinterpret_cast<UINT_PTR>(it.sub) == which) {
                *outMenu = m;
                *outIndex = static_cast<int>(i);
                return true;
            }
        } else if (it.id == which && !(it.type & MFT_SEPARATOR)) {
            *outMenu = m;
            *outIndex = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

MenuItem itemFromFlags(UINT flags, UINT_PTR idOrSub, LPCSTR text) {
    MenuItem it;
    if (flags & MF_POPUP) it.sub = reinterpret_cast<HMENU>(idOrSub);
    else it.id = static_cast<UINT>(idOrSub);
    it.type = flags & (MFT_BITMAP | MFT_MENUBARBREAK | MFT_MENUBREAK | MFT_OWNERDRAW | MFT_RADIOCHECK | MFT_SEPARATOR |
                       MFT_RIGHTJUSTIFY);
    it.state = flags & (MFS_GRAYED | MFS_CHECKED | MFS_HILITE | MFS_DEFAULT);
    if (flags & MF_BITMAP) it.bitmap = reinterpret_cast<HBITMAP>(const_cast<char *>(text));
    else if ((flags & (MF_SEPARATOR | MF_OWNERDRAW)) == 0 && text) it.text = text;
    if (flags & MF_OWNERDRAW) it.data = reinterpret_cast<ULONG_PTR>(text);
    return it;
}

char mnemonicOf(const std::string &s) {
    for (size_t i = 0; i + 1 < s.size(); i++) {
        if (s[i] != '&') continue;
        if (s[i + 1] == '&') {
            i++;
            continue;
        }
        char c = s[i + 1];
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    return 0;
}

std::string labelOf(const std::string &s) {
    size_t tab = s.find('\t');
    return tab == std::string::npos ? s : s.substr(0, tab);
}
std::string accelOf(const std::string &s) {
    size_t tab = s.find('\t');
    return tab == std::string::npos ? std::string() : s.substr(tab + 1);
}

int textWidth(HDC hdc, const std::string &s) {
    std::string plain;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '&' && i + 1 < s.size()) {
            i++;
        }
        plain += s[i];
    }
    SIZE sz{0, 0};
    GetTextExtentPoint32A(hdc, plain.data(), static_cast<int>(plain.size()), &sz);
    return sz.cx;
}

constexpr int kBarRow = 19;
constexpr int kPopupItem = 17, kPopupSeparator = 9, kPopupBorder = 3, kCheckArea = 18, kArrowArea = 16;

// Lays the bar out for a width: items left to right, wrapping to rows.
int layoutBarLocked(Menu *m, int width) {
    HDC hdc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(hdc, menuFont());
    m->rects.assign(m->items.size(), RECT{0, 0, 0, 0});
    int x = 0, y = 0;
    for (size_t i = 0; i < m->items.size(); i++) {
        int w = textWidth(hdc, labelOf(m->items[i].text)) + 12;
        if (x > 0 && x + w > width) {
            x = 0;
            y += kBarRow;
        }
        m->rects[i] = RECT{x, y, x + w, y + kBarRow};
        x += w;
    }
    SelectObject(hdc, old);
    ReleaseDC(nullptr, hdc);
    m->height = m->items.empty() ? kBarRow : y + kBarRow;
    m->width = width;
    return m->height;
}

void layoutPopupLocked(Menu *m) {
    HDC hdc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(hdc, menuFont());
    int labelW = 0, accelW = 0, y = kPopupBorder;
    m->rects.assign(m->items.size(), RECT{0, 0, 0, 0});
    for (size_t i = 0; i < m->items.size(); i++) {
        const MenuItem &it = m->items[i];
        int h = (it.type & MFT_SEPARATOR) ? kPopupSeparator : kPopupItem;
        labelW = std::max(labelW, textWidth(hdc, labelOf(it.text)));
        accelW = std::max(accelW, textWidth(hdc, accelOf(it.text)));
        m->rects[i] = RECT{kPopupBorder, y, 0, y + h};
        y += h;
    }
    int inner = kCheckArea + labelW + (accelW ? accelW + 16 : 0) + kArrowArea;
    inner = std::max(inner, 60);
    for (RECT &r : m->rects) r.right = kPopupBorder + inner;
    m->width = inner + 2 * kPopupBorder;
    m->height = y + kPopupBorder;
    SelectObject(hdc, old);
    ReleaseDC(nullptr, hdc);
}

// Drawing a label with its mnemonic underlined; grayed labels are embossed.
void drawLabel(HDC hdc, const std::string &text, RECT r, UINT align, bool grayed, bool selected) {
    SetBkMode(hdc, TRANSPARENT);
    UINT fmt = align | DT_SINGLELINE | DT_VCENTER;
    if (grayed && !selected) {
        RECT s = r;
        OffsetRect(&s, 1, 1);
        SetTextColor(hdc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextA(hdc, text.c_str(), -1, &s, fmt);
        SetTextColor(hdc, GetSysColor(COLOR_3DSHADOW));
    } else if (grayed) {
        SetTextColor(hdc, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(hdc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    }
    DrawTextA(hdc, text.c_str(), -1, &r, fmt);
}

// ---- tracking --------------------------------------------------------------

struct Level {
    HMENU menu = nullptr;
    HWND window = nullptr;
    int sel = -1;
};

struct Tracker {
    HWND owner = nullptr;
    HMENU bar = nullptr;
    int barSel = -1;
    bool barOpen = false; // the selected bar item's drop-down is shown
    std::vector<Level> levels;
    UINT command = 0;
    bool done = false;
    bool returnCmd = false;
    bool notify = true;
    bool keyboard = false;
};

thread_local Tracker *t_tracker = nullptr;
bool g_popupClassReady = false;

LRESULT CALLBACK popupProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

void ensurePopupClass() {
    if (g_popupClassReady) return;
    WNDCLASSA wc{};
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = popupProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_MENU + 1));
    wc.lpszClassName = "#32768";
    RegisterClassA(&wc);
    g_popupClassReady = true;
}

int selectionOf(HMENU menu) {
    if (!t_tracker) return -1;
    for (const Level &l : t_tracker->levels)
        if (l.menu == menu) return l.sel;
    return -1;
}

void paintPopup(HWND h, HDC hdc) {
    HMENU hm = reinterpret_cast<HMENU>(GetWindowLongPtrA(h, 0));
    std::shared_ptr<Menu> m;
    {
        UserLock lk(userMutex());
        auto it = menus().find(reinterpret_cast<uintptr_t>(hm));
        if (it == menus().end()) return;
        m = std::make_shared<Menu>(*it->second); // drawn from a copy
    }
    RECT r;
    GetClientRect(h, &r);
    DrawEdge(hdc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    FillRect(hdc, &r, GetSysColorBrush(COLOR_MENU));
    HGDIOBJ oldFont = SelectObject(hdc, menuFont());
    int sel = selectionOf(hm);
    for (size_t i = 0; i < m->items.size() && i < m->rects.size(); i++) {
        const MenuItem &it = m->items[i];
        RECT ir = m->rects[i];
        if (it.type & MFT_SEPARATOR) {
            RECT line{ir.left + 1, ir.top + 3, ir.right - 1, ir.top + 5};
            DrawEdge(hdc, &line, EDGE_ETCHED, BF_TOP);
            continue;
        }
        bool selected = static_cast<int>(i) == sel;
        bool grayed = (it.state & MFS_GRAYED) != 0;
        if (selected) FillRect(hdc, &ir, GetSysColorBrush(COLOR_HIGHLIGHT));
        if (it.state & MFS_CHECKED) {
            RECT cr{ir.left, ir.top, ir.left + kCheckArea, ir.bottom};
            SetTextColor(hdc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : grayed ? COLOR_GRAYTEXT : COLOR_MENUTEXT));
            DrawFrameControl(hdc, &cr, DFC_MENU, (it.type & MFT_RADIOCHECK) ? DFCS_MENUBULLET : DFCS_MENUCHECK);
        }
        RECT tr{ir.left + kCheckArea, ir.top, ir.right - kArrowArea, ir.bottom};
        drawLabel(hdc, labelOf(it.text), tr, DT_LEFT, grayed, selected);
        std::string acc = accelOf(it.text);
        if (!acc.empty()) drawLabel(hdc, acc, tr, DT_RIGHT | DT_NOPREFIX, grayed, selected);
        if (it.sub) {
            RECT ar{ir.right - kArrowArea, ir.top, ir.right, ir.bottom};
            SetTextColor(hdc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
            DrawFrameControl(hdc, &ar, DFC_MENU, DFCS_MENUARROW);
        }
    }
    SelectObject(hdc, oldFont);
}

LRESULT CALLBACK popupProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(h, &ps);
        paintPopup(h, hdc);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

void redrawBar(HWND owner) {
    RECT wr;
    GetWindowRect(owner, &wr);
    RECT bar{};
    HMENU hm;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(owner);
        if (!w || !w->menu || !visibleOnScreen(w)) return;
        hm = w->menu;
        int f = 0;
        RECT in = nonClientInsets(w->style & ~(WS_VSCROLL | WS_HSCROLL), w->exStyle & ~(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE), false, true, 0);
        f = in.left;
        int top = in.top;
        bar = RECT{f, top, (w->rect.right - w->rect.left) - f, top + menuBarHeight(w)};
    }
    (void)hm;
    HDC hdc = GetWindowDC(owner);
    menuBarPaint(owner, hdc, bar);
    ReleaseDC(owner, hdc);
}

void sendSelect(Tracker &t, HMENU menu, int index) {
    if (!t.notify) return;
    UINT id = 0, flags = 0;
    {
        UserLock lk(userMutex());
        Menu *m = menuLocked(menu);
        if (!m || index < 0 || index >= static_cast<int>(m->items.size())) {
            id = 0;
            flags = 0xFFFF;
            menu = nullptr;
        } else {
            const MenuItem &it = m->items[static_cast<size_t>(index)];
            id = it.sub ? static_cast<UINT>(index) : it.id;
            flags = (it.sub ? MF_POPUP : 0) | (it.state & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE)) |
                    (t.keyboard ? 0 : MF_MOUSESELECT);
        }
    }
    SendMessageA(t.owner, WM_MENUSELECT, MAKEWPARAM(id, flags), reinterpret_cast<LPARAM>(menu));
}

void closeLevelsFrom(Tracker &t, size_t from) {
    while (t.levels.size() > from) {
        Level l = t.levels.back();
        t.levels.pop_back();
        if (l.window) DestroyWindow(l.window);
        if (t.notify) SendMessageA(t.owner, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(l.menu), 0);
        UserLock lk(userMutex());
        if (Menu *m = menuLocked(l.menu)) m->window = nullptr;
    }
}

// Shows a popup menu with its top-left corner at a screen point.
bool openPopup(Tracker &t, HMENU menu, POINT at, int indexInParent, bool selectFirst) {
    if (t.notify)
        SendMessageA(t.owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(indexInParent, FALSE));
    int w, h;
    {
        UserLock lk(userMutex());
        Menu *m = menuLocked(menu);
        if (!m || m->items.empty()) return false;
        layoutPopupLocked(m);
        w = m->width;
        h = m->height;
    }
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    if (at.x + w > sw) at.x = std::max(0, sw - w);
    if (at.y + h > sh) at.y = std::max(0, sh - h);
    ensurePopupClass();
    HWND win = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "#32768", "", WS_POPUP, at.x, at.y, w, h, t.owner,
                               nullptr, nullptr, nullptr);
    if (!win) return false;
    SetWindowLongPtrA(win, 0, reinterpret_cast<LONG_PTR>(menu));
    {
        UserLock lk(userMutex());
        if (Menu *m = menuLocked(menu)) m->window = win;
    }
    Level l;
    l.menu = menu;
    l.window = win;
    l.sel = -1;
    if (selectFirst) {
        UserLock lk(userMutex());
        Menu *m = menuLocked(menu);
        for (size_t i = 0; m && i < m->items.size(); i++)
            if (!(m->items[i].type & MFT_SEPARATOR)) {
                l.sel = static_cast<int>(i);
                break;
            }
    }
    t.levels.push_back(l);
    ShowWindow(win, SW_SHOWNOACTIVATE);
    UpdateWindow(win);
    if (l.sel >= 0) sendSelect(t, menu, l.sel);
    return true;
}

RECT barItemOnScreen(HWND owner, int index) {
    RECT r{0, 0, 0, 0};
    GetMenuItemRect(owner, GetMenu(owner), static_cast<UINT>(index), &r);
    return r;
}

void openBarItem(Tracker &t, int index, bool selectFirst) {
    closeLevelsFrom(t, 0);
    t.barSel = index;
    t.barOpen = false;
    HMENU sub = nullptr;
    {
        UserLock lk(userMutex());
        Menu *m = menuLocked(t.bar);
        if (m && index >= 0 && index < static_cast<int>(m->items.size())) sub = m->items[static_cast<size_t>(index)].sub;
    }
    sendSelect(t, t.bar, index);
    if (sub) {
        RECT r = barItemOnScreen(t.owner, index);
        t.barOpen = openPopup(t, sub, POINT{r.left, r.bottom}, index, selectFirst);
    }
    redrawBar(t.owner);
}

void setSelection(Tracker &t, size_t level, int sel) {
    if (level >= t.levels.size()) return;
    Level &l = t.levels[level];
    if (l.sel == sel) return;
    closeLevelsFrom(t, level + 1);
    l.sel = sel;
    InvalidateRect(l.window, nullptr, FALSE);
    UpdateWindow(l.window);
    sendSelect(t, l.menu, sel);
}

// Runs the chosen item of the deepest level: a submenu opens, a command ends
// the loop.
void activate(Tracker &t, size_t level, int index, bool byKeyboard) {
    if (level >= t.levels.size()) return;
    MenuItem it;
    RECT ir;
    {
        UserLock lk(userMutex());
        Menu *m = menuLocked(t.levels[level].menu);
        if (!m || index < 0 || index >= static_cast<int>(m->items.size())) return;
        it = m->items[static_cast<size_t>(index)];
        ir = m->rects[static_cast<size_t>(index)];
    }
    if (it.type & MFT_SEPARATOR) return;
    if (it.sub) {
        setSelection(t, level, index);
        POINT p{ir.right - 3, ir.top - kPopupBorder};
        ClientToScreen(t.levels[level].window, &p);
        openPopup(t, it.sub, p, index, byKeyboard);
        return;
    }
    if (it.state & MFS_GRAYED) return;
    t.command = it.id;
    t.done = true;
}

int nextSelectable(HMENU menu, int from, int dir) {
    UserLock lk(userMutex());
    Menu *m = menuLocked(menu);
    if (!m || m->items.empty()) return -1;
    int n = static_cast<int>(m->items.size());
    int i = from;
    for (int k = 0; k < n; k++) {
        i = ((i + dir) % n + n) % n;
        if (from < 0 && k == 0) i = dir > 0 ? 0 : n - 1;
        if (!(m->items[static_cast<size_t>(i)].type & MFT_SEPARATOR)) return i;
    }
    return -1;
}

int countItems(HMENU menu) {
    UserLock lk(userMutex());
    Menu *m = menuLocked(menu);
    return m ? static_cast<int>(m->items.size()) : 0;
}

// A mnemonic in a menu: the item index, or -1.
int findMnemonic(HMENU menu, char ch) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    UserLock lk(userMutex());
    Menu *m = menuLocked(menu);
    if (!m) return -1;
    for (size_t i = 0; i < m->items.size(); i++)
        if (mnemonicOf(m->items[i].text) == ch && ch) return static_cast<int>(i);
    return -1;
}

void handleChar(Tracker &t, char ch) {
    HMENU menu = t.levels.empty() ? t.bar : t.levels.back().menu;
    if (!menu) return;
    int idx = findMnemonic(menu, ch);
    if (idx < 0) {
        UINT flags = t.levels.empty() ? 0 : MF_POPUP;
        LRESULT r = SendMessageA(t.owner, WM_MENUCHAR, MAKEWPARAM(static_cast<BYTE>(ch), flags), reinterpret_cast<LPARAM>(menu));
        switch (HIWORD(r)) {
        case MNC_CLOSE:
            t.done = true;
            return;
        case MNC_EXECUTE:
            idx = LOWORD(r);
            break;
        case MNC_SELECT:
            if (t.levels.empty()) openBarItem(t, LOWORD(r), true);
            else setSelection(t, t.levels.size() - 1, LOWORD(r));
            return;
        default:
            MessageBeep(0);
            return;
        }
    }
    if (t.levels.empty()) {
        openBarItem(t, idx, true);
        UserLock lk(userMutex());
        Menu *m = menuLocked(t.bar);
        bool isCommand = m && idx < static_cast<int>(m->items.size()) && !m->items[static_cast<size_t>(idx)].sub;
        if (isCommand && !(m->items[static_cast<size_t>(idx)].state & MFS_GRAYED)) {
            t.command = m->items[static_cast<size_t>(idx)].id;
            t.done = true;
        }
        return;
    }
    size_t level = t.levels.size() - 1;
    setSelection(t, level, idx);
    activate(t, level, idx, true);
}

void handleKey(Tracker &t, UINT vk) {
    bool inPopup = !t.levels.empty();
    switch (vk) {
    case VK_ESCAPE:
        if (t.levels.size() > 1) {
            closeLevelsFrom(t, t.levels.size() - 1);
        } else if (t.levels.size() == 1 && t.bar) {
            closeLevelsFrom(t, 0);
            t.barOpen = false;
            redrawBar(t.owner);
        } else {
            t.done = true;
        }
        return;
    case VK_MENU:
    case VK_F10:
        t.done = true;
        return;
    case VK_LEFT:
    case VK_RIGHT: {
        if (inPopup && vk == VK_LEFT && t.levels.size() > 1) {
            closeLevelsFrom(t, t.levels.size() - 1);
            return;
        }
        if (inPopup && vk == VK_RIGHT) {
            Level &l = t.levels.back();
            bool sub;
            {
                UserLock lk(userMutex());
                Menu *m = menuLocked(l.menu);
                sub = m && l.sel >= 0 && l.sel < static_cast<int>(m->items.size()) && m->items[static_cast<size_t>(l.sel)].sub;
            }
            if (sub) {
                activate(t, t.levels.size() - 1, l.sel, true);
                return;
            }
        }
        if (!t.bar) return;
        int n = countItems(t.bar);
        if (n == 0) return;
        int next = ((t.barSel + (vk == VK_RIGHT ? 1 : -1)) % n + n) % n;
        bool wasOpen = t.barOpen;
        if (wasOpen) {
            openBarItem(t, next, true);
        } else {
            t.barSel = next;
            sendSelect(t, t.bar, next);
            redrawBar(t.owner);
        }
        return;
    }
    case VK_UP:
    case VK_DOWN:
        if (!inPopup) {
            if (t.bar && t.barSel >= 0) openBarItem(t, t.barSel, true);
            return;
        }
        {
            size_t level = t.levels.size() - 1;
            int next = nextSelectable(t.levels.back().menu, t.levels.back().sel, vk == VK_DOWN ? 1 : -1);
            if (next >= 0) setSelection(t, level, next);
        }
        return;
    case VK_RETURN:
        if (!inPopup) {
            if (t.bar && t.barSel >= 0) openBarItem(t, t.barSel, true);
            return;
        }
        activate(t, t.levels.size() - 1, t.levels.back().sel, true);
        return;
    }
}

// Where a screen point falls: a level and an item, the bar (level -1), or
// nothing (level -2).
void hitTest(Tracker &t, POINT p, int *level, int *item) {
    for (int i = static_cast<int>(t.levels.size()) - 1; i >= 0; i--) {
        Level &l = t.levels[static_cast<size_t>(i)];
        RECT wr;
        GetWindowRect(l.window, &wr);
        if (!PtInRect(&wr, p)) continue;
        *level = i;
        *item = -1;
        POINT c = p;
        ScreenToClient(l.window, &c);
        UserLock lk(userMutex());
        Menu *m = menuLocked(l.menu);
        for (size_t k = 0; m && k < m->rects.size(); k++)
            if (PtInRect(&m->rects[k], c)) *item = static_cast<int>(k);
        return;
    }
    if (t.bar) {
        int n = countItems(t.bar);
        for (int k = 0; k < n; k++) {
            RECT r = barItemOnScreen(t.owner, k);
            if (PtInRect(&r, p)) {
                *level = -1;
                *item = k;
                return;
            }
        }
    }
    *level = -2;
    *item = -1;
}

void runLoop(Tracker &t) {
    HWND prevCapture = GetCapture();
    (void)prevCapture;
    SetCapture(t.owner);
    bool buttonWasDown = (GetKeyState(VK_LBUTTON) & 0x8000) != 0;
    while (!t.done) {
        MSG m;
        if (!GetMessageA(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (GetCapture() != t.owner && m.message != WM_PAINT) {
            // Something took the capture away: the menu ends.
            if (m.message != WM_CAPTURECHANGED) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            break;
        }
        switch (m.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            t.keyboard = true;
            if (m.wParam == VK_ESCAPE || m.wParam == VK_MENU || m.wParam == VK_F10 ||
                (m.wParam >= VK_LEFT && m.wParam <= VK_DOWN) || m.wParam == VK_RETURN) {
                handleKey(t, static_cast<UINT>(m.wParam));
            } else {
                TranslateMessage(&m);
            }
            continue;
        case WM_CHAR:
        case WM_SYSCHAR:
            handleChar(t, static_cast<char>(m.wParam));
            continue;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            continue;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP: {
            t.keyboard = false;
            POINT p{static_cast<SHORT>(LOWORD(m.lParam)), static_cast<SHORT>(HIWORD(m.lParam))};
            ClientToScreen(m.hwnd, &p);
            int level, item;
            hitTest(t, p, &level, &item);
            bool down = m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONDBLCLK || m.message == WM_RBUTTONDOWN;
            bool up = m.message == WM_LBUTTONUP || m.message == WM_RBUTTONUP;
            if (level == -2) {
                if (down) t.done = true; // a click outside closes the menu
                continue;
            }
            if (level == -1) {
                if (down && item == t.barSel && t.barOpen) {
                    t.done = true;
                    continue;
                }
                if (item != t.barSel && (t.barOpen || down)) openBarItem(t, item, false);
                else if (down && !t.barOpen) openBarItem(t, item, false);
                if (up && item >= 0 && !t.barOpen && !buttonWasDown) {
                    // A bar item without drop-down runs at once.
                    UserLock lk(userMutex());
                    Menu *mm = menuLocked(t.bar);
                    if (mm && item < static_cast<int>(mm->items.size()) && !mm->items[static_cast<size_t>(item)].sub &&
                        !(mm->items[static_cast<size_t>(item)].state & MFS_GRAYED)) {
                        t.command = mm->items[static_cast<size_t>(item)].id;
                        t.done = true;
                    }
                }
                if (up) buttonWasDown = false;
                continue;
            }
            if (item >= 0) {
                setSelection(t, static_cast<size_t>(level), item);
                UINT_PTR sub = 0;
                {
                    UserLock lk(userMutex());
                    Menu *mm = menuLocked(t.levels[static_cast<size_t>(level)].menu);
                    if (mm) sub = reinterpret_cast<UINT_PTR>(mm->items[static_cast<size_t>(item)].sub);
                }
                if (sub && static_cast<size_t>(level) + 1 == t.levels.size()) activate(t, static_cast<size_t>(level), item, false);
                if (up && !sub) activate(t, static_cast<size_t>(level), item, false);
            }
            if (up) buttonWasDown = false;
            continue;
        }
        default:
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    closeLevelsFrom(t, 0);
    if (GetCapture() == t.owner) ReleaseCapture();
}

} // namespace

int menuBarHeightFor(HMENU h, int width) {
    UserLock lk(userMutex());
    Menu *m = menuLocked(h);
    if (!m) return 0;
    return layoutBarLocked(m, std::max(width, 1));
}

void menuBarPaint(HWND h, HDC hdc, const RECT &bar) {
    HMENU hm = GetMenu(h);
    std::shared_ptr<Menu> m;
    {
        UserLock lk(userMutex());
        auto it = menus().find(reinterpret_cast<uintptr_t>(hm));
        if (it == menus().end()) return;
        layoutBarLocked(it->second.get(), bar.right - bar.left);
        m = std::make_shared<Menu>(*it->second); // drawn from a copy
    }
    FillRect(hdc, &bar, GetSysColorBrush(COLOR_MENU));
    HGDIOBJ old = SelectObject(hdc, menuFont());
    int sel = -1;
    bool open = false;
    if (t_tracker && t_tracker->owner == h) {
        sel = t_tracker->barSel;
        open = t_tracker->barOpen;
    }
    for (size_t i = 0; i < m->items.size() && i < m->rects.size(); i++) {
        RECT r = gdi::rectOffset(m->rects[i], bar.left, bar.top);
        const MenuItem &it = m->items[i];
        if (static_cast<int>(i) == sel) {
            RECT e = r;
            DrawEdge(hdc, &e, open ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
            if (open) OffsetRect(&r, 1, 1);
        }
        drawLabel(hdc, labelOf(it.text), r, DT_CENTER, (it.state & MFS_GRAYED) != 0, false);
    }
    SelectObject(hdc, old);
}

bool menuHasItems(HMENU h) { return countItems(h) > 0; }

void trackSystemMenu(HWND h) {
    HMENU sys = GetSystemMenu(h, FALSE);
    if (!sys) return;
    // The items follow the window's state.
    bool iconic = IsIconic(h) || IsZoomed(h);
    EnableMenuItem(sys, SC_RESTORE, iconic ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(sys, SC_MOVE, IsZoomed(h) ? MF_GRAYED : MF_ENABLED);
    bool noClose = (GetClassLongA(h, GCL_STYLE) & CS_NOCLOSE) != 0;
    EnableMenuItem(sys, SC_CLOSE, noClose ? MF_GRAYED : MF_ENABLED);
    RECT wr;
    GetWindowRect(h, &wr);
    int f = (GetWindowLongA(h, GWL_STYLE) & WS_THICKFRAME) ? 4 : 3;
    UINT cmd = static_cast<UINT>(TrackPopupMenu(sys, TPM_RETURNCMD, wr.left + f, wr.top + f + 18, 0, h, nullptr));
    if (cmd && IsWindow(h)) SendMessageA(h, WM_SYSCOMMAND, cmd, 0);
}

void destroyMenuOfWindow(HMENU m) { DestroyMenu(m); }

void trackMenuBar(HWND h, int start, bool byKeyboard, UINT ch) {
    if (t_tracker) return;
    HMENU bar = GetMenu(h);
    if (!bar || (GetWindowLongA(h, GWL_STYLE) & WS_CHILD)) {
        if (ch) MessageBeep(0);
        return;
    }
    Tracker t;
    t.owner = h;
    t.bar = bar;
    t.keyboard = byKeyboard;
    t_tracker = &t;
    SendMessageA(h, WM_ENTERMENULOOP, FALSE, 0);
    SendMessageA(h, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0);
    bool run = true;
    if (ch) {
        // Alt with a letter that selects nothing beeps and leaves no menu open.
        handleChar(t, static_cast<char>(ch));
        run = !t.done && t.barSel >= 0;
    } else if (start == -2) {
        // From a click on the bar: the item under the pointer opens.
        POINT p;
        GetCursorPos(&p);
        int level, item;
        hitTest(t, p, &level, &item);
        if (level == -1 && item >= 0) openBarItem(t, item, false);
        else run = false;
    } else {
        if (countItems(bar) > 0) {
            t.barSel = 0;
            sendSelect(t, bar, 0);
            redrawBar(h);
        } else {
            run = false;
        }
    }
    if (run) runLoop(t);
    closeLevelsFrom(t, 0);
    t_tracker = nullptr;
    redrawBar(h);
    if (t.notify) SendMessageA(h, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    SendMessageA(h, WM_EXITMENULOOP, FALSE, 0);
    if (t.command) PostMessageA(h, WM_COMMAND, MAKEWPARAM(t.command, 0), 0);
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

HMENU WINAPI CreateMenu(void) { return newMenu(false); }
HMENU WINAPI CreatePopupMenu(void) { return newMenu(true); }

BOOL WINAPI DestroyMenu(HMENU h) {
    std::vector<HMENU> subs;
    {
        UserLock lk(userMutex());
        Menu *m = menuLocked(h);
        if (!m) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        for (MenuItem &it : m->items)
            if (it.sub) subs.push_back(it.sub);
        menus().erase(reinterpret_cast<uintptr_t>(h));
    }
    for (HMENU s : subs) DestroyMenu(s);
    return TRUE;
}

BOOL WINAPI IsMenu(HMENU h) {
    UserLock lk(userMutex());
    return menuLocked(h) ? TRUE : FALSE;
}

BOOL WINAPI InsertMenuA(HMENU h, UINT pos, UINT flags, UINT_PTR id, LPCSTR text) {
    UserLock lk(userMutex());
    Menu *m = menuLocked(h);
    if (!m || ((flags & MF_POPUP) && !menuLocked(reinterpret_cast<HMENU>(id)))) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuItem it = itemFromFlags(flags, id, text);
    if (pos == static_cast<UINT>(-1)) {
        m->items.push_back(it);
        return TRUE;
    }
    Menu *owner = m;
    int idx;
    if (flags & MF_BYPOSITION) {
        idx = static_cast<int>(std::min<size_t>(pos, m->items.size()));
    } else if (!findItem(h, pos, MF_BYCOMMAND, &owner, &idx)) {
        owner = m;
        idx = static_cast<int>(m->items.size());
    }
    owner->items.insert(owner->items.begin() + idx, it);
    return TRUE;
}

BOOL WINAPI AppendMenuA(HMENU h, UINT flags, UINT_PTR id, LPCSTR text) {
    return InsertMenuA(h, static_cast<UINT>(-1), flags | MF_BYPOSITION, id, text);
}

BOOL WINAPI ModifyMenuA(HMENU h, UINT pos, UINT flags, UINT_PTR id, LPCSTR text) {
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, pos, flags, &m, &idx)) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    m->items[static_cast<size_t>(idx)] = itemFromFlags(flags, id, text);
    return TRUE;
}

BOOL WINAPI RemoveMenu(HMENU h, UINT pos, UINT flags) {
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, pos, flags, &m, &idx)) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    m->items.erase(m->items.begin() + idx);
    return TRUE;
}

BOOL WINAPI DeleteMenu(HMENU h, UINT pos, UINT flags) {
    HMENU sub = nullptr;
    {
        UserLock lk(userMutex());
        Menu *m;
        int idx;
        if (!findItem(h, pos, flags, &m, &idx)) {
            SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
            return FALSE;
        }
        sub = m->items[static_cast<size_t>(idx)].sub;
        m->items.erase(m->items.begin() + idx);
    }
    if (sub) DestroyMenu(sub);
    return TRUE;
}

BOOL WINAPI InsertMenuItemA(HMENU h, UINT item, BOOL byPos, LPCMENUITEMINFOA mi) {
    if (!mi) return FALSE;
    UINT flags = byPos ? MF_BYPOSITION : MF_BYCOMMAND;
    UINT type = (mi->fMask & (MIIM_TYPE | MIIM_FTYPE)) ? mi->fType : 0;
    UINT state = (mi->fMask & MIIM_STATE) ? mi->fState : 0;
    UINT_PTR id = (mi->fMask & MIIM_ID) ? mi->wID : 0;
    if ((mi->fMask & MIIM_SUBMENU) && mi->hSubMenu) {
        flags |= MF_POPUP;
        id = reinterpret_cast<UINT_PTR>(mi->hSubMenu);
    }
    LPCSTR text = (mi->fMask & (MIIM_STRING | MIIM_TYPE)) && !(type & (MFT_SEPARATOR | MFT_BITMAP)) ? mi->dwTypeData : nullptr;
    if (!InsertMenuA(h, item, flags | type | state, id, text)) return FALSE;
    if (mi->fMask & MIIM_DATA) {
        UserLock lk(userMutex());
        Menu *m;
        int idx;
        UINT which = byPos ? item : static_cast<UINT>(id);
        if (findItem(h, which, byPos ? MF_BYPOSITION : MF_BYCOMMAND, &m, &idx)) m->items[static_cast<size_t>(idx)].data = mi->dwItemData;
    }
    return TRUE;
}

BOOL WINAPI GetMenuItemInfoA(HMENU h, UINT item, BOOL byPos, LPMENUITEMINFOA mi) {
    if (!mi) return FALSE;
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, item, byPos ? MF_BYPOSITION : MF_BYCOMMAND, &m, &idx)) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    const MenuItem &it = m->items[static_cast<size_t>(idx)];
    if (mi->fMask & (MIIM_TYPE | MIIM_FTYPE)) mi->fType = it.type;
    if (mi->fMask & MIIM_STATE) mi->fState = it.state;
    if (mi->fMask & MIIM_ID) mi->wID = it.id;
    if (mi->fMask & MIIM_SUBMENU) mi->hSubMenu = it.sub;
    if (mi->fMask & MIIM_DATA) mi->dwItemData = it.data;
    if (mi->fMask & (MIIM_STRING | MIIM_TYPE)) {
        if (mi->dwTypeData && mi->cch > 0) {
            lstrcpynA(mi->dwTypeData, it.text.c_str(), static_cast<int>(mi->cch));
        }
        mi->cch = static_cast<UINT>(it.text.size());
    }
    return TRUE;
}

BOOL WINAPI SetMenuItemInfoA(HMENU h, UINT item, BOOL byPos, LPCMENUITEMINFOA mi) {
    if (!mi) return FALSE;
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, item, byPos ? MF_BYPOSITION : MF_BYCOMMAND, &m, &idx)) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    MenuItem &it = m->items[static_cast<size_t>(idx)];
    if (mi->fMask & (MIIM_TYPE | MIIM_FTYPE)) it.type = mi->fType;
    if (mi->fMask & MIIM_STATE) it.state = mi->fState;
    if (mi->fMask & MIIM_ID) it.id = mi->wID;
    if (mi->fMask & MIIM_SUBMENU) it.sub = mi->hSubMenu;
    if (mi->fMask & MIIM_DATA) it.data = mi->dwItemData;
    if ((mi->fMask & (MIIM_STRING | MIIM_TYPE)) && mi->dwTypeData && !(it.type & (MFT_SEPARATOR | MFT_BITMAP)))
        it.text = mi->dwTypeData;
    return TRUE;
}

BOOL WINAPI SetMenu(HWND h, HMENU menu) {
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->style & WS_CHILD) {
            SetLastError(ERROR_CHILD_WINDOW_MENU);
            return FALSE;
        }
        if (menu && !menuLocked(menu)) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        w->menu = menu;
    }
    SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return TRUE;
}

HMENU WINAPI GetMenu(HWND h) {
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w || (w->style & WS_CHILD)) return nullptr;
    return w->menu;
}

HMENU WINAPI GetSubMenu(HMENU h, int pos) {
    UserLock lk(userMutex());
    Menu *m = menuLocked(h);
    if (!m || pos < 0 || pos >= static_cast<int>(m->items.size())) return nullptr;
    return m->items[static_cast<size_t>(pos)].sub;
}

HMENU WINAPI GetSystemMenu(HWND h, BOOL revert) {
    DWORD style;
    HMENU have;
    {
        UserLock lk(userMutex());
        Window *w = windowLocked(h);
        if (!w || !(w->style & WS_SYSMENU) || (w->style & WS_CHILD)) return nullptr;
        style = w->style;
        have = w->sysMenu;
    }
    if (have && !revert) return have;
    if (have) DestroyMenu(have);
    HMENU m = CreatePopupMenu();
    bool sizable = (style & WS_THICKFRAME) != 0;
    AppendMenuA(m, MF_STRING, SC_RESTORE, "&Restore");
    AppendMenuA(m, MF_STRING, SC_MOVE, "&Move");
    AppendMenuA(m, MF_STRING | (sizable ? 0 : MF_GRAYED), SC_SIZE, "&Size");
    AppendMenuA(m, MF_STRING | ((style & WS_MINIMIZEBOX) ? 0 : MF_GRAYED), SC_MINIMIZE, "Mi&nimize");
    AppendMenuA(m, MF_STRING | ((style & WS_MAXIMIZEBOX) ? 0 : MF_GRAYED), SC_MAXIMIZE, "Ma&ximize");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING, SC_CLOSE, "&Close\tAlt+F4");
    UserLock lk(userMutex());
    Window *w = windowLocked(h);
    if (!w) {
        DestroyMenu(m);
        return nullptr;
    }
    w->sysMenu = m;
    return m;
}

int WINAPI GetMenuItemCount(HMENU h) {
    UserLock lk(userMutex());
    Menu *m = menuLocked(h);
    if (!m) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(m->items.size());
}

UINT WINAPI GetMenuItemID(HMENU h, int pos) {
    UserLock lk(userMutex());
    Menu *m = menuLocked(h);
    if (!m || pos < 0 || pos >= static_cast<int>(m->items.size())) return static_cast<UINT>(-1);
    const MenuItem &it = m->items[static_cast<size_t>(pos)];
    return it.sub ? static_cast<UINT>(-1) : it.id;
}

UINT WINAPI GetMenuState(HMENU h, UINT which, UINT flags) {
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, which, flags, &m, &idx)) return static_cast<UINT>(-1);
    const MenuItem &it = m->items[static_cast<size_t>(idx)];
    UINT r = it.state | it.type;
    if (it.sub) {
        Menu *s = menuLocked(it.sub);
        r = (static_cast<UINT>(s ? s->items.size() : 0) << 8) | MF_POPUP | ((it.state | it.type) & 0xFF);
    }
    return r;
}

int WINAPI GetMenuStringA(HMENU h, UINT which, LPSTR buf, int n, UINT flags) {
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, which, flags, &m, &idx)) return 0;
    const std::string &s = m->items[static_cast<size_t>(idx)].text;
    if (!buf || n <= 0) return static_cast<int>(s.size());
    lstrcpynA(buf, s.c_str(), n);
    return lstrlenA(buf);
}

BOOL WINAPI EnableMenuItem(HMENU h, UINT which, UINT enable) {
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, which, enable & MF_BYPOSITION, &m, &idx)) return -1;
    MenuItem &it = m->items[static_cast<size_t>(idx)];
    UINT old = it.state & (MF_GRAYED | MF_DISABLED);
    it.state = (it.state & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    if (m->window) InvalidateRect(m->window, nullptr, FALSE);
    return static_cast<BOOL>(old);
}

DWORD WINAPI CheckMenuItem(HMENU h, UINT which, UINT check) {
    UserLock lk(userMutex());
    Menu *m;
    int idx;
    if (!findItem(h, which, check & MF_BYPOSITION, &m, &idx)) return static_cast<DWORD>(-1);
    MenuItem &it = m->items[static_cast<size_t>(idx)];
    DWORD old = it.state & MF_CHECKED;
    if (check & MF_CHECKED) it.state |= MF_CHECKED;
    else it.state &= ~MF_CHECKED;
    if (m->window) InvalidateRect(m->window, nullptr, FALSE);
    return old;
}

BOOL WINAPI CheckMenuRadioItem(HMENU h, UINT first, UINT last, UINT check, UINT flags) {
    UserLock lk(userMutex());
    bool found = false;
    for (UINT i = first; i <= last; i++) {
        Menu *m;
        int idx;
        if (!findItem(h, i, flags, &m, &idx)) continue;
        MenuItem &it = m->items[static_cast<size_t>(idx)];
        if (i == check) {
            it.state |= MF_CHECKED;
            it.type |= MFT_RADIOCHECK;
            found = true;
        } else {
            it.state &= ~MF_CHECKED;
        }
        if (i == last) break;
    }
    return found ? TRUE : FALSE;
}

BOOL WINAPI HiliteMenuItem(HWND h, HMENU menu, UINT which, UINT flags) {
    {
        UserLock lk(userMutex());
        Menu *m;
        int idx;
        if (!findItem(menu, which, flags, &m, &idx)) return FALSE;
        MenuItem &it = m->items[static_cast<size_t>(idx)];
        if (flags & MF_HILITE) it.state |= MF_HILITE;
        else it.state &= ~MF_HILITE;
    }
    return DrawMenuBar(h);
}

BOOL WINAPI DrawMenuBar(HWND h) {
    if (!IsWindow(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // The bar's height may change with its items.
    SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    redrawBar(h);
    return TRUE;
}

BOOL WINAPI GetMenuItemRect(HWND h, HMENU menu, UINT item, LPRECT r) {
    if (!r) return FALSE;
    UserLock lk(userMutex());
    Menu *m = menuLocked(menu);
    if (!m || item >= m->items.size()) return FALSE;
    if (m->window) {
        if (item >= m->rects.size()) return FALSE;
        *r = m->rects[item];
        Window *pw = windowLocked(m->window);
        if (!pw) return FALSE;
        POINT o = clientOriginOnScreen(pw);
        OffsetRect(r, o.x, o.y);
        return TRUE;
    }
    Window *w = windowLocked(h);
    if (!w || w->menu != menu) return FALSE;
    RECT in = nonClientInsets(w->style & ~(WS_VSCROLL | WS_HSCROLL), w->exStyle & ~(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE), false, true, 0);
    layoutBarLocked(m, (w->rect.right - w->rect.left) - 2 * in.left);
    if (item >= m->rects.size()) return FALSE;
    RECT wr = windowRectOnScreen(w);
    *r = m->rects[item];
    OffsetRect(r, wr.left + in.left, wr.top + in.top);
    return TRUE;
}

BOOL WINAPI TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND h, LPTPMPARAMS) {
    if (t_tracker || !IsMenu(menu) || !IsWindow(h)) {
        SetLastError(t_tracker ? ERROR_POPUP_ALREADY_ACTIVE : IsMenu(menu) ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    Tracker t;
    t.owner = h;
    t.returnCmd = (flags & TPM_RETURNCMD) != 0;
    t.notify = !(flags & TPM_NONOTIFY);
    t_tracker = &t;
    if (t.notify) SendMessageA(h, WM_ENTERMENULOOP, TRUE, 0);
    if (t.notify) SendMessageA(h, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    int w = 0, hh = 0;
    {
        UserLock lk(userMutex());
        if (Menu *m = menuLocked(menu)) {
            layoutPopupLocked(m);
            w = m->width;
            hh = m->height;
        }
    }
    if (flags & TPM_RIGHTALIGN) x -= w;
    else if (flags & TPM_CENTERALIGN) x -= w / 2;
    if (flags & TPM_BOTTOMALIGN) y -= hh;
    else if (flags & TPM_VCENTERALIGN) y -= hh / 2;
    if (openPopup(t, menu, POINT{x, y}, 0, false)) runLoop(t);
    closeLevelsFrom(t, 0);
    t_tracker = nullptr;
    if (t.notify) SendMessageA(h, WM_EXITMENULOOP, TRUE, 0);
    if (t.returnCmd) return static_cast<BOOL>(t.command);
    if (t.command && t.notify) PostMessageA(h, WM_COMMAND, MAKEWPARAM(t.command, 0), 0);
    return t.command ? TRUE : FALSE;
}

BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND h, const RECT *) {
    return TrackPopupMenuEx(menu, flags, x, y, h, nullptr);
}

BOOL WINAPI EndMenu(void) {
    if (!t_tracker) return FALSE;
    t_tracker->done = true;
    PostMessageA(t_tracker->owner, WM_NULL, 0, 0);
    return TRUE;
}

DWORD WINAPI GetMenuCheckMarkDimensions(void) { return MAKELONG(13, 13); }

HMENU WINAPI LoadMenuA(HINSTANCE inst, LPCSTR name) {
    HRSRC r = name ? FindResourceA(inst, name, RT_MENU) : nullptr;
    const void *data = r ? LockResource(LoadResource(inst, r)) : nullptr;
    if (!data) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return LoadMenuIndirectA(data);
}

HMENU WINAPI LoadMenuIndirectA(const MENUTEMPLATEA *tmpl) {
    if (!tmpl) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto *hdr = static_cast<const WORD *>(tmpl);
    if (hdr[0] != 0) {
        // Only the standard template (version 0) is read.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const WORD *p = hdr + 2 + hdr[1] / 2;
    // Reads one level: items until MF_END; popups recurse.
    std::function<bool(HMENU)> level = [&](HMENU menu) -> bool {
        for (int guard = 0; guard < 4096; guard++) {
            WORD option = *p++;
            WORD id = 0;
            if (!(option & MF_POPUP)) id = *p++;
            std::string text;
            while (*p) {
                WORD c = *p++;
                text += c < 256 ? static_cast<char>(c) : '?';
            }
            p++;
            UINT flags = option & ~(MF_END | MF_POPUP);
            if (option & MF_POPUP) {
                HMENU sub = CreatePopupMenu();
                if (!level(sub)) return false;
                AppendMenuA(menu, flags | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), text.c_str());
            } else if (text.empty() && id == 0 && !(flags & (MF_GRAYED | MF_CHECKED))) {
                AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            } else {
                AppendMenuA(menu, flags | MF_STRING, id, text.c_str());
            }
            if (option & MF_END) return true;
        }
        return false;
    };
    HMENU menu = CreateMenu();
    if (!level(menu)) {
        DestroyMenu(menu);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return menu;
}

// ---- accelerators -------------------------------------------------------------------

namespace {
std::unordered_map<uintptr_t, std::vector<ACCEL>> &accels() {
    static auto *m = new std::unordered_map<uintptr_t, std::vector<ACCEL>>;
    return *m;
}
uintptr_t g_nextAccel = 0x00B80010;
} // namespace

HACCEL WINAPI CreateAcceleratorTableA(LPACCEL a, int n) {
    if (!a || n <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    UserLock lk(userMutex());
    HACCEL h = reinterpret_cast<HACCEL>(g_nextAccel);
    g_nextAccel += 4;
    accels()[reinterpret_cast<uintptr_t>(h)] = std::vector<ACCEL>(a, a + n);
    return h;
}

BOOL WINAPI DestroyAcceleratorTable(HACCEL h) {
    UserLock lk(userMutex());
    return accels().erase(reinterpret_cast<uintptr_t>(h)) ? TRUE : FALSE;
}

int WINAPI CopyAcceleratorTableA(HACCEL h, LPACCEL out, int n) {
    UserLock lk(userMutex());
    auto it = accels().find(reinterpret_cast<uintptr_t>(h));
    if (it == accels().end()) return 0;
    if (!out) return static_cast<int>(it->second.size());
    int k = std::min(n, static_cast<int>(it->second.size()));
    for (int i = 0; i < k; i++) out[i] = it->second[static_cast<size_t>(i)];
    return k;
}

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE inst, LPCSTR name) {
    HRSRC r = name ? FindResourceA(inst, name, RT_ACCELERATOR) : nullptr;
    const auto *data = r ? static_cast<const BYTE *>(LockResource(LoadResource(inst, r))) : nullptr;
    if (!data) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    // Entries of 8 bytes: flags, key, command, padding; 0x80 marks the last.
    DWORD size = SizeofResource(inst, r);
    std::vector<ACCEL> table;
    for (DWORD off = 0; off + 8 <= size; off += 8) {
        WORD flags = static_cast<WORD>(data[off] | (data[off + 1] << 8));
        ACCEL a;
        a.fVirt = static_cast<BYTE>(flags & 0x7F);
        a.key = static_cast<WORD>(data[off + 2] | (data[off + 3] << 8));
        a.cmd = static_cast<WORD>(data[off + 4] | (data[off + 5] << 8));
        table.push_back(a);
        if (flags & 0x80) break;
    }
    if (table.empty()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return CreateAcceleratorTableA(table.data(), static_cast<int>(table.size()));
}

int WINAPI TranslateAcceleratorA(HWND h, HACCEL ha, LPMSG msg) {
    if (!msg || !h) return 0;
    bool keyMsg = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
    bool charMsg = msg->message == WM_CHAR || msg->message == WM_SYSCHAR;
    if (!keyMsg && !charMsg) return 0;
    std::vector<ACCEL> table;
    {
        UserLock lk(userMutex());
        auto it = accels().find(reinterpret_cast<uintptr_t>(ha));
        if (it == accels().end()) {
            SetLastError(ERROR_INVALID_ACCEL_HANDLE);
            return 0;
        }
        table = it->second;
    }
    bool shift = GetKeyState(VK_SHIFT) & 0x8000, ctrl = GetKeyState(VK_CONTROL) & 0x8000,
         alt = (GetKeyState(VK_MENU) & 0x8000) || (msg->lParam & (1 << 29));
    for (const ACCEL &a : table) {
        bool match;
        if (a.fVirt & FVIRTKEY) {
            match = keyMsg && a.key == msg->wParam && ((a.fVirt & FSHIFT) != 0) == shift &&
                    ((a.fVirt & FCONTROL) != 0) == ctrl && ((a.fVirt & FALT) != 0) == alt;
        } else {
            match = charMsg && a.key == (msg->wParam & 0xFF) && ((a.fVirt & FALT) != 0) == (msg->message == WM_SYSCHAR);
        }
        if (!match) continue;
        // Commands of grayed menu items are not sent.
        HMENU menu = GetMenu(h);
        if (menu) {
            UINT st = GetMenuState(menu, a.cmd, MF_BYCOMMAND);
            if (st != static_cast<UINT>(-1) && (st & (MF_GRAYED | MF_DISABLED))) return 1;
            SendMessageA(h, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
        }
        SendMessageA(h, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}

} // extern "C"
