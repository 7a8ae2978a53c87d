// A text view the way a terminal screen uses the layer: a grid of cells
// drawn one character at a time with ExtTextOutA, scroll bars that move the
// view with ScrollWindowEx and repaint only what was uncovered, and a
// caret on the cursor cell. After any scrolling, the window must look
// exactly as a full repaint at the same position would.
#include "ui.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

constexpr int kRows = 40, kCols = 30;
int g_cellW = 0, g_cellH = 0, g_scrollY = 0, g_paints = 0;
HFONT g_font = nullptr;

char cellChar(int row, int col) { return static_cast<char>('A' + (row * 7 + col) % 26); }
COLORREF cellBack(int row) { return row % 2 ? RGB(0, 0, 128) : RGB(0, 0, 0); }

LRESULT CALLBACK viewProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        g_paints++;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HGDIOBJ old = SelectObject(dc, g_font);
        int first = std::max(0, (ps.rcPaint.top + g_scrollY) / g_cellH);
        int last = std::min(kRows - 1, (ps.rcPaint.bottom + g_scrollY - 1) / g_cellH);
        for (int r = first; r <= last; r++) {
            SetBkColor(dc, cellBack(r));
            SetTextColor(dc, RGB(255, 255, 0));
            for (int c = 0; c < kCols; c++) {
                char ch = cellChar(r, c);
                ExtTextOutA(dc, c * g_cellW, r * g_cellH - g_scrollY, 0, nullptr, &ch, 1, nullptr);
            }
        }
        SelectObject(dc, old);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // every cell is painted
    case WM_VSCROLL: {
        RECT c;
        GetClientRect(h, &c);
        int maxY = std::max(0, kRows * g_cellH - static_cast<int>(c.bottom));
        int d = 0;
        switch (LOWORD(wp)) {
        case SB_LINEUP: d = -g_cellH; break;
        case SB_LINEDOWN: d = g_cellH; break;
        case SB_PAGEUP: d = -c.bottom; break;
        case SB_PAGEDOWN: d = c.bottom; break;
        case SB_THUMBPOSITION: d = static_cast<SHORT>(HIWORD(wp)) - g_scrollY; break;
        case SB_TOP: d = -g_scrollY; break;
        case SB_BOTTOM: d = maxY - g_scrollY; break;
        }
        d = std::max(-g_scrollY, std::min(d, maxY - g_scrollY));
        if (d) {
            ScrollWindowEx(h, 0, -d, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
            g_scrollY += d;
            SetScrollPos(h, SB_VERT, g_scrollY, TRUE);
        }
        return 0;
    }
    case WM_SETFOCUS:
        CreateCaret(h, nullptr, g_cellW, g_cellH);
        SetCaretPos(2 * g_cellW, 1 * g_cellH - g_scrollY);
        ShowCaret(h);
        return 0;
    case WM_KILLFOCUS:
        DestroyCaret();
        return 0;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

// The client area's pixels, read through a DC.
std::vector<COLORREF> grab(HWND h) {
    RECT c;
    GetClientRect(h, &c);
    HDC dc = GetDC(h);
    std::vector<COLORREF> out;
    for (int y = 0; y < c.bottom; y++)
        for (int x = 0; x < c.right; x++) out.push_back(GetPixel(dc, x, y));
    ReleaseDC(h, dc);
    return out;
}

TEST(ScrollView, ScrolledPicturesEqualFullRepaints) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = viewProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = "ScrollView";
        RegisterClassA(&wc);
        registered = true;
    }
    UiThread ui;
    HWND h = ui.call<HWND>([] {
        LOGFONTA lf{};
        lf.lfHeight = -12;
        lf.lfCharSet = OEM_CHARSET;
        lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        lstrcpyA(lf.lfFaceName, "Terminal");
        g_font = CreateFontIndirectA(&lf);
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, g_font);
        TEXTMETRICA tm;
        GetTextMetricsA(dc, &tm);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        g_cellW = tm.tmAveCharWidth;
        g_cellH = tm.tmHeight + tm.tmExternalLeading;
        g_scrollY = 0;
        HWND w = CreateWindowExA(0, "ScrollView", "View", WS_OVERLAPPED | WS_CAPTION | WS_VSCROLL | WS_VISIBLE, 100,
                                 100, kCols * g_cellW + 40, 12 * g_cellH + 40, nullptr, nullptr, nullptr, nullptr);
        RECT c;
        GetClientRect(w, &c);
        SetScrollRange(w, SB_VERT, 0, kRows * g_cellH - c.bottom, TRUE);
        SetFocus(w);
        return w;
    });
    ui.idle();
    RECT wr;
    GetWindowRect(h, &wr);
    int barX = wr.right - 3 - 8;
    auto check = [&](const char *what) {
        ui.idle();
        std::vector<COLORREF> scrolled = grab(h);
        ui.run([&] {
            InvalidateRect(h, nullptr, FALSE);
            UpdateWindow(h);
        });
        EXPECT_EQ(scrolled, grab(h)) << what;
    };
    int before = g_paints;
    WapiClick(nullptr, barX, wr.bottom - 3 - 8); // one line down
    check("line down");
    EXPECT_EQ(ui.call<int>([] { return g_scrollY; }), g_cellH);
    WapiClick(nullptr, barX, wr.bottom - 3 - 30); // page down (below the thumb)
    check("page down");
    WapiClick(nullptr, barX, wr.top + 3 + 19 + 8); // line up
    check("line up");
    EXPECT_GT(g_paints, before);
    // The caret is drawn over the cursor cell in what is shown.
    ui.run([&] {
        SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 0, 0};
        SendMessageA(h, WM_VSCROLL, SB_TOP, 0);
        (void)si;
        SetCaretPos(2 * g_cellW, 1 * g_cellH);
    });
    ui.idle();
    POINT o{0, 0};
    ClientToScreen(h, &o);
    int cx = o.x + 2 * g_cellW + g_cellW / 2, cy = o.y + g_cellH + 1;
    HDC dc = GetDC(h);
    COLORREF under = GetPixel(dc, 2 * g_cellW + g_cellW / 2, g_cellH + 1);
    ReleaseDC(h, dc);
    EXPECT_EQ(WapiGetScreenPixel(cx, cy), under ^ 0xFFFFFF);
    std::string path = tempPath("scroll_view.png");
    EXPECT_TRUE(WapiSnapshotWindow(h, path.c_str()));
    ui.run([&] {
        DestroyWindow(h);
        DeleteObject(g_font);
    });
}

} // namespace
