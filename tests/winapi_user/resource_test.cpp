// Resources of a module used by the window manager: menus (also as a
// class menu), bitmaps, icons from an icon group, accelerators.
#include "ui.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace uitest;

namespace {

HMODULE self() { return GetModuleHandleA(nullptr); }

std::vector<WORD> menuTemplate() {
    std::vector<WORD> t = {0, 0};
    auto str = [&](const char *s) {
        for (; *s; s++) t.push_back(static_cast<WORD>(static_cast<unsigned char>(*s)));
        t.push_back(0);
    };
    t.push_back(MF_POPUP | MF_END);
    str("&File");
    t.push_back(MF_END);
    t.push_back(301);
    str("E&xit");
    return t;
}

TEST(Resources, MenusLoadByIdAndAsClassMenus) {
    static std::vector<WORD> tmpl = menuTemplate();
    ASSERT_TRUE(WapiAddResource(self(), RT_MENU, MAKEINTRESOURCEA(111), tmpl.data(), static_cast<DWORD>(tmpl.size() * 2)));
    HMENU m = LoadMenuA(self(), MAKEINTRESOURCEA(111));
    ASSERT_TRUE(m);
    EXPECT_EQ(GetMenuItemID(GetSubMenu(m, 0), 0), 301u);
    DestroyMenu(m);
    EXPECT_EQ(LoadMenuA(self(), MAKEINTRESOURCEA(112)), nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = self();
    wc.lpszMenuName = MAKEINTRESOURCEA(111);
    wc.lpszClassName = "WithClassMenu";
    RegisterClassA(&wc);
    HWND h = CreateWindowExA(0, "WithClassMenu", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, self(), nullptr);
    ASSERT_TRUE(h);
    HMENU cm = GetMenu(h);
    ASSERT_TRUE(cm);
    EXPECT_EQ(GetMenuItemCount(cm), 1);
    // The bar takes room from the client area.
    RECT c;
    GetClientRect(h, &c);
    EXPECT_EQ(c.bottom, 100 - 2 * 4 - 19 - 19);
    DestroyWindow(h);
    UnregisterClassA("WithClassMenu", self());
}

TEST(Resources, BitmapsAndIconsComeFromTheirDibs) {
    // A 2 x 2 24-bit bitmap: bottom row red, green; top row blue, white.
    static BYTE bmp[sizeof(BITMAPINFOHEADER) + 16];
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = 2;
    h.biHeight = 2;
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::memcpy(bmp, &h, sizeof h);
    BYTE *bits = bmp + sizeof h;
    const BYTE rows[16] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
    std::memcpy(bits, rows, 16);
    ASSERT_TRUE(WapiAddResource(self(), RT_BITMAP, MAKEINTRESOURCEA(112), bmp, sizeof bmp));
    HBITMAP b = LoadBitmapA(self(), MAKEINTRESOURCEA(112));
    ASSERT_TRUE(b);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 255));
    SelectObject(dc, old);
    DeleteObject(b);

    // A 4 x 4 32-bit icon image, all yellow, with a transparent left column.
    static BYTE ico[sizeof(BITMAPINFOHEADER) + 4 * 4 * 4 + 4 * 4];
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof ih;
    ih.biWidth = 4;
    ih.biHeight = 8;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    std::memcpy(ico, &ih, sizeof ih);
    uint32_t *px = reinterpret_cast<uint32_t *>(ico + sizeof ih);
    for (int i = 0; i < 16; i++) px[i] = 0x00FFFF00;
    BYTE *mask = ico + sizeof ih + 64;
    for (int r = 0; r < 4; r++) mask[r * 4] = 0x80; // leftmost pixel of every row
    ASSERT_TRUE(WapiAddResource(self(), RT_ICON, MAKEINTRESOURCEA(1), ico, sizeof ico));
    static BYTE group[6 + 14] = {0, 0, 1, 0, 1, 0, 4, 4, 0, 0, 1, 0, 32, 0, sizeof ico & 0xFF, sizeof ico >> 8, 0, 0, 1, 0};
    ASSERT_TRUE(WapiAddResource(self(), RT_GROUP_ICON, MAKEINTRESOURCEA(110), group, sizeof group));
    HICON icon = LoadIconA(self(), MAKEINTRESOURCEA(110));
    ASSERT_TRUE(icon);
    HBITMAP canvas = CreateBitmap(4, 4, 1, 32, nullptr);
    old = SelectObject(dc, canvas);
    PatBlt(dc, 0, 0, 4, 4, BLACKNESS);
    DrawIconEx(dc, 0, 0, icon, 4, 4, 0, nullptr, DI_NORMAL);
    EXPECT_EQ(GetPixel(dc, 0, 2), RGB(0, 0, 0));      // transparent: untouched
    EXPECT_EQ(GetPixel(dc, 2, 2), RGB(255, 255, 0));  // the image
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    DestroyIcon(icon);
}

TEST(Resources, AcceleratorTables) {
    // Ctrl+Z (virtual key) and the last entry flagged with 0x80.
    static WORD acc[8] = {FVIRTKEY | FCONTROL, 'Z', 500, 0, 0x80 | FVIRTKEY, VK_F5, 501, 0};
    ASSERT_TRUE(WapiAddResource(self(), RT_ACCELERATOR, "KEYS", acc, sizeof acc));
    HACCEL h = LoadAcceleratorsA(self(), "keys");
    ASSERT_TRUE(h);
    ACCEL out[4];
    ASSERT_EQ(CopyAcceleratorTableA(h, out, 4), 2);
    EXPECT_EQ(out[0].cmd, 500);
    EXPECT_EQ(out[1].key, VK_F5);
    EXPECT_EQ(out[1].fVirt, FVIRTKEY);
    DestroyAcceleratorTable(h);
}

} // namespace
