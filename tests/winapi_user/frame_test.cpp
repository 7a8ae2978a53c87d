// The frame of top-level windows as a person uses it: the close button,
// Alt+F4, F1 for help, hit tests of the frame's parts; and what happens to
// windows when another thread tries to destroy them or their thread ends.
#include "ui.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

class Frames : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        h = ui.call<HWND>([] {
            return CreateWindowExA(0, "Rec", "Frame", WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_VISIBLE, 200, 150, 300, 200,
                                   nullptr, nullptr, nullptr, nullptr);
        });
        ui.idle();
        GetWindowRect(h, &wr);
        Recorder::get().clear();
    }
    void TearDown() override {
        ui.run([this] {
            if (IsWindow(h)) DestroyWindow(h);
        });
    }
    LRESULT hit(int x, int y) { return SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(x, y)); }
    UiThread ui;
    HWND h = nullptr;
    RECT wr{};
};

TEST_F(Frames, HitTestsNameThePartsOfTheFrame) {
    EXPECT_EQ(hit(wr.left + 100, wr.top + 2), HTTOP);
    EXPECT_EQ(hit(wr.left + 1, wr.top + 100), HTLEFT);
    EXPECT_EQ(hit(wr.right - 1, wr.bottom - 1), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(wr.left + 100, wr.top + 12), HTCAPTION);
    EXPECT_EQ(hit(wr.left + 10, wr.top + 12), HTSYSMENU);
    EXPECT_EQ(hit(wr.right - 12, wr.top + 12), HTCLOSE);
    EXPECT_EQ(hit(wr.right - 4 - 8, wr.top + 4 + 19 + 30), HTVSCROLL);
    EXPECT_EQ(hit(wr.left + 50, wr.top + 60), HTCLIENT);
    EXPECT_EQ(hit(wr.left - 5, wr.top + 60), HTNOWHERE);
}

TEST_F(Frames, TheCloseButtonClosesOnlyWhenReleasedOverIt) {
    int x = wr.right - 12, y = wr.top + 12;
    // Pressed, then released elsewhere: nothing.
    WapiMouseButton(nullptr, x, y, 0, TRUE);
    WapiMouseButton(nullptr, x - 100, y + 50, 0, FALSE);
    ui.idle();
    EXPECT_TRUE(IsWindow(h));
    EXPECT_TRUE(Recorder::get().of(WM_CLOSE).empty());
    WapiClick(nullptr, x, y);
    ui.idle();
    auto sys = Recorder::get().of(WM_SYSCOMMAND);
    ASSERT_FALSE(sys.empty());
    EXPECT_EQ(sys[0].wParam & 0xFFF0, static_cast<WPARAM>(SC_CLOSE));
    EXPECT_EQ(Recorder::get().of(WM_CLOSE).size(), 1u);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Frames, AltF4ClosesAndF1AsksForHelp) {
    WapiSendKey(h, VK_F1, TRUE);
    WapiSendKey(h, VK_F1, FALSE);
    ui.idle();
    auto help = Recorder::get().of(WM_HELP);
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(reinterpret_cast<HELPINFO *>(help[0].lParam) != nullptr, true);
    WapiSendKey(h, VK_MENU, TRUE);
    WapiSendKey(h, VK_F4, TRUE);
    WapiSendKey(h, VK_F4, FALSE);
    WapiSendKey(h, VK_MENU, FALSE);
    ui.idle();
    EXPECT_EQ(Recorder::get().of(WM_CLOSE).size(), 1u);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(Frames, AWindowCannotBeDestroyedFromAnotherThread) {
    EXPECT_FALSE(DestroyWindow(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(h));
    // Posting WM_CLOSE is the way.
    PostMessageA(h, WM_CLOSE, 0, 0);
    ui.idle();
    EXPECT_FALSE(IsWindow(h));
}

TEST(ThreadWindows, WindowsEndWithTheirThread) {
    registerRecClass();
    HWND h = nullptr;
    std::thread t([&] {
        h = CreateWindowExA(0, "Rec", "Short lived", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                            nullptr, nullptr);
    });
    t.join();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(FindWindowA("Rec", "Short lived"), nullptr);
}

TEST(Classes, RegistrationRules) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "Twice";
    ATOM a = RegisterClassA(&wc);
    EXPECT_NE(a, 0);
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    WNDCLASSA info{};
    EXPECT_TRUE(GetClassInfoA(nullptr, "twice", &info)); // names ignore case
    EXPECT_EQ(info.lpfnWndProc, DefWindowProcA);
    // A class can be used by its atom.
    HWND h = CreateWindowExA(0, MAKEINTRESOURCEA(a), "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(h);
    EXPECT_FALSE(UnregisterClassA("Twice", nullptr)); // it has a window
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(h);
    EXPECT_TRUE(UnregisterClassA("Twice", nullptr));
    EXPECT_FALSE(GetClassInfoA(nullptr, "Twice", &info));
    wc.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassA(&wc), 0);
}

} // namespace

namespace {

TEST_F(Frames, DraggingTheCaptionMovesAndTheFrameSizes) {
    WapiMouseButton(nullptr, wr.left + 100, wr.top + 10, 0, TRUE);
    WapiMouseMove(nullptr, wr.left + 150, wr.top + 40);
    WapiMouseButton(nullptr, wr.left + 150, wr.top + 40, 0, FALSE);
    ui.idle();
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, wr.left + 50);
    EXPECT_EQ(r.top, wr.top + 30);
    EXPECT_EQ(r.right - r.left, wr.right - wr.left);
    EXPECT_FALSE(Recorder::get().of(WM_MOVE).empty());
    // The bottom-right corner: bigger by 40 x 20, with WM_SIZE.
    Recorder::get().clear();
    WapiMouseButton(nullptr, r.right - 1, r.bottom - 1, 0, TRUE);
    WapiMouseMove(nullptr, r.right + 39, r.bottom + 19);
    WapiMouseButton(nullptr, r.right + 39, r.bottom + 19, 0, FALSE);
    ui.idle();
    RECT s;
    GetWindowRect(h, &s);
    EXPECT_EQ(s.right - s.left, r.right - r.left + 40);
    EXPECT_EQ(s.bottom - s.top, r.bottom - r.top + 20);
    EXPECT_EQ(s.left, r.left);
    EXPECT_FALSE(Recorder::get().of(WM_SIZE).empty());
    EXPECT_EQ(Recorder::get().of(WM_EXITSIZEMOVE).size(), 1u);
    // Not smaller than the minimum tracking size.
    WapiMouseButton(nullptr, s.right - 1, s.bottom - 1, 0, TRUE);
    WapiMouseMove(nullptr, s.left - 300, s.top - 300);
    WapiMouseButton(nullptr, s.left - 300, s.top - 300, 0, FALSE);
    ui.idle();
    GetWindowRect(h, &r);
    EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXMINTRACK));
    EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYMINTRACK));
}

} // namespace

namespace {

TEST_F(Frames, TheWindowMenuByAltSpaceAndByItsIcon) {
    gui::chord(h, VK_MENU, VK_SPACE);
    HWND popup = FindWindowA("#32768", nullptr);
    ASSERT_TRUE(popup);
    EXPECT_TRUE(IsWindowVisible(popup));
    gui::key(h, 'N'); // Minimize
    EXPECT_TRUE(IsIconic(h));
    ui.run([this] { ShowWindow(h, SW_RESTORE); });
    // A click on the icon, then Close.
    WapiClick(nullptr, wr.left + 10, wr.top + 12);
    ui.idle();
    ASSERT_TRUE(FindWindowA("#32768", nullptr));
    HMENU sys = ui.call<HMENU>([this] { return GetSystemMenu(h, FALSE); });
    ASSERT_TRUE(sys);
    EXPECT_EQ(GetMenuItemCount(sys), 7);
    EXPECT_TRUE(GetMenuState(sys, SC_RESTORE, MF_BYCOMMAND) & MF_GRAYED); // not minimised now
    WapiTypeText(h, "c");
    ui.idle();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(Recorder::get().of(WM_CLOSE).size(), 1u);
}

} // namespace
