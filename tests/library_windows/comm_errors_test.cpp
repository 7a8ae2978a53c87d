// The Communications Errors dialog, as a person sees it over a null-modem
// line whose other end drives the modem lines and sends: the counters of
// what really happened on the line, found by its title, read, and closed
// with OK or Enter only.
#include "gui_driver.h"

#include "port/port.h"

#include <gtest/gtest.h>

using namespace gui;

namespace {

constexpr DWORD kOwner = 0x4444;
constexpr LONG kPort = 90; // COM91, its peer COM92

class CommErrorsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WapiCreateNullModemPair("COM91", "COM92", nullptr));
        // A 128-byte receive queue, RTS/CTS flow.
        ASSERT_EQ(Func025(kPort, kOwner, 128, 128, 1, 0, 0), VORLEX_OPEN_OK);
        peer = CreateFileA("COM92", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(peer, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        Func122(kPort, kOwner);
        CloseHandle(peer);
        WapiDestroyNullModemPair("COM91");
    }
    // Shows the dialog from an application thread with an owner window of
    // its own at 100, 80, 600 x 400; the person reads and closes it.
    void show(const std::function<void(HWND dialog, HWND owner)> &person) {
        std::atomic<HWND> owner{nullptr};
        App<int> app([&] {
            HWND w = CreateWindowExA(0, "STATIC", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 600, 400,
                                     nullptr, nullptr, nullptr, nullptr);
            owner = w;
            Func013(kPort, w);
            DestroyWindow(w);
            return 1;
        });
        HWND dialog = waitForWindow("Communications Errors", "#32770");
        ASSERT_TRUE(dialog);
        person(dialog, owner.load());
        EXPECT_EQ(app.result(0), 1) << "the dialog did not close";
    }
    HANDLE peer = INVALID_HANDLE_VALUE;
};

TEST_F(CommErrorsDialog, CountsWhatHappenedOnTheLineAndShowsTheModemLines) {
    ASSERT_EQ(Func001(kPort, 115200, NOPARITY, 8, 1), VORLEX_LINE_OK);
    ASSERT_NE(Func118(kPort, 50), 0);
    // The peer's RTS is our CTS: dropped, our 128-byte transmit queue fills
    // and the next byte waits out the write time-out, twice.
    const std::string bytes(200, 'b');
    ASSERT_TRUE(EscapeCommFunction(peer, CLRRTS));
    EXPECT_EQ(Func057(kPort, bytes.data(), 200), -128);
    EXPECT_EQ(Func120(kPort, 'b'), 0);
    // With DTR/DSR flow the peer's DTR, our DSR, holds it instead.
    ASSERT_TRUE(EscapeCommFunction(peer, CLRDTR));
    Func032(kPort, 0, 0, 1);
    ASSERT_TRUE(EscapeCommFunction(peer, SETRTS));
    EXPECT_EQ(Func120(kPort, 'c'), 0);
    ASSERT_TRUE(EscapeCommFunction(peer, SETDTR));
    PurgeComm(peer, PURGE_RXCLEAR);
    // A peer that ignores flow control sends past our 128-byte queue.
    const std::string flood(300, 'o');
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(peer, flood.data(), 300, &n, nullptr));
    Sleep(100);
    EXPECT_EQ(Func062(kPort), 128);
    // Line overruns and a full transmit queue do not happen on this line;
    // a count past 2^31 still reads unsigned.
    vorlex::portRecord(kPort)->txQueueFull = 4000000000u;
    show([&](HWND dialog, HWND owner) {
        EXPECT_EQ(itemText(dialog, 102), "2");
        EXPECT_EQ(itemText(dialog, 103), "1");
        EXPECT_EQ(itemText(dialog, 104), "0");
        EXPECT_EQ(itemText(dialog, 105), "1");
        EXPECT_EQ(itemText(dialog, 106), "4000000000");
        // The peer's DTR is our DSR and carrier detect, its RTS our CTS.
        EXPECT_EQ(itemText(dialog, 107), "Modem Status : B0h - CTS  DSR   CD");
        // Centred over the owner, halves truncated.
        RECT d, o;
        GetWindowRect(dialog, &d);
        GetWindowRect(owner, &o);
        EXPECT_EQ(d.left, o.left + (o.right - o.left - (d.right - d.left)) / 2);
        EXPECT_EQ(d.top, o.top + (o.bottom - o.top - (d.bottom - d.top)) / 2);
        // Modal: the owner waits.
        EXPECT_FALSE(IsWindowEnabled(owner));
        key(dialog, VK_RETURN);
    });
}

TEST_F(CommErrorsDialog, NoLinesOnShowsZeroAndTheRingShowsWhenItRings) {
    // Opening a port raises its DTR and RTS; the peer drops them.
    ASSERT_TRUE(EscapeCommFunction(peer, CLRDTR));
    ASSERT_TRUE(EscapeCommFunction(peer, CLRRTS));
    show([&](HWND dialog, HWND) {
        EXPECT_EQ(itemText(dialog, 107), "Modem Status : 0h -    ");
        EXPECT_EQ(itemText(dialog, 102), "0");
        click(GetDlgItem(dialog, IDOK));
    });
    ASSERT_TRUE(EscapeCommFunction(peer, SETDTR));
    ASSERT_TRUE(WapiSetNullModemRing("COM91", TRUE));
    show([&](HWND dialog, HWND) {
        EXPECT_EQ(itemText(dialog, 107), "Modem Status : E0h -  DSR  RI  CD");
        click(GetDlgItem(dialog, IDOK));
    });
}

TEST_F(CommErrorsDialog, OnlyOkClosesIt) {
    show([&](HWND dialog, HWND) {
        EXPECT_FALSE(GetWindowLongA(dialog, GWL_STYLE) & WS_SYSMENU);
        key(dialog, VK_ESCAPE);
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog));
        click(GetDlgItem(dialog, IDOK));
    });
}

TEST_F(CommErrorsDialog, LooksAsItsTemplateSays) {
    show([&](HWND dialog, HWND) {
        // Controls where the template puts them, in dialog units.
        struct {
            int id, x, y, cx, cy;
        } places[] = {{102, 96, 8, 23, 8},   {103, 96, 22, 23, 8}, {104, 96, 36, 23, 8}, {105, 96, 50, 23, 8},
                      {106, 96, 64, 23, 8},  {107, 6, 80, 123, 8}, {IDOK, 50, 99, 35, 12}};
        for (const auto &p : places) {
            RECT want = dialogUnits(dialog, p.x, p.y, p.cx, p.cy);
            RECT got = placeIn(dialog, GetDlgItem(dialog, p.id));
            EXPECT_EQ(got.left, want.left) << p.id;
            EXPECT_EQ(got.top, want.top) << p.id;
            EXPECT_EQ(got.right, want.right) << p.id;
            EXPECT_EQ(got.bottom, want.bottom) << p.id;
        }
        RECT client;
        GetClientRect(dialog, &client);
        RECT size = dialogUnits(dialog, 0, 0, 136, 118);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);
        // The labels right-aligned against the counters.
        HWND label = FindWindowExA(dialog, nullptr, "Static", "Receive Queue Overruns:");
        ASSERT_TRUE(label);
        EXPECT_EQ(GetWindowLongA(label, GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);
        EXPECT_EQ(GetWindowLongA(GetDlgItem(dialog, 107), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
        EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
        // Button-face grey between the controls.
        RECT gap = dialogUnits(dialog, 3, 92, 1, 1);
        POINT p{gap.left, gap.top};
        ClientToScreen(dialog, &p);
        EXPECT_EQ(WapiGetScreenPixel(p.x, p.y), GetSysColor(COLOR_BTNFACE));
        click(GetDlgItem(dialog, IDOK));
    });
}

TEST(CommErrorsDialogClosed, NothingShowsForAClosedOrBadPort) {
    App<int> app([] {
        Func013(93, nullptr);
        Func013(-1, nullptr);
        Func013(255, nullptr);
        return 1;
    });
    EXPECT_EQ(app.result(0, 2000), 1);
    EXPECT_FALSE(FindWindowA("#32770", "Communications Errors"));
}

} // namespace
