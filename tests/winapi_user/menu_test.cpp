// Menus driven as a person would: Alt and mnemonics, arrows and Enter,
// WM_MENUCHAR for characters no item has, grayed items, the mouse on the
// bar and in the drop-down; menu objects, templates and accelerators; and
// the scroll bars of WS_VSCROLL windows clicked and dragged.
#include "ui.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

enum { kDownload = 40002, kUpload = 40001, kExit = 40003, kEcho = 40010, kClear = 40007 };

HMENU buildMenu() {
    HMENU bar = CreateMenu(), file = CreatePopupMenu(), sess = CreatePopupMenu();
    AppendMenuA(file, MF_STRING | MF_GRAYED, kDownload, "&Download...\tAlt+D");
    AppendMenuA(file, MF_STRING, kUpload, "&Upload...\tAlt+U");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, kExit, "E&xit Terminal\tAlt+X");
    AppendMenuA(sess, MF_STRING, kClear, "&Clear Screen\tAlt+C");
    AppendMenuA(sess, MF_STRING, kEcho, "&Echo Keyboard Characters\tAlt+E");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sess), "&Session");
    return bar;
}

class Menus : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        frame = ui.call<HWND>([] {
            HWND f = CreateWindowExA(0, "Rec", "Menu Frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300, nullptr,
                                     buildMenu(), nullptr, nullptr);
            return f;
        });
        client = ui.call<HWND>([this] {
            HWND c = CreateWindowExA(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, frame, nullptr, nullptr, nullptr);
            SetFocus(c);
            return c;
        });
        ui.idle();
        Recorder::get().clear();
    }
    void TearDown() override {
        RecordingTest::TearDown();
        ui.run([this] { DestroyWindow(frame); });
    }
    void key(UINT vk) { gui::key(frame, vk); }
    void altKey(UINT vk) { gui::chord(frame, VK_MENU, vk); }
    std::vector<UINT> commands() {
        std::vector<UINT> out;
        for (const Rec &r : Recorder::get().of(WM_COMMAND))
            if (r.hwnd == frame) out.push_back(LOWORD(r.wParam));
        return out;
    }
    bool popupShown() {
        return ui.call<bool>([] {
            HWND p = FindWindowA("#32768", nullptr);
            return p && IsWindowVisible(p);
        });
    }
    UiThread ui;
    HWND frame = nullptr, client = nullptr;
};

TEST_F(Menus, AltMnemonicOpensTheDropDownAndEnterRunsTheItem) {
    altKey('F');
    ui.idle();
    EXPECT_TRUE(popupShown());
    // WM_INITMENUPOPUP for the File menu, whose first item is selected.
    auto init = Recorder::get().of(WM_INITMENUPOPUP);
    ASSERT_EQ(init.size(), 1u);
    HMENU file = ui.call<HMENU>([this] { return GetSubMenu(GetMenu(frame), 0); });
    EXPECT_EQ(reinterpret_cast<HMENU>(init[0].wParam), file);
    key(VK_DOWN); // Download (grayed) -> Upload
    key(VK_RETURN);
    ui.idle();
    EXPECT_EQ(commands(), std::vector<UINT>{kUpload});
    EXPECT_FALSE(popupShown());
    // The menu loop was entered and left.
    EXPECT_EQ(Recorder::get().of(WM_ENTERMENULOOP).size(), 1u);
    EXPECT_EQ(Recorder::get().of(WM_EXITMENULOOP).size(), 1u);
}

TEST_F(Menus, MnemonicsInsideTheDropDownAndGrayedItemsDoNothing) {
    altKey('F');
    WapiTypeText(frame, "x");
    ui.idle();
    EXPECT_EQ(commands(), std::vector<UINT>{kExit});
    Recorder::get().clear();
    altKey('F');
    WapiTypeText(frame, "d"); // Download is grayed: nothing runs, the menu stays
    ui.idle();
    EXPECT_TRUE(commands().empty());
    EXPECT_TRUE(popupShown());
    key(VK_ESCAPE); // back to the bar
    key(VK_ESCAPE); // out of the menu
    ui.idle();
    EXPECT_FALSE(popupShown());
    EXPECT_TRUE(commands().empty());
}

TEST_F(Menus, CharactersNoItemHasGoToWmMenuChar) {
    // The frame answers 'H' with MNC_CLOSE after running its own command,
    // as the terminal's frame does; other characters are ignored.
    Recorder::get().hook = [this](HWND h, UINT msg, WPARAM wp, LPARAM, LRESULT *out) {
        if (h != frame || msg != WM_MENUCHAR) return false;
        if (LOWORD(wp) == 'h' || LOWORD(wp) == 'H') {
            PostMessageA(h, WM_COMMAND, 40006, 0);
            *out = MAKELRESULT(0, MNC_CLOSE);
            return true;
        }
        return false;
    };
    altKey('H');
    ui.idle();
    auto mc = Recorder::get().of(WM_MENUCHAR);
    ASSERT_EQ(mc.size(), 1u);
    EXPECT_EQ(LOWORD(mc[0].wParam), 'h');
    EXPECT_EQ(HIWORD(mc[0].wParam), 0u); // from the bar, not a drop-down
    EXPECT_EQ(commands(), std::vector<UINT>{40006});
    EXPECT_FALSE(popupShown());
}

TEST_F(Menus, AltAloneSelectsTheBarAndArrowsMove) {
    key(VK_MENU);
    ui.idle();
    EXPECT_FALSE(popupShown()); // the bar is selected, nothing dropped down yet
    key(VK_RIGHT); // Session
    key(VK_DOWN);  // opens it
    ui.idle();
    EXPECT_TRUE(popupShown());
    key(VK_DOWN);
    key(VK_RETURN); // Echo
    ui.idle();
    EXPECT_EQ(commands(), std::vector<UINT>{kEcho});
}

TEST_F(Menus, MouseOnTheBarAndInTheDropDown) {
    RECT item{};
    ui.run([&] { GetMenuItemRect(frame, GetMenu(frame), 1, &item); });
    ASSERT_GT(item.right, item.left);
    WapiClick(nullptr, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ui.idle();
    EXPECT_TRUE(popupShown());
    HMENU sess = ui.call<HMENU>([this] { return GetSubMenu(GetMenu(frame), 1); });
    RECT sub{};
    ui.run([&] { GetMenuItemRect(frame, sess, 0, &sub); });
    ASSERT_GT(sub.bottom, sub.top);
    EXPECT_GE(sub.top, item.bottom - 1); // below the bar item
    WapiClick(nullptr, sub.left + 20, (sub.top + sub.bottom) / 2);
    ui.idle();
    EXPECT_EQ(commands(), std::vector<UINT>{kClear});
    EXPECT_FALSE(popupShown());
    // A click outside closes an open menu without a command.
    Recorder::get().clear();
    WapiClick(nullptr, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ui.idle();
    EXPECT_TRUE(popupShown());
    WapiClick(nullptr, 900, 700);
    ui.idle();
    EXPECT_FALSE(popupShown());
    EXPECT_TRUE(commands().empty());
}

TEST(MenuObjects, StatesPositionsTemplatesAndAccelerators) {
    HMENU bar = buildMenu();
    HMENU file = GetSubMenu(bar, 0);
    EXPECT_EQ(GetMenuItemCount(file), 4);
    EXPECT_EQ(GetMenuItemID(file, 1), static_cast<UINT>(kUpload));
    EXPECT_EQ(GetMenuItemID(bar, 0), static_cast<UINT>(-1)); // a popup
    EXPECT_EQ(GetMenuState(bar, kDownload, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED)); // found in a submenu
    EXPECT_EQ(EnableMenuItem(bar, kDownload, MF_ENABLED), MF_GRAYED);
    EXPECT_EQ(GetMenuState(file, kDownload, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED), 0u);
    EXPECT_EQ(EnableMenuItem(bar, 12345, MF_GRAYED), -1);
    EXPECT_EQ(CheckMenuItem(bar, kEcho, MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(bar, kEcho, MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
    EXPECT_EQ(GetMenuState(bar, 0, MF_BYPOSITION) >> 8, 4u); // a popup reports its item count
    char text[64];
    EXPECT_EQ(GetMenuStringA(file, 3, text, sizeof text, MF_BYPOSITION), 20);
    EXPECT_STREQ(text, "E&xit Terminal\tAlt+X");
    EXPECT_TRUE(DeleteMenu(file, kExit, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuItemCount(file), 3);
    EXPECT_TRUE(InsertMenuA(file, 0, MF_BYPOSITION | MF_STRING, 7, "First"));
    EXPECT_EQ(GetMenuItemID(file, 0), 7u);
    DestroyMenu(bar);
    EXPECT_FALSE(IsMenu(file));

    // An in-memory template: "&File" with two items, the second ending it,
    // then "&Help" with one item.
    std::vector<WORD> t = {0, 0};
    auto str = [&](const char *s) {
        for (; *s; s++) t.push_back(static_cast<WORD>(static_cast<unsigned char>(*s)));
        t.push_back(0);
    };
    t.push_back(MF_POPUP);
    str("&File");
    t.push_back(MF_GRAYED);
    t.push_back(101);
    str("&Open");
    t.push_back(MF_END);
    t.push_back(102);
    str("E&xit");
    t.push_back(MF_POPUP | MF_END);
    str("&Help");
    t.push_back(MF_END | MF_CHECKED);
    t.push_back(201);
    str("&About");
    HMENU loaded = LoadMenuIndirectA(t.data());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(GetMenuItemCount(loaded), 2);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(loaded, 0)), 2);
    EXPECT_EQ(GetMenuItemID(GetSubMenu(loaded, 1), 0), 201u);
    EXPECT_TRUE(GetMenuState(loaded, 101, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(loaded, 201, MF_BYCOMMAND) & MF_CHECKED);
    DestroyMenu(loaded);

    // Accelerators: Ctrl+Q and Alt+T.
    registerRecClass();
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ACCEL acc[2] = {{FVIRTKEY | FCONTROL, 'Q', 900}, {FVIRTKEY | FALT, 'T', 901}};
    HACCEL ha = CreateAcceleratorTableA(acc, 2);
    Recorder::get().clear();
    MSG m{};
    m.hwnd = h;
    m.message = WM_KEYDOWN;
    m.wParam = 'Q';
    EXPECT_EQ(TranslateAcceleratorA(h, ha, &m), 0); // Ctrl is not down in this thread
    m.message = WM_SYSKEYDOWN;
    m.wParam = 'T';
    m.lParam = 1 << 29;
    EXPECT_EQ(TranslateAcceleratorA(h, ha, &m), 1);
    auto cmds = Recorder::get().of(WM_COMMAND);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].wParam, static_cast<WPARAM>(MAKEWPARAM(901, 1)));
    DestroyAcceleratorTable(ha);
    DestroyWindow(h);
}

class ScrollBars : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        h = ui.call<HWND>([] {
            HWND w = CreateWindowExA(0, "Rec", "", WS_POPUP | WS_VISIBLE | WS_BORDER | WS_VSCROLL, 100, 100, 200, 200,
                                     nullptr, nullptr, nullptr, nullptr);
            SetScrollRange(w, SB_VERT, 0, 100, TRUE);
            return w;
        });
        ui.idle();
        Recorder::get().clear();
        GetWindowRect(h, &wr);
    }
    void TearDown() override { ui.run([this] { DestroyWindow(h); }); }
    std::vector<std::pair<int, int>> codes() {
        std::vector<std::pair<int, int>> out;
        for (const Rec &r : Recorder::get().of(WM_VSCROLL)) out.push_back({LOWORD(r.wParam), static_cast<SHORT>(HIWORD(r.wParam))});
        return out;
    }
    UiThread ui;
    HWND h = nullptr;
    RECT wr{};
};

TEST_F(ScrollBars, ArrowsAndTrackSendLineAndPageCodes) {
    int x = wr.right - 1 - 8; // inside the bar, inside the border
    WapiClick(nullptr, x, wr.top + 1 + 8);
    WapiClick(nullptr, x, wr.bottom - 1 - 8);
    WapiClick(nullptr, x, wr.bottom - 1 - 40); // below the thumb at position 0
    ui.idle();
    std::vector<std::pair<int, int>> expect = {{SB_LINEUP, 0},   {SB_ENDSCROLL, 0}, {SB_LINEDOWN, 0},
                                               {SB_ENDSCROLL, 0}, {SB_PAGEDOWN, 0}, {SB_ENDSCROLL, 0}};
    EXPECT_EQ(codes(), expect);
    // Nothing moved by itself: positions are the application's to set.
    EXPECT_EQ(GetScrollPos(h, SB_VERT), 0);
}

TEST_F(ScrollBars, DraggingTheThumbTracksAndEndsWithThumbPosition) {
    int x = wr.right - 1 - 8;
    int thumbY = wr.top + 1 + 16 + 8;
    WapiMouseButton(nullptr, x, thumbY, 0, TRUE);
    int track = (wr.bottom - wr.top - 2) - 32 - 16; // track length minus thumb
    WapiMouseMove(nullptr, x, thumbY + track / 2);
    WapiMouseButton(nullptr, x, thumbY + track / 2, 0, FALSE);
    ui.idle();
    auto c = codes();
    ASSERT_GE(c.size(), 3u);
    EXPECT_EQ(c[c.size() - 3].first, SB_THUMBTRACK);
    EXPECT_EQ(c[c.size() - 2].first, SB_THUMBPOSITION);
    EXPECT_NEAR(c[c.size() - 2].second, 50, 2);
    EXPECT_EQ(c.back().first, SB_ENDSCROLL);
}

TEST_F(ScrollBars, InfoIsClampedAndAnEmptyRangeHidesTheBar) {
    SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
    ui.run([&] {
        SCROLLINFO set{sizeof set, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 500, 0};
        EXPECT_EQ(SetScrollInfo(h, SB_VERT, &set, TRUE), 90); // top position is max - page + 1
        GetScrollInfo(h, SB_VERT, &si);
    });
    EXPECT_EQ(si.nPos, 90);
    EXPECT_EQ(si.nPage, 10u);
    RECT before;
    GetClientRect(h, &before);
    ui.run([&] { SetScrollRange(h, SB_VERT, 0, 0, TRUE); });
    RECT after;
    GetClientRect(h, &after);
    EXPECT_EQ(after.right, before.right + 16);
    EXPECT_FALSE(GetWindowLongA(h, GWL_STYLE) & WS_VSCROLL);
    ui.run([&] { SetScrollRange(h, SB_VERT, 0, 10, TRUE); });
    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_VSCROLL);
    int lo, hi;
    GetScrollRange(h, SB_VERT, &lo, &hi);
    EXPECT_EQ(hi, 10);
}

} // namespace

namespace {

TEST_F(Menus, TrackPopupMenuReturnsTheChosenCommand) {
    UINT chosen = 0;
    std::thread driver([&] {
        // Waits for the pop-up, then picks its second item by keyboard.
        gui::waitForWindow(nullptr, "#32768");
        key(VK_DOWN);
        key(VK_DOWN);
        key(VK_RETURN);
    });
    ui.run([&] {
        HMENU pop = CreatePopupMenu();
        AppendMenuA(pop, MF_STRING, 11, "&One");
        AppendMenuA(pop, MF_STRING, 12, "&Two");
        chosen = static_cast<UINT>(TrackPopupMenu(pop, TPM_RETURNCMD, 200, 200, 0, frame, nullptr));
        DestroyMenu(pop);
    });
    driver.join();
    EXPECT_EQ(chosen, 12u);
    EXPECT_TRUE(commands().empty()); // TPM_RETURNCMD sends no WM_COMMAND
}

TEST_F(Menus, SetForegroundWindowFromAnotherThreadActivatesThere) {
    HWND other = ui.call<HWND>([] {
        return CreateWindowExA(0, "Rec", "Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
    });
    ui.idle();
    EXPECT_EQ(ui.call<HWND>([] { return GetActiveWindow(); }), other);
    EXPECT_TRUE(SetForegroundWindow(frame));
    EXPECT_EQ(GetForegroundWindow(), frame);
    ui.idle();
    EXPECT_EQ(ui.call<HWND>([] { return GetActiveWindow(); }), frame);
    ui.run([&] { DestroyWindow(other); });
}

} // namespace
