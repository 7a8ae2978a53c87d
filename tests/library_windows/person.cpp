#include "person.h"

namespace person {

HWND waitForWindow(const char *title, const char *cls, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND h = FindWindowA(cls, title);
        if (h && IsWindowVisible(h)) {
            settle(h);
            return h;
        }
        if (GetTickCount() - start > ms) return nullptr;
        Sleep(5);
    }
}

void settle(HWND h) { WapiWaitForIdle(h, 5000); }

void key(HWND h, UINT vk) {
    WapiSendKey(h, vk, TRUE);
    WapiSendKey(h, vk, FALSE);
    settle(h);
}

void type(HWND h, const char *t) {
    WapiTypeText(h, t);
    settle(h);
}

void click(HWND h) {
    RECT r;
    GetClientRect(h, &r);
    clickAt(h, r.right / 2, r.bottom / 2);
}

void clickAt(HWND h, int x, int y) {
    WapiClick(h, x, y);
    settle(h);
}

void doubleClickAt(HWND h, int x, int y) {
    WapiClick(h, x, y);
    WapiClick(h, x, y);
    settle(h);
}

std::string text(HWND h) {
    char buf[1024] = "";
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

std::string itemText(HWND dialog, int id) { return text(GetDlgItem(dialog, id)); }

std::vector<std::string> listItems(HWND list) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; i++) {
        char buf[MAX_PATH] = "";
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
        out.push_back(buf);
    }
    return out;
}

std::vector<std::string> comboItems(HWND combo) {
    std::vector<std::string> out;
    const int n = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; i++) {
        char buf[MAX_PATH] = "";
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
        out.push_back(buf);
    }
    return out;
}

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

} // namespace person
