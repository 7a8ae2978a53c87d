// Window helpers that the library's own windows use and applications may
// call: the outermost ancestor, centring over another window, the screen's
// font size, bringing a window to the front.
#include <vorlex.h>

#include "services/text_utils.h"
#include "services/window_utils.h"

namespace vorlex {

// Places the window, keeping its size, so that its centre lies on the
// reference's centre (halves truncated toward zero); no repaint.
BOOL centreOver(HWND reference, HWND window) {
    RECT r, w;
    if (!GetWindowRect(reference, &r) || !GetWindowRect(window, &w)) return FALSE;
    const LONG width = w.right - w.left, height = w.bottom - w.top;
    const LONG left = r.left + (r.right - r.left - width) / 2;
    const LONG top = r.top + (r.bottom - r.top - height) / 2;
    return MoveWindow(window, left, top, width, height, FALSE);
}

HWND topLevelWindow(HWND window) {
    while (HWND parent = GetParent(window)) window = parent;
    return window;
}

} // namespace vorlex

extern "C" {

HWND WINAPI Func044(HWND window) { return vorlex::topLevelWindow(window); }

BOOL WINAPI Func111(HWND reference, HWND window) { return vorlex::centreOver(reference, window); }

LONG WINAPI Func121(void) { return vorlex::smallFonts() ? 1 : 0; }

} // extern "C"

bool vorlex::smallFonts() {
    HWND desktop = GetDesktopWindow();
    HDC dc = GetWindowDC(desktop);
    if (!dc) return 0;
    const int mode = SetMapMode(dc, MM_TEXT);
    TEXTMETRICA metrics{};
    const BOOL read = GetTextMetricsA(dc, &metrics);
    SetMapMode(dc, mode);
    ReleaseDC(desktop, dc);
    return read && metrics.tmHeight <= 16;
}

extern "C" {

LONG WINAPI Func008(LPCSTR windowClass, LPCSTR windowTitle) {
    HWND window = FindWindowA(vorlex::isBlankText(windowClass) ? nullptr : windowClass, windowTitle);
    if (!window) return 0;
    BringWindowToTop(window);
    if (IsIconic(window)) ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    return 1;
}

} // extern "C"
