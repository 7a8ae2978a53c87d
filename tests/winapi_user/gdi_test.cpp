// GDI objects and device contexts: what GetObjectA reports, saved states,
// clipping and regions, DIBs in several depths, stock objects, system
// colours and brushes, edges, icons.
#include "ui.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace uitest;

namespace {

struct MemDC {
    HDC dc;
    HBITMAP bm;
    HGDIOBJ old;
    MemDC(int w, int h) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bm = CreateCompatibleBitmap(screen, w, h);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bm);
        RECT r{0, 0, w, h};
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    ~MemDC() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bm);
    }
};

TEST(Gdi, ObjectsDescribeThemselves) {
    HPEN pen = CreatePen(PS_DASH, 1, RGB(1, 2, 3));
    LOGPEN lp{};
    EXPECT_EQ(GetObjectA(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DASH));
    EXPECT_EQ(lp.lopnColor, RGB(1, 2, 3));
    EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
    LOGBRUSH lb{BS_HATCHED, RGB(9, 8, 7), HS_CROSS};
    HBRUSH br = CreateBrushIndirect(&lb);
    LOGBRUSH back{};
    GetObjectA(br, sizeof back, &back);
    EXPECT_EQ(back.lbStyle, static_cast<UINT>(BS_HATCHED));
    EXPECT_EQ(back.lbHatch, static_cast<ULONG_PTR>(HS_CROSS));
    HFONT f = CreateFontA(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    LOGFONTA lf{};
    EXPECT_EQ(GetObjectA(f, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(GetObjectType(f), static_cast<DWORD>(OBJ_FONT));
    // Stock objects survive DeleteObject; deleted objects are gone.
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_PEN)), static_cast<DWORD>(OBJ_PEN));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_EQ(GetObjectType(pen), 0u);
    EXPECT_FALSE(DeleteObject(pen));
    DeleteObject(br);
    DeleteObject(f);
    // A bitmap selected into a DC is not deleted.
    MemDC m(4, 4);
    EXPECT_FALSE(DeleteObject(m.bm));
    EXPECT_EQ(GetObjectType(m.dc), static_cast<DWORD>(OBJ_MEMDC));
}

TEST(Gdi, SystemColoursBrushesAndMetrics) {
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
    EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), RGB(0, 0, 0));
    LOGBRUSH lb{};
    GetObjectA(GetSysColorBrush(COLOR_BTNFACE), sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
    // A brush value of COLOR_x + 1 fills with that colour.
    MemDC m(8, 8);
    RECT r{0, 0, 8, 8};
    FillRect(m.dc, &r, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_HIGHLIGHT + 1)));
    EXPECT_EQ(GetPixel(m.dc, 3, 3), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
    EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 16);
    EXPECT_EQ(GetDeviceCaps(m.dc, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(m.dc, BITSPIXEL), 32);
    // The desktop's default font is the system font, 16 pixels high: small fonts.
    HDC desk = GetWindowDC(GetDesktopWindow());
    int oldMode = SetMapMode(desk, MM_TEXT);
    EXPECT_EQ(oldMode, MM_TEXT);
    TEXTMETRICA tm;
    ASSERT_TRUE(GetTextMetricsA(desk, &tm));
    EXPECT_EQ(tm.tmHeight, 16);
    ReleaseDC(GetDesktopWindow(), desk);
}

TEST(Gdi, SavedStatesAndClipping) {
    MemDC m(40, 40);
    SetTextColor(m.dc, RGB(1, 1, 1));
    int level = SaveDC(m.dc);
    EXPECT_EQ(level, 1);
    SetTextColor(m.dc, RGB(2, 2, 2));
    IntersectClipRect(m.dc, 10, 10, 20, 20);
    RECT box;
    EXPECT_EQ(GetClipBox(m.dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.right, 20);
    RECT all{0, 0, 40, 40};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(m.dc, &all, red);
    EXPECT_EQ(GetPixel(m.dc, 15, 15), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(m.dc, 5, 5), CLR_INVALID); // outside the clip: not visible
    ExcludeClipRect(m.dc, 12, 12, 14, 14);
    EXPECT_EQ(GetClipBox(m.dc, &box), COMPLEXREGION);
    EXPECT_FALSE(PtVisible(m.dc, 13, 13));
    EXPECT_TRUE(PtVisible(m.dc, 11, 11));
    EXPECT_TRUE(RestoreDC(m.dc, -1));
    EXPECT_EQ(GetTextColor(m.dc), RGB(1, 1, 1));
    EXPECT_EQ(GetPixel(m.dc, 5, 5), RGB(255, 255, 255)); // clip gone
    EXPECT_FALSE(RestoreDC(m.dc, 1));                      // nothing saved any more
    // Regions as clip regions, and their arithmetic.
    HRGN a = CreateRectRgn(0, 0, 20, 20), b = CreateRectRgn(10, 10, 30, 30), c = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(c, a, b, RGN_AND), SIMPLEREGION);
    GetRgnBox(c, &box);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.bottom, 20);
    EXPECT_EQ(CombineRgn(c, a, b, RGN_DIFF), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(c, 5, 15));
    EXPECT_FALSE(PtInRegion(c, 15, 15));
    EXPECT_EQ(CombineRgn(c, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(c, 15, 15));
    EXPECT_TRUE(PtInRegion(c, 25, 25));
    SelectClipRgn(m.dc, c);
    FillRect(m.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SelectClipRgn(m.dc, nullptr);
    EXPECT_EQ(GetPixel(m.dc, 25, 25), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(m.dc, 15, 15), RGB(255, 0, 0));
    // Viewport origin moves the drawing.
    SetViewportOrgEx(m.dc, 5, 5, nullptr);
    SetPixel(m.dc, 0, 0, RGB(0, 255, 0));
    SetViewportOrgEx(m.dc, 0, 0, nullptr);
    EXPECT_EQ(GetPixel(m.dc, 5, 5), RGB(0, 255, 0));
    DeleteObject(a);
    DeleteObject(b);
    DeleteObject(c);
    DeleteObject(red);
}

TEST(Gdi, DibsInSeveralDepthsAndDibSections) {
    MemDC m(4, 2);
    // A bottom-up 24-bit DIB of 4 x 2: the first row in memory is the bottom one.
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 4;
    bi.bmiHeader.biHeight = 2;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    uint8_t rows[2][12] = {};
    rows[0][2] = 255;  // bottom-left red (BGR)
    rows[1][9] = 255;  // top row, x = 3: blue
    SetDIBitsToDevice(m.dc, 0, 0, 4, 2, 0, 0, 0, 2, rows, &bi, DIB_RGB_COLORS);
    EXPECT_EQ(GetPixel(m.dc, 0, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(m.dc, 3, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(m.dc, 1, 1), RGB(0, 0, 0));
    // An 8-bit DIB with a palette, stretched to double size.
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD pal[2];
    } b8{};
    b8.h.biSize = sizeof(BITMAPINFOHEADER);
    b8.h.biWidth = 2;
    b8.h.biHeight = -1; // top-down
    b8.h.biPlanes = 1;
    b8.h.biBitCount = 8;
    b8.h.biClrUsed = 2;
    b8.pal[1] = RGBQUAD{0, 200, 0, 0};
    uint8_t px8[4] = {0, 1, 0, 0};
    MemDC m2(4, 2);
    StretchDIBits(m2.dc, 0, 0, 4, 2, 0, 0, 2, 1, px8, reinterpret_cast<BITMAPINFO *>(&b8), DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(GetPixel(m2.dc, 3, 1), RGB(0, 200, 0));
    EXPECT_EQ(GetPixel(m2.dc, 1, 0), RGB(0, 0, 0));
    // GetDIBits gives the pixels back as a 32-bit top-down DIB.
    BITMAPINFO out{};
    out.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    out.bmiHeader.biWidth = 4;
    out.bmiHeader.biHeight = -2;
    out.bmiHeader.biPlanes = 1;
    out.bmiHeader.biBitCount = 32;
    uint32_t back[8] = {};
    SelectObject(m.dc, m.old); // a selected bitmap is read after it is deselected too
    EXPECT_EQ(GetDIBits(m.dc, m.bm, 0, 2, back, &out, DIB_RGB_COLORS), 2);
    m.old = SelectObject(m.dc, m.bm);
    EXPECT_EQ(back[3] & 0xFFFFFF, 0x0000FFu); // blue is the low byte
    EXPECT_EQ(back[4] & 0xFFFFFF, 0xFF0000u);
    // A 32-bit DIB section: what is drawn is in the application's memory, bottom-up.
    BITMAPINFO ds{};
    ds.bmiHeader = out.bmiHeader;
    ds.bmiHeader.biHeight = 2;
    void *bits = nullptr;
    HBITMAP sec = CreateDIBSection(m.dc, &ds, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(sec);
    ASSERT_TRUE(bits);
    HDC sdc = CreateCompatibleDC(m.dc);
    HGDIOBJ old = SelectObject(sdc, sec);
    SetPixel(sdc, 1, 0, RGB(10, 20, 30)); // top row
    auto *p = static_cast<uint32_t *>(bits);
    EXPECT_EQ(p[4 + 1] & 0xFFFFFF, 0x0A141Eu); // second row in memory
    p[0] = 0x00ABCDEF;                          // bottom-left, written by the application
    EXPECT_EQ(GetPixel(sdc, 0, 1), RGB(0xAB, 0xCD, 0xEF));
    DIBSECTION info{};
    EXPECT_EQ(GetObjectA(sec, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.dsBm.bmBits, bits);
    SelectObject(sdc, old);
    DeleteDC(sdc);
    DeleteObject(sec);
}

TEST(Gdi, EdgesAndIcons) {
    MemDC m(40, 40);
    RECT r{0, 0, 20, 20};
    DrawEdge(m.dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.bottom, 18);
    EXPECT_EQ(GetPixel(m.dc, 0, 5), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(GetPixel(m.dc, 1, 5), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(GetPixel(m.dc, 19, 5), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(GetPixel(m.dc, 18, 5), GetSysColor(COLOR_3DLIGHT));
    // DrawFocusRect twice leaves nothing behind.
    RECT f{22, 22, 38, 38};
    DrawFocusRect(m.dc, &f);
    EXPECT_EQ(GetPixel(m.dc, 22, 22), RGB(0, 0, 0));
    DrawFocusRect(m.dc, &f);
    EXPECT_EQ(GetPixel(m.dc, 22, 22), RGB(255, 255, 255));
    // The stop icon: red in the middle, the background left where transparent.
    MemDC ic(32, 32);
    HICON hand = LoadIconA(nullptr, IDI_HAND);
    ASSERT_TRUE(hand);
    EXPECT_EQ(LoadIconA(nullptr, IDI_HAND), hand);
    EXPECT_TRUE(DrawIcon(ic.dc, 0, 0, hand));
    EXPECT_EQ(GetPixel(ic.dc, 6, 16), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(ic.dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
}

TEST(Gdi, RectangleHelpers) {
    RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, d;
    EXPECT_TRUE(IntersectRect(&d, &a, &b));
    EXPECT_EQ(d.left, 5);
    EXPECT_EQ(d.right, 10);
    RECT far{30, 30, 40, 40};
    EXPECT_FALSE(IntersectRect(&d, &a, &far));
    EXPECT_TRUE(IsRectEmpty(&d));
    EXPECT_TRUE(UnionRect(&d, &a, &b));
    EXPECT_EQ(d.right, 20);
    RECT top{0, 0, 10, 4};
    EXPECT_TRUE(SubtractRect(&d, &a, &top));
    EXPECT_EQ(d.top, 4);
    RECT mid{2, 2, 4, 4};
    EXPECT_TRUE(SubtractRect(&d, &a, &mid)); // not a rectangle: unchanged
    EXPECT_EQ(d.top, 0);
    EXPECT_TRUE(PtInRect(&a, POINT{9, 9}));
    EXPECT_FALSE(PtInRect(&a, POINT{10, 9}));
    InflateRect(&a, 2, 3);
    EXPECT_EQ(a.left, -2);
    EXPECT_EQ(a.bottom, 13);
}

} // namespace

namespace {

TEST(Gdi, DibSectionsOfOtherDepthsStayInStepWithTheirBits) {
    // A 24-bit bottom-up section: drawing shows in the bits, and bits written
    // by the program show in drawing.
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 3;
    bi.bmiHeader.biHeight = 2;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP sec = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(sec);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, sec);
    SetPixel(dc, 2, 0, RGB(10, 20, 30)); // top row: the second row in memory
    auto *b = static_cast<uint8_t *>(bits);
    const int stride = 12; // 3 * 3 rounded up to 4 bytes
    EXPECT_EQ(b[stride + 6], 30); // blue first
    EXPECT_EQ(b[stride + 8], 10);
    b[0] = 0xFF; // bottom-left blue, from the program
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
    SelectObject(dc, old);
    // An 8-bit section with a palette: drawn colours map to the nearest entry.
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD pal[2];
    } b8{};
    b8.h = bi.bmiHeader;
    b8.h.biBitCount = 8;
    b8.h.biClrUsed = 2;
    b8.pal[1] = RGBQUAD{0, 0, 255, 0}; // red
    void *bits8 = nullptr;
    HBITMAP sec8 = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&b8), DIB_RGB_COLORS, &bits8, nullptr, 0);
    ASSERT_TRUE(sec8);
    old = SelectObject(dc, sec8);
    RECT r{0, 0, 3, 2};
    HBRUSH nearlyRed = CreateSolidBrush(RGB(200, 10, 10));
    FillRect(dc, &r, nearlyRed);
    EXPECT_EQ(static_cast<uint8_t *>(bits8)[0], 1);
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 0, 0));
    SelectObject(dc, old);
    DeleteObject(nearlyRed);
    DeleteDC(dc);
    DeleteObject(sec);
    DeleteObject(sec8);
}

} // namespace
