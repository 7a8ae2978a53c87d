#include "gui_driver.h"

namespace gui {

namespace {

BOOL CALLBACK askToClose(HWND h, LPARAM) {
    PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(h, WM_CLOSE, 0, 0);
    return TRUE;
}

// Polls find until it gives a window or ms have passed.
HWND poll(const std::function<HWND()> &find, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND h = find()) {
            settle(h);
            return h;
        }
        if (GetTickCount() - start > ms) return nullptr;
        Sleep(5);
    }
}

POINT middleUnless(HWND h, int x, int y) {
    RECT r{};
    GetClientRect(h, &r);
    return POINT{x < 0 ? r.right / 2 : x, y < 0 ? r.bottom / 2 : y};
}

} // namespace

void closeThreadWindows(DWORD threadId) {
    if (threadId) EnumThreadWindows(threadId, askToClose, 0);
}

HWND findVisible(const char *cls, const char *title, HWND except) {
    for (HWND h = FindWindowExA(nullptr, nullptr, cls, title); h; h = FindWindowExA(nullptr, h, cls, title))
        if (h != except && IsWindowVisible(h)) return h;
    return nullptr;
}

HWND waitForWindow(const char *title, const char *cls, DWORD ms) {
    return poll([&] { return findVisible(cls, title); }, ms);
}

HWND waitForOther(const char *cls, const char *title, HWND except, DWORD ms) {
    return poll([&] { return findVisible(cls, title, except); }, ms);
}

bool waitGone(HWND h, DWORD ms) {
    const DWORD start = GetTickCount();
    while (IsWindow(h)) {
        if (GetTickCount() - start > ms) return false;
        Sleep(5);
    }
    return true;
}

void settle(HWND h) { WapiWaitForIdle(h, kWaitMs); }

void key(HWND h, UINT vk) {
    WapiSendKey(h, vk, TRUE);
    WapiSendKey(h, vk, FALSE);
    settle(h);
}

void chord(HWND h, UINT modifier, UINT vk) {
    WapiSendKey(h, modifier, TRUE);
    WapiSendKey(h, vk, TRUE);
    WapiSendKey(h, vk, FALSE);
    WapiSendKey(h, modifier, FALSE);
    settle(h);
}

void type(HWND h, const std::string &t) {
    WapiTypeText(h, t.c_str());
    settle(h);
}

void click(HWND h, int x, int y) {
    const POINT p = middleUnless(h, x, y);
    WapiClick(h, p.x, p.y);
    settle(h);
}

void doubleClick(HWND h, int x, int y) {
    const POINT p = middleUnless(h, x, y);
    WapiClick(h, p.x, p.y);
    WapiClick(h, p.x, p.y);
    settle(h);
}

std::string text(HWND h) {
    char buf[4096] = "";
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

std::string itemText(HWND dialog, int id) { return text(GetDlgItem(dialog, id)); }

long long itemNumber(HWND dialog, int id) {
    const std::string s = itemText(dialog, id);
    if (s.empty() || s[0] < '0' || s[0] > '9') return -1;
    return std::strtoll(s.c_str(), nullptr, 10);
}

namespace {
std::vector<std::string> items(HWND h, UINT count, UINT get) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessageA(h, count, 0, 0));
    for (int i = 0; i < n; i++) {
        char buf[MAX_PATH] = "";
        SendMessageA(h, get, i, reinterpret_cast<LPARAM>(buf));
        out.push_back(buf);
    }
    return out;
}
} // namespace

std::vector<std::string> listItems(HWND list) { return items(list, LB_GETCOUNT, LB_GETTEXT); }
std::vector<std::string> comboItems(HWND combo) { return items(combo, CB_GETCOUNT, CB_GETLBTEXT); }

int listIndexOf(HWND list, const char *s) {
    return static_cast<int>(
        SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(s)));
}

int listItemY(HWND list, int index) {
    RECT r{};
    SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    return (r.top + r.bottom) / 2;
}

RECT dialogUnits(HWND dialog, int x, int y, int cx, int cy) {
    // Places and sizes are converted each on its own, as the dialog manager does.
    RECT place{x, y, cx, cy};
    MapDialogRect(dialog, &place);
    return RECT{place.left, place.top, place.left + place.right, place.top + place.bottom};
}

RECT placeIn(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

COLORREF pixel(HWND h, int x, int y) {
    POINT p{x, y};
    ClientToScreen(h, &p);
    return WapiGetScreenPixel(p.x, p.y);
}

} // namespace gui
