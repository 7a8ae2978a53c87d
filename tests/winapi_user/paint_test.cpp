// Painting and drawing: update regions and WM_PAINT, erasing with the
// class brush, parents before children, ScrollWindowEx, the caret, GDI
// drawing and text checked by sampling pixels, and snapshots read back.
#include "ui.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

COLORREF pixel(HWND h, int x, int y) {
    HDC dc = GetDC(h);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(h, dc);
    return c;
}

void pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

class Paint : public RecordingTest {};

TEST_F(Paint, InvalidationGivesOneWmPaintWithTheUnionAndErase) {
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    pump();
    RECT paint{};
    int paints = 0;
    Recorder::get().hook = [&](HWND w, UINT msg, WPARAM, LPARAM, LRESULT *out) {
        if (w != h || msg != WM_PAINT) return false;
        paints++;
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        paint = ps.rcPaint;
        EndPaint(w, &ps);
        *out = 0;
        return true;
    };
    Recorder::get().clear();
    RECT a{10, 10, 20, 20}, b{50, 30, 60, 40};
    InvalidateRect(h, &a, TRUE);
    InvalidateRect(h, &b, FALSE);
    RECT u;
    EXPECT_TRUE(GetUpdateRect(h, &u, FALSE));
    EXPECT_EQ(u.left, 10);
    EXPECT_EQ(u.bottom, 40);
    pump();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(paint.left, 10);
    EXPECT_EQ(paint.top, 10);
    EXPECT_EQ(paint.right, 60);
    EXPECT_EQ(paint.bottom, 40);
    EXPECT_EQ(Recorder::get().of(WM_ERASEBKGND).size(), 1u);
    EXPECT_FALSE(GetUpdateRect(h, &u, FALSE));
    // Validated before the queue is looked at: no WM_PAINT.
    InvalidateRect(h, nullptr, FALSE);
    ValidateRect(h, nullptr);
    pump();
    EXPECT_EQ(paints, 1);
    // UpdateWindow paints at once, without the queue.
    InvalidateRect(h, &a, FALSE);
    UpdateWindow(h);
    EXPECT_EQ(paints, 2);
    DestroyWindow(h);
}

TEST_F(Paint, EraseUsesTheClassBrushAndChildrenPaintAfterTheirParent) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_BTNFACE + 1));
    wc.lpszClassName = "FaceRec";
    RegisterClassA(&wc);
    HWND p = CreateWindowExA(0, "FaceRec", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND c = CreateWindowExA(0, "Rec", "", WS_CHILD | WS_VISIBLE, 20, 20, 40, 30, p, nullptr, nullptr, nullptr);
    Recorder::get().clear();
    pump();
    EXPECT_EQ(pixel(p, 5, 5), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(pixel(c, 5, 5), RGB(255, 255, 255));
    std::vector<HWND> order;
    for (const Rec &r : Recorder::get().of(WM_PAINT)) order.push_back(r.hwnd);
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0], p);
    EXPECT_EQ(order[1], c);
    // Invalidating the parent repaints the child over what the parent erased.
    InvalidateRect(p, nullptr, TRUE);
    pump();
    EXPECT_EQ(pixel(c, 5, 5), RGB(255, 255, 255));
    EXPECT_EQ(pixel(p, 21, 21), RGB(255, 255, 255)); // the parent's DC sees the child's pixels
    // The class brush can be changed for the class.
    SetClassLongA(c, GCL_HBRBACKGROUND, static_cast<LONG>(reinterpret_cast<uintptr_t>(GetStockObject(BLACK_BRUSH))));
    InvalidateRect(c, nullptr, TRUE);
    pump();
    EXPECT_EQ(pixel(c, 5, 5), RGB(0, 0, 0));
    SetClassLongA(c, GCL_HBRBACKGROUND, static_cast<LONG>(reinterpret_cast<uintptr_t>(GetStockObject(WHITE_BRUSH))));
    DestroyWindow(p);
    UnregisterClassA("FaceRec", nullptr);
}

TEST_F(Paint, ScrollWindowExMovesPixelsAndInvalidatesTheUncoveredStrip) {
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    pump();
    HDC dc = GetDC(h);
    RECT band{0, 40, 100, 50};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &band, red);
    ReleaseDC(h, dc);
    RECT upd;
    int r = ScrollWindowEx(h, 0, -30, nullptr, nullptr, nullptr, &upd, SW_INVALIDATE);
    EXPECT_EQ(r, SIMPLEREGION);
    EXPECT_EQ(upd.top, 70);
    EXPECT_EQ(upd.bottom, 100);
    EXPECT_EQ(pixel(h, 50, 15), RGB(255, 0, 0)); // moved up by 30
    EXPECT_EQ(pixel(h, 50, 45), RGB(255, 255, 255));
    RECT u;
    ASSERT_TRUE(GetUpdateRect(h, &u, FALSE));
    EXPECT_EQ(u.top, 70);
    ValidateRect(h, nullptr);
    // An update region inside the scrolled area moves with it.
    RECT inv{10, 60, 20, 65};
    InvalidateRect(h, &inv, FALSE);
    ScrollWindowEx(h, 0, -10, nullptr, nullptr, nullptr, nullptr, 0);
    ASSERT_TRUE(GetUpdateRect(h, &u, FALSE));
    EXPECT_EQ(u.top, 50);
    EXPECT_EQ(u.bottom, 55);
    // Horizontal ScrollWindow.
    ValidateRect(h, nullptr);
    ScrollWindow(h, 20, 0, nullptr, nullptr);
    ASSERT_TRUE(GetUpdateRect(h, &u, FALSE));
    EXPECT_EQ(u.left, 0);
    EXPECT_EQ(u.right, 20);
    DeleteObject(red);
    DestroyWindow(h);
}

TEST_F(Paint, GdiShapesLinesAndBlitsOnAMemoryBitmap) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, 64, 64);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldBm = SelectObject(mem, bm);
    RECT all{0, 0, 64, 64};
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    // Rectangle: pen outline, brush inside, right and bottom excluded.
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    HGDIOBJ op = SelectObject(mem, pen), ob = SelectObject(mem, green);
    Rectangle(mem, 10, 10, 20, 20);
    EXPECT_EQ(GetPixel(mem, 10, 10), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(mem, 19, 19), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(mem, 15, 15), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(mem, 20, 20), RGB(255, 255, 255));
    // LineTo leaves out the last point.
    MoveToEx(mem, 30, 5, nullptr);
    LineTo(mem, 40, 5);
    EXPECT_EQ(GetPixel(mem, 30, 5), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(mem, 39, 5), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(mem, 40, 5), RGB(255, 255, 255));
    POINT cur;
    GetCurrentPositionEx(mem, &cur);
    EXPECT_EQ(cur.x, 40);
    // Raster operations.
    RECT sq{0, 40, 8, 48};
    FillRect(mem, &sq, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    PatBlt(mem, 0, 40, 4, 8, DSTINVERT);
    EXPECT_EQ(GetPixel(mem, 1, 41), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(mem, 5, 41), RGB(0, 0, 0));
    PatBlt(mem, 0, 40, 8, 8, PATINVERT); // green brush xor
    EXPECT_EQ(GetPixel(mem, 1, 41), RGB(255, 0, 255));
    EXPECT_EQ(GetPixel(mem, 5, 41), RGB(0, 255, 0));
    // BitBlt between DCs, SRCCOPY and SRCINVERT.
    HDC mem2 = CreateCompatibleDC(mem);
    HBITMAP bm2 = CreateCompatibleBitmap(mem, 16, 16);
    HGDIOBJ old2 = SelectObject(mem2, bm2);
    BitBlt(mem2, 0, 0, 16, 16, mem, 8, 8, SRCCOPY);
    EXPECT_EQ(GetPixel(mem2, 2, 2), RGB(0, 0, 255));   // (10,10)
    EXPECT_EQ(GetPixel(mem2, 7, 7), RGB(0, 255, 0));   // (15,15)
    BitBlt(mem2, 0, 0, 16, 16, mem, 8, 8, SRCINVERT);  // x xor x = 0
    EXPECT_EQ(GetPixel(mem2, 7, 7), RGB(0, 0, 0));
    // StretchBlt doubles.
    SetPixel(mem, 60, 60, RGB(1, 2, 3));
    StretchBlt(mem2, 0, 0, 4, 4, mem, 60, 60, 2, 2, SRCCOPY);
    EXPECT_EQ(GetPixel(mem2, 1, 1), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(mem2, 2, 2), RGB(255, 255, 255));
    // Monochrome to colour takes the DC's text and background colours.
    HBITMAP mono = CreateBitmap(8, 8, 1, 1, nullptr);
    HDC mdc = CreateCompatibleDC(mem);
    HGDIOBJ oldMono = SelectObject(mdc, mono);
    PatBlt(mdc, 0, 0, 4, 8, WHITENESS);
    PatBlt(mdc, 4, 0, 4, 8, BLACKNESS);
    SetTextColor(mem2, RGB(200, 0, 0));
    SetBkColor(mem2, RGB(0, 0, 200));
    BitBlt(mem2, 0, 0, 8, 8, mdc, 0, 0, SRCCOPY);
    EXPECT_EQ(GetPixel(mem2, 1, 1), RGB(0, 0, 200));
    EXPECT_EQ(GetPixel(mem2, 6, 1), RGB(200, 0, 0));
    BITMAP info{};
    EXPECT_EQ(GetObjectA(mono, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmBitsPixel, 1);
    EXPECT_EQ(info.bmWidth, 8);
    SelectObject(mdc, oldMono);
    DeleteDC(mdc);
    DeleteObject(mono);
    SelectObject(mem2, old2);
    DeleteDC(mem2);
    DeleteObject(bm2);
    SelectObject(mem, op);
    SelectObject(mem, ob);
    DeleteObject(pen);
    DeleteObject(green);
    SelectObject(mem, oldBm);
    DeleteDC(mem);
    DeleteObject(bm);
}

TEST_F(Paint, TextDrawingWithColoursModesAndClipping) {
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
    pump();
    HDC dc = GetDC(h);
    LOGFONTA lf{};
    lf.lfHeight = -18;
    lf.lfCharSet = OEM_CHARSET;
    lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpyA(lf.lfFaceName, "Terminal");
    HFONT f = CreateFontIndirectA(&lf);
    HGDIOBJ of = SelectObject(dc, f);
    TEXTMETRICA tm;
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    EXPECT_GT(tm.tmHeight, 10);
    EXPECT_GT(tm.tmAveCharWidth, 4);
    EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0); // fixed pitch: the bit is clear
    SIZE sz;
    GetTextExtentPoint32A(dc, "WWii", 4, &sz);
    EXPECT_EQ(sz.cx, 4 * tm.tmAveCharWidth);
    EXPECT_EQ(sz.cy, tm.tmHeight);
    // Opaque: the character cell takes the background colour; ink is the text colour.
    SetBkColor(dc, RGB(0, 0, 128));
    SetTextColor(dc, RGB(255, 255, 0));
    SetBkMode(dc, OPAQUE);
    TextOutA(dc, 10, 10, "H", 1);
    int ink = 0, back = 0, other = 0;
    for (int y = 10; y < 10 + tm.tmHeight; y++)
        for (int x = 10; x < 10 + tm.tmAveCharWidth; x++) {
            COLORREF c = GetPixel(dc, x, y);
            if (c == RGB(255, 255, 0)) ink++;
            else if (c == RGB(0, 0, 128)) back++;
            else other++;
        }
    EXPECT_GT(ink, 10);
    EXPECT_GT(back, ink);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(GetPixel(dc, 10 + tm.tmAveCharWidth, 12), RGB(255, 255, 255)); // nothing beyond the cell
    // Transparent: the background stays.
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 100, 10, "H", 1);
    int white = 0;
    ink = 0;
    for (int y = 10; y < 10 + tm.tmHeight; y++)
        for (int x = 100; x < 100 + tm.tmAveCharWidth; x++) {
            COLORREF c = GetPixel(dc, x, y);
            if (c == RGB(255, 255, 0)) ink++;
            if (c == RGB(255, 255, 255)) white++;
        }
    EXPECT_GT(ink, 10);
    EXPECT_GT(white, ink);
    // ETO_OPAQUE fills the rectangle; ETO_CLIPPED keeps the ink inside it.
    RECT box{150, 10, 154, 40};
    SetBkColor(dc, RGB(128, 0, 0));
    ExtTextOutA(dc, 150, 10, ETO_OPAQUE | ETO_CLIPPED, &box, "MMMM", 4, nullptr);
    EXPECT_EQ(GetPixel(dc, 153, 35), RGB(128, 0, 0));
    bool outside = false;
    for (int y = 10; y < 40; y++)
        for (int x = 154; x < 154 + 4 * tm.tmAveCharWidth; x++)
            if (GetPixel(dc, x, y) != RGB(255, 255, 255)) outside = true;
    EXPECT_FALSE(outside);
    // Box-drawing characters of code page 437 join across cells.
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextColor(dc, RGB(255, 255, 255));
    const char line[3] = {static_cast<char>(0xC4), static_cast<char>(0xC4), 0};
    TextOutA(dc, 200, 50, line, 2);
    int rowWithInk = -1;
    for (int y = 50; y < 50 + tm.tmHeight && rowWithInk < 0; y++)
        if (GetPixel(dc, 200, y) == RGB(255, 255, 255)) rowWithInk = y;
    ASSERT_GE(rowWithInk, 0);
    for (int x = 200; x < 200 + 2 * tm.tmAveCharWidth; x++) EXPECT_EQ(GetPixel(dc, x, rowWithInk), RGB(255, 255, 255)) << x;
    SelectObject(dc, of);
    DeleteObject(f);
    ReleaseDC(h, dc);
    DestroyWindow(h);
}

TEST_F(Paint, DrawTextMeasuresAlignsBreaksAndUnderlinesMnemonics) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, 200, 100);
    ReleaseDC(nullptr, screen);
    SelectObject(mem, bm);
    SelectObject(mem, GetStockObject(DEFAULT_GUI_FONT));
    RECT all{0, 0, 200, 100};
    FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    TEXTMETRICA tm;
    GetTextMetricsA(mem, &tm);
    SIZE ok;
    GetTextExtentPoint32A(mem, "OK", 2, &ok);
    RECT calc{0, 0, 0, 0};
    int hgt = DrawTextA(mem, "&OK", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(hgt, tm.tmHeight);
    EXPECT_EQ(calc.right, ok.cx); // the prefix takes no room
    // Word breaking: three short lines in a narrow box.
    SIZE word;
    GetTextExtentPoint32A(mem, "alpha", 5, &word);
    RECT narrow{0, 0, word.cx + 2, 0};
    hgt = DrawTextA(mem, "alpha beta gamma", -1, &narrow, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(hgt, 3 * tm.tmHeight);
    // Centred in a box, with the mnemonic underlined under the O.
    RECT box{0, 0, 200, 40};
    SetTextColor(mem, RGB(0, 0, 0));
    SetBkMode(mem, TRANSPARENT);
    DrawTextA(mem, "&OK", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    int left = 200, right = -1;
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 200; x++)
            if (GetPixel(mem, x, y) == RGB(0, 0, 0)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_NEAR((left + right) / 2, 100, 3);
    int textTop = (40 - tm.tmHeight) / 2;
    int underlineRow = textTop + tm.tmAscent + 1;
    int inkOnRow = 0;
    for (int x = 0; x < 200; x++)
        if (GetPixel(mem, x, underlineRow) == RGB(0, 0, 0)) inkOnRow++;
    SIZE o;
    GetTextExtentPoint32A(mem, "O", 1, &o);
    EXPECT_GE(inkOnRow, o.cx - 1);
    DeleteDC(mem);
    DeleteObject(bm);
}

TEST_F(Paint, CaretIsShownByInvertingAndSnapshotsReadBack) {
    HWND h = CreateWindowExA(0, "Rec", "Snap", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 30, 40, 200, 120, nullptr, nullptr,
                             nullptr, nullptr);
    pump();
    ASSERT_TRUE(CreateCaret(h, nullptr, 3, 12));
    SetCaretPos(20, 10);
    std::string path = tempPath("caret.png");
    // Hidden until shown.
    ASSERT_TRUE(WapiSnapshotWindow(h, path.c_str()));
    std::vector<uint32_t> px;
    int w, hh;
    ASSERT_TRUE(readPng(path, px, w, hh));
    EXPECT_EQ(w, 200);
    EXPECT_EQ(hh, 120);
    POINT o{0, 0};
    ClientToScreen(h, &o);
    int cx = o.x - 30 + 21, cy = o.y - 40 + 15;
    EXPECT_EQ(px[static_cast<size_t>(cy * w + cx)], 0xFFFFFFu);
    ShowCaret(h);
    ASSERT_TRUE(WapiSnapshotWindow(h, path.c_str()));
    ASSERT_TRUE(readPng(path, px, w, hh));
    EXPECT_EQ(px[static_cast<size_t>(cy * w + cx)], 0x000000u); // white inverted
    EXPECT_EQ(px[static_cast<size_t>(cy * w + cx + 3)], 0xFFFFFFu);
    // The window's own pixels are untouched by the caret.
    EXPECT_EQ(pixel(h, 21, 15), RGB(255, 255, 255));
    // The caption is drawn in the active caption colour.
    EXPECT_EQ(px[static_cast<size_t>(5 * w + 3)], ((GetSysColor(COLOR_ACTIVECAPTION) & 0xFF) << 16 |
                                                    (GetSysColor(COLOR_ACTIVECAPTION) & 0xFF00) |
                                                    (GetSysColor(COLOR_ACTIVECAPTION) >> 16 & 0xFF)));
    // The whole screen shows the window at its place over the desktop.
    std::string screen = tempPath("screen.png");
    ASSERT_TRUE(WapiSnapshotScreen(screen.c_str()));
    ASSERT_TRUE(readPng(screen, px, w, hh));
    EXPECT_EQ(w, 1024);
    EXPECT_EQ(hh, 768);
    EXPECT_EQ(WapiGetScreenPixel(o.x + 21, o.y + 15), RGB(0, 0, 0));
    EXPECT_EQ(WapiGetScreenPixel(2, 2), GetSysColor(COLOR_DESKTOP));
    DestroyCaret();
    EXPECT_EQ(WapiGetScreenPixel(o.x + 21, o.y + 15), RGB(255, 255, 255));
    DestroyWindow(h);
    EXPECT_FALSE(WapiSnapshotWindow(h, path.c_str()));
}

} // namespace

namespace {

TEST_F(Paint, ClipChildrenKeepsTheParentOffItsChildrenAndShowingPaintsThemAll) {
    HWND p = CreateWindowExA(0, "Rec", "", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND c = CreateWindowExA(0, "Rec", "", WS_CHILD | WS_VISIBLE, 10, 10, 30, 30, p, nullptr, nullptr, nullptr);
    Recorder::get().clear();
    ShowWindow(p, SW_SHOWNA);
    pump();
    std::vector<HWND> painted;
    for (const Rec &r : Recorder::get().of(WM_PAINT)) painted.push_back(r.hwnd);
    EXPECT_EQ(painted, (std::vector<HWND>{p, c}));
    HDC dc = GetDC(p);
    RECT all{0, 0, 100, 100};
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &all, blue);
    ReleaseDC(p, dc);
    EXPECT_EQ(pixel(p, 5, 5), RGB(0, 0, 255));
    EXPECT_EQ(pixel(c, 5, 5), RGB(255, 255, 255)); // the child's pixels stayed
    DeleteObject(blue);
    DestroyWindow(p);
}

} // namespace

namespace {

TEST_F(Paint, InvalidationFromAnotherThreadWakesTheOwnerToPaint) {
    UiThread ui;
    HWND h = ui.call<HWND>([] {
        return CreateWindowExA(0, "Rec", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    });
    ui.idle();
    Recorder::get().clear();
    RECT r{1, 2, 3, 4};
    EXPECT_TRUE(InvalidateRect(h, &r, TRUE));
    EXPECT_EQ(WapiWaitForIdle(h, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    auto paints = Recorder::get().of(WM_PAINT);
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_EQ(paints[0].hwnd, h);
    RECT u;
    EXPECT_FALSE(GetUpdateRect(h, &u, FALSE)); // DefWindowProc validated it
    ui.run([&] { DestroyWindow(h); });
}

} // namespace

namespace {

TEST_F(Paint, TheScreenSizeCanBeChanged) {
    EXPECT_FALSE(WapiSetScreenSize(100, 100));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(WapiSetScreenSize(800, 600));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
    RECT d;
    GetWindowRect(GetDesktopWindow(), &d);
    EXPECT_EQ(d.bottom, 600);
    std::string path = tempPath("screen800.png");
    ASSERT_TRUE(WapiSnapshotScreen(path.c_str()));
    std::vector<uint32_t> px;
    int w, h;
    ASSERT_TRUE(readPng(path, px, w, h));
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_EQ(WapiGetScreenPixel(900, 10), CLR_INVALID);
    ASSERT_TRUE(WapiSetScreenSize(1024, 768));
}

} // namespace
