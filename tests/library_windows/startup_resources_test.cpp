// What the library's start-up leaves behind: its module, the progress
// window's class, and its resources as Windows would find them in
// vorlex.dll: the menu, the icon, the button pictures and the dialogs.
#include "gui_driver.h"

#include "resources/resources.h"
#include "services/startup.h"

#include <vorlex.h>

#include <gtest/gtest.h>

#include <set>

using namespace gui;
using vorlex::libraryInstance;

namespace {

TEST(StartUp, KeepsItsModuleAndRegistersTheProgressWindowClass) {
    ASSERT_TRUE(libraryInstance);
    HMODULE self = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(&Func013), &self));
    EXPECT_EQ(libraryInstance, self);

    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(libraryInstance, "ZmodemTransfer", &wc));
    EXPECT_EQ(wc.cbWndExtra, DLGWINDOWEXTRA);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
}

TEST(Resources, TheTerminalMenu) {
    HMENU bar = LoadMenuA(libraryInstance, MAKEINTRESOURCEA(111));
    ASSERT_TRUE(bar);
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    char text[64];
    GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&File");
    GetMenuStringA(bar, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Session");

    struct Item {
        UINT id;
        const char *text;
        bool grayed;
    };
    auto expectItems = [&](HMENU menu, const std::vector<Item> &items) {
        ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(items.size()));
        for (int i = 0; i < static_cast<int>(items.size()); i++) {
            const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
            if (!items[i].text) {
                EXPECT_TRUE(state & MF_SEPARATOR) << i;
                continue;
            }
            EXPECT_EQ(GetMenuItemID(menu, i), items[i].id) << i;
            GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
            EXPECT_STREQ(text, items[i].text);
            EXPECT_EQ((state & MF_GRAYED) != 0, items[i].grayed) << items[i].text;
        }
    };
    expectItems(GetSubMenu(bar, 0), {{40002, "&Download...\tAlt+D", true},
                                      {40001, "&Upload...\tAlt+U", true},
                                      {0, nullptr, false},
                                      {40003, "E&xit Terminal\tAlt+X", false}});
    expectItems(GetSubMenu(bar, 1), {{40006, "&Hang Up (Drop Carrier)\tAlt+H", true},
                                      {40007, "&Clear Screen\tAlt+C", false},
                                      {40008, "&DoorWay Mode\tAlt+=", false},
                                      {40009, "Modem &Parameters...\tAlt+P", false},
                                      {40010, "&Echo Keyboard Characters\tAlt+E", false},
                                      {40012, "Change Terminal Type...\tAlt+T", false},
                                      {0, nullptr, false},
                                      {40005, "Capture Session To Disk...", false},
                                      {0, nullptr, false},
                                      {40011, "Display Comm Errors...", false}});
    DestroyMenu(bar);
}

// Draws an icon on white and reads its pixels back.
COLORREF iconPixel(HICON icon, int x, int y) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 32, 32};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    const COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return c;
}

TEST(Resources, TheIconIsATerminalWithAPlugInTwoSizes) {
    HICON icon = LoadIconA(libraryInstance, MAKEINTRESOURCEA(110));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    GetObjectA(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 32);
    EXPECT_EQ(bm.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // Top row first: the outline, green text on the black screen, and
    // the corner outside the picture lets the background through.
    EXPECT_EQ(iconPixel(icon, 1, 1), RGB(0, 0, 0));
    EXPECT_EQ(iconPixel(icon, 6, 6), RGB(0, 255, 0));
    EXPECT_EQ(iconPixel(icon, 8, 6), RGB(0, 0, 0));
    EXPECT_EQ(iconPixel(icon, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(iconPixel(icon, 31, 10), RGB(255, 255, 255));

    // The group names both images with their true sizes.
    HRSRC group = FindResourceA(libraryInstance, MAKEINTRESOURCEA(110), RT_GROUP_ICON);
    ASSERT_TRUE(group);
    const auto *g = static_cast<const BYTE *>(LockResource(LoadResource(libraryInstance, group)));
    ASSERT_EQ(g[4], 2);
    std::set<int> sizes;
    for (int i = 0; i < 2; i++) {
        const BYTE *e = g + 6 + 14 * i;
        sizes.insert(e[0]);
        const DWORD bytes = e[8] | e[9] << 8 | e[10] << 16 | static_cast<DWORD>(e[11]) << 24;
        HRSRC image = FindResourceA(libraryInstance, MAKEINTRESOURCEA(e[12] | e[13] << 8), RT_ICON);
        ASSERT_TRUE(image);
        EXPECT_EQ(SizeofResource(libraryInstance, image), bytes);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

class ButtonPictures : public ::testing::Test {
protected:
    void SetUp() override {
        bitmap = LoadBitmapA(libraryInstance, MAKEINTRESOURCEA(112));
        ASSERT_TRUE(bitmap);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    // The colours of a button's 38 x 38 pixels as the button bar copies them.
    std::set<COLORREF> colours(int button, int image) {
        std::set<COLORREF> out;
        for (int y = 0; y < 38; y++)
            for (int x = 0; x < 38; x++) out.insert(GetPixel(dc, 37 * button + x, 37 * image + y));
        return out;
    }
    HBITMAP bitmap = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
};

TEST_F(ButtonPictures, SevenButtonsNormalPressedAndDisabledIn37PixelCells) {
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 260);
    EXPECT_EQ(bm.bmHeight, 112);
    const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255), grey = RGB(128, 128, 128),
                   face = RGB(192, 192, 192);
    for (int image = 0; image < 3; image++) {
        for (int i = 0; i < 7; i++) {
            const int x = 37 * i, y = 37 * image;
            // Each 38-pixel button is framed in black on all four sides.
            for (int k = 0; k < 38; k++) {
                EXPECT_EQ(GetPixel(dc, x + k, y), black);
                EXPECT_EQ(GetPixel(dc, x + k, y + 37), black);
                EXPECT_EQ(GetPixel(dc, x, y + k), black);
                EXPECT_EQ(GetPixel(dc, x + 37, y + k), black);
            }
            // Raised buttons are lit from the top left; pressed ones sunk.
            EXPECT_EQ(GetPixel(dc, x + 1, y + 1), image == 1 ? grey : white) << i << "," << image;
            EXPECT_EQ(GetPixel(dc, x + 36, y + 36), image == 1 ? face : grey) << i << "," << image;
            EXPECT_EQ(GetPixel(dc, x + 4, y + 4), face);
        }
    }
    // Every picture is drawn, and the disabled ones only in greys.
    const std::set<COLORREF> greys{black, white, grey, face};
    for (int i = 0; i < 7; i++) {
        std::set<COLORREF> normal = colours(i, 0), disabled = colours(i, 2);
        EXPECT_GT(normal.size(), 4u) << "button " << i << " has no coloured picture";
        // Pressed: the same picture one pixel down and right.
        for (int y = 7; y < 31; y++) {
            for (int x = 7; x < 31; x++) {
                if (GetPixel(dc, 37 * i + x, y) == face) continue;
                ASSERT_EQ(GetPixel(dc, 37 * i + x + 1, 37 + y + 1), GetPixel(dc, 37 * i + x, y)) << i;
            }
        }
        for (COLORREF c : disabled) EXPECT_TRUE(greys.count(c)) << "button " << i << std::hex << " " << c;
        EXPECT_NE(disabled, normal);
    }
    // The download arrow is blue, the hang-up arrow red.
    EXPECT_TRUE(colours(3, 0).count(RGB(0, 0, 255)));
    EXPECT_TRUE(colours(1, 0).count(RGB(255, 0, 0)));
}

// The dialogs as their templates make them, without a procedure.
HWND create(WORD id) { return CreateDialogParamA(libraryInstance, MAKEINTRESOURCEA(id), nullptr, nullptr, 0); }

void expectPlace(HWND dialog, int id, int x, int y, int cx, int cy) {
    HWND control = GetDlgItem(dialog, id);
    ASSERT_TRUE(control) << id;
    RECT want = dialogUnits(dialog, x, y, cx, cy), got = placeIn(dialog, control);
    EXPECT_EQ(got.left, want.left) << id;
    EXPECT_EQ(got.top, want.top) << id;
    EXPECT_EQ(got.right - got.left, want.right - want.left) << id;
}

std::string className(HWND h) {
    char name[64] = "";
    GetClassNameA(h, name, sizeof name);
    return name;
}

TEST(Resources, TheProgressWindowsAreOfTheirOwnClass) {
    for (WORD id : {125, 126}) {
        HWND d = create(id);
        ASSERT_TRUE(d) << id;
        EXPECT_EQ(className(d), "ZmodemTransfer");
        EXPECT_EQ(text(d), id == 126 ? "Zmodem Send" : "Zmodem Receive");
        const LONG style = GetWindowLongA(d, GWL_STYLE);
        EXPECT_TRUE(style & WS_CAPTION);
        EXPECT_FALSE(style & WS_SYSMENU);
        EXPECT_FALSE(IsWindowVisible(d));
        EXPECT_TRUE(FindWindowExA(d, nullptr, "Static", id == 126 ? "Bytes Sent" : "Bytes Rcvd"));
        for (int field : {1000, 1001, 1002, 1004, 1005, 1006}) {
            HWND f = GetDlgItem(d, field);
            ASSERT_TRUE(f) << field;
            EXPECT_EQ(className(f), "Edit");
            EXPECT_TRUE(GetWindowLongA(f, GWL_STYLE) & ES_READONLY) << field;
        }
        expectPlace(d, 1000, 49, 5, 92, 12);
        expectPlace(d, 1006, 49, 73, 172, 12);
        expectPlace(d, 1004, 177, 39, 44, 12);
        expectPlace(d, 1003, 10, 95, 224, 14);
        expectPlace(d, IDCANCEL, 105, 120, 34, 14);
        EXPECT_EQ(className(GetDlgItem(d, 1003)), "msctls_progress32");
        EXPECT_EQ(itemText(d, IDCANCEL), "  Cancel  ");
        RECT client;
        GetClientRect(d, &client);
        EXPECT_EQ(client.right, dialogUnits(d, 0, 0, 244, 142).right);
        DestroyWindow(d);
    }
}

TEST(Resources, TheTerminalDialogs) {
    HWND session = create(123);
    ASSERT_TRUE(session);
    EXPECT_EQ(text(session), "Session Parameters");
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(session, 1016), GWL_STYLE) & LBS_NOTIFY);
    expectPlace(session, 1016, 5, 14, 48, 76);
    expectPlace(session, 1013, 187, 46, 33, 10);
    expectPlace(session, IDCANCEL, 175, 75, 50, 14);
    // Each radio group starts with its first button: checking one leaves
    // the other groups alone.
    for (int first : {1009, 1014, 1011}) EXPECT_TRUE(GetWindowLongA(GetDlgItem(session, first), GWL_STYLE) & WS_GROUP);
    EXPECT_FALSE(GetWindowLongA(GetDlgItem(session, 1010), GWL_STYLE) & WS_GROUP);
    EXPECT_TRUE(FindWindowExA(session, nullptr, "Button", "&Parity"));
    DestroyWindow(session);

    HWND protocol = create(124);
    ASSERT_TRUE(protocol);
    EXPECT_EQ(text(protocol), "Select A Protocol");
    expectPlace(protocol, 1008, 8, 8, 60, 64);
    expectPlace(protocol, IDOK, 76, 19, 40, 14);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(protocol, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
    DestroyWindow(protocol);

    HWND type = create(1548);
    ASSERT_TRUE(type);
    EXPECT_EQ(text(type), "Select Terminal Type");
    EXPECT_EQ(GetWindowLongA(GetDlgItem(type, 1024), GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(type, 1026), GWL_STYLE) & ES_UPPERCASE);
    expectPlace(type, 1026, 60, 27, 144, 12);
    expectPlace(type, 1025, 208, 29, 10, 10);
    EXPECT_EQ(itemText(type, 1025), "...");
    EXPECT_TRUE(FindWindowExA(type, nullptr, "Static", "KeyBoard File :"));
    DestroyWindow(type);
}

} // namespace
