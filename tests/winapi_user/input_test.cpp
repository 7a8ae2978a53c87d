// Injected input as a person gives it from another thread: typed text
// becomes key and character messages with the right key data, modifiers
// show in GetKeyState, Alt makes system keys, clicks reach the window
// under the pointer (client or non-client), double clicks, capture, and
// disabled windows get nothing.
#include "ui.h"

#include <gtest/gtest.h>

using namespace uitest;

namespace {

class Input : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        top = ui.call<HWND>([] {
            HWND t = CreateWindowExA(0, "Rec", "Input", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                                     nullptr, nullptr, nullptr);
            return t;
        });
        child = ui.call<HWND>([this] {
            HWND c = CreateWindowExA(0, "Rec", "", WS_CHILD | WS_VISIBLE, 10, 10, 100, 50, top, nullptr, nullptr, nullptr);
            SetFocus(c);
            return c;
        });
        ui.idle();
        Recorder::get().clear();
    }
    void TearDown() override {
        RecordingTest::TearDown();
        ui.run([this] { DestroyWindow(top); });
    }
    std::string chars(HWND h, UINT msg = WM_CHAR) {
        std::string s;
        for (const Rec &r : Recorder::get().of(msg))
            if (r.hwnd == h) s += static_cast<char>(r.wParam);
        return s;
    }
    UiThread ui;
    HWND top = nullptr, child = nullptr;
};

TEST_F(Input, TypedTextArrivesAsCharactersAtTheFocusWindow) {
    ASSERT_TRUE(WapiTypeText(top, "Hello, World! 123\n"));
    ui.idle();
    EXPECT_EQ(chars(child), "Hello, World! 123\r");
    EXPECT_EQ(chars(top), "");
    // Key downs come before their characters, and every down has its up.
    auto downs = Recorder::get().of(WM_KEYDOWN);
    auto ups = Recorder::get().of(WM_KEYUP);
    EXPECT_EQ(downs.size(), ups.size());
    EXPECT_FALSE(downs.empty());
}

TEST_F(Input, KeyDataCarriesScanCodeExtendedBitAndTransition) {
    WapiSendKey(top, VK_UP, TRUE);
    WapiSendKey(top, VK_UP, FALSE);
    WapiSendKeyEx(top, VK_UP, 0, 0); // the keypad's Up: no extended bit
    WapiSendKeyEx(top, VK_UP, 0, KEYEVENTF_KEYUP);
    WapiSendKey(top, 'A', TRUE);
    WapiSendKey(top, 'A', TRUE); // held: a repeat
    WapiSendKey(top, 'A', FALSE);
    ui.idle();
    auto downs = Recorder::get().of(WM_KEYDOWN);
    auto ups = Recorder::get().of(WM_KEYUP);
    ASSERT_EQ(downs.size(), 4u);
    ASSERT_EQ(ups.size(), 3u);
    auto scan = [](LPARAM lp) { return (static_cast<DWORD>(lp) >> 16) & 0xFF; };
    auto ext = [](LPARAM lp) { return (static_cast<DWORD>(lp) >> 24) & 1; };
    EXPECT_EQ(scan(downs[0].lParam), 0x48u);
    EXPECT_EQ(ext(downs[0].lParam), 1u);
    EXPECT_EQ(scan(downs[1].lParam), 0x48u);
    EXPECT_EQ(ext(downs[1].lParam), 0u);
    EXPECT_EQ(scan(downs[2].lParam), 0x1Eu);
    EXPECT_EQ((static_cast<DWORD>(downs[2].lParam) >> 30) & 1, 0u); // was up
    EXPECT_EQ((static_cast<DWORD>(downs[3].lParam) >> 30) & 1, 1u); // repeat: was down
    EXPECT_EQ((static_cast<DWORD>(ups[0].lParam) >> 31) & 1, 1u);   // transition
    EXPECT_EQ(chars(child), "aa");
}

TEST_F(Input, ModifiersShowInGetKeyStateWhileTheKeyIsHandled) {
    SHORT ctrlDuringC = 0, ctrlAfter = 1;
    Recorder::get().hook = [&](HWND h, UINT msg, WPARAM wp, LPARAM, LRESULT *) {
        if (msg == WM_KEYDOWN && wp == 'C') ctrlDuringC = GetKeyState(VK_CONTROL);
        if (msg == WM_KEYUP && wp == VK_CONTROL) ctrlAfter = GetKeyState(VK_CONTROL);
        return false;
    };
    WapiSendKey(top, VK_CONTROL, TRUE);
    WapiSendKey(top, 'C', TRUE);
    WapiSendKey(top, 'C', FALSE);
    WapiSendKey(top, VK_CONTROL, FALSE);
    ui.idle();
    EXPECT_LT(ctrlDuringC, 0);
    EXPECT_GE(ctrlAfter, 0);
    EXPECT_EQ(chars(child), std::string(1, '\x03'));
    EXPECT_EQ(GetAsyncKeyState(VK_CONTROL) & 0x8000, 0);
    // Shift and caps lock.
    Recorder::get().clear();
    WapiTypeText(top, "aB");
    WapiSendKey(top, VK_CAPITAL, TRUE);
    WapiSendKey(top, VK_CAPITAL, FALSE);
    WapiTypeText(top, "aB");
    WapiSendKey(top, VK_CAPITAL, TRUE);
    WapiSendKey(top, VK_CAPITAL, FALSE);
    ui.idle();
    EXPECT_EQ(chars(child), "aBAb");
}

TEST_F(Input, AltMakesSystemKeysAndSystemCharacters) {
    WapiSendKey(top, VK_MENU, TRUE);
    WapiSendKey(top, 'X', TRUE);
    WapiSendKey(top, 'X', FALSE);
    WapiSendKey(top, VK_MENU, FALSE);
    ui.idle();
    auto sys = Recorder::get().of(WM_SYSKEYDOWN);
    ASSERT_EQ(sys.size(), 2u);
    EXPECT_EQ(sys[0].wParam, static_cast<WPARAM>(VK_MENU));
    EXPECT_EQ(sys[1].wParam, static_cast<WPARAM>('X'));
    EXPECT_EQ(sys[1].hwnd, child);
    EXPECT_TRUE((HIWORD(sys[1].lParam) & KF_ALTDOWN) != 0);
    EXPECT_EQ(chars(child, WM_SYSCHAR), "x");
    EXPECT_EQ(chars(child), "");
    EXPECT_EQ(Recorder::get().of(WM_SYSKEYUP).size(), 2u);
}

TEST_F(Input, WithoutFocusKeysGoToTheActiveWindowAsSystemKeys) {
    ui.run([] { SetFocus(nullptr); });
    WapiSendKey(top, 'Q', TRUE);
    WapiSendKey(top, 'Q', FALSE);
    ui.idle();
    auto sys = Recorder::get().of(WM_SYSKEYDOWN);
    ASSERT_EQ(sys.size(), 1u);
    EXPECT_EQ(sys[0].hwnd, top);
    EXPECT_TRUE(Recorder::get().of(WM_KEYDOWN).empty());
}

TEST_F(Input, ClicksReachTheWindowUnderThePointer) {
    ASSERT_TRUE(WapiClick(child, 5, 7));
    ui.idle();
    auto downs = Recorder::get().of(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, child);
    EXPECT_EQ(LOWORD(downs[0].lParam), 5);
    EXPECT_EQ(HIWORD(downs[0].lParam), 7);
    EXPECT_TRUE(downs[0].wParam & MK_LBUTTON);
    auto ups = Recorder::get().of(WM_LBUTTONUP);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_FALSE(ups[0].wParam & MK_LBUTTON);
    // A click in the parent's client area, beside the child.
    Recorder::get().clear();
    WapiClick(top, 200, 100);
    ui.idle();
    downs = Recorder::get().of(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, top);
    // On the caption: a non-client message with its hit code, screen coordinates.
    Recorder::get().clear();
    RECT wr;
    GetWindowRect(top, &wr);
    WapiClick(nullptr, wr.left + 60, wr.top + 10);
    ui.idle();
    auto nc = Recorder::get().of(WM_NCLBUTTONDOWN);
    ASSERT_EQ(nc.size(), 1u);
    EXPECT_EQ(nc[0].wParam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(static_cast<SHORT>(LOWORD(nc[0].lParam)), wr.left + 60);
    EXPECT_TRUE(Recorder::get().of(WM_LBUTTONDOWN).empty());
}

TEST_F(Input, DoubleClicksOnlyForClassesThatAskForThem) {
    WapiClick(child, 3, 3);
    WapiClick(child, 3, 3);
    ui.idle();
    EXPECT_EQ(Recorder::get().of(WM_LBUTTONDBLCLK).size(), 1u);
    EXPECT_EQ(Recorder::get().of(WM_LBUTTONDOWN).size(), 1u);
    // Far apart: two single clicks.
    Recorder::get().clear();
    WapiClick(child, 3, 3);
    WapiClick(child, 40, 30);
    ui.idle();
    EXPECT_EQ(Recorder::get().of(WM_LBUTTONDBLCLK).size(), 0u);
    EXPECT_EQ(Recorder::get().of(WM_LBUTTONDOWN).size(), 2u);
}

TEST_F(Input, CaptureTakesTheMouseAndDisabledWindowsGetNothing) {
    ui.run([this] { SetCapture(child); });
    WapiClick(top, 250, 150); // outside the child
    ui.idle();
    auto downs = Recorder::get().of(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, child);
    EXPECT_EQ(LOWORD(downs[0].lParam), 250 - 10);
    ui.run([] { ReleaseCapture(); });
    EXPECT_EQ(Recorder::get().of(WM_CAPTURECHANGED).size(), 1u);
    Recorder::get().clear();
    ui.run([this] { EnableWindow(top, FALSE); });
    WapiClick(top, 200, 100);
    WapiClick(child, 5, 5);
    ui.idle();
    EXPECT_TRUE(Recorder::get().of(WM_LBUTTONDOWN).empty());
    EXPECT_TRUE(Recorder::get().of(WM_NCLBUTTONDOWN).empty());
    // A disabled child: the click goes to its parent.
    ui.run([this] {
        EnableWindow(top, TRUE);
        EnableWindow(child, FALSE);
    });
    Recorder::get().clear();
    WapiClick(child, 5, 5);
    ui.idle();
    downs = Recorder::get().of(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, top);
}

TEST(InputState, SendInputAndKeyScans) {
    EXPECT_EQ(VkKeyScanA('a'), 'A');
    EXPECT_EQ(VkKeyScanA('A'), 0x100 | 'A');
    EXPECT_EQ(VkKeyScanA('!'), 0x100 | '1');
    EXPECT_EQ(MapVirtualKeyA(VK_ESCAPE, MAPVK_VK_TO_VSC), 1u);
    BYTE ks[256] = {};
    WORD ch = 0;
    ks[VK_SHIFT] = 0x80;
    EXPECT_EQ(ToAscii(VK_OEM_2, 0, ks, &ch, 0), 1);
    EXPECT_EQ(ch, '?');
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = VK_SHIFT;
    // No foreground window of ours may exist: then the key goes nowhere, but
    // the device state still changes.
    SendInput(1, &in, sizeof in);
    EXPECT_NE(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);
    in.ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(1, &in, sizeof in);
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);
}

} // namespace
