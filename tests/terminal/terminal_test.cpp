// The terminal window: creation results, bytes from the far end of a
// null-modem cable on the screen and in the client window's pixels, replies
// on the line, the carrier, pausing reception, and the end of a terminal.
#include "cable.h"
#include "message_box.h"
#include "lrzsz.h"
#include "support.h"

#include "terminal/terminal.h"

#include <vorlex.h>
#include <winapi_ext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <atomic>
#include <cstdio>
#include <thread>

using namespace vorlex;
using namespace termtest;

namespace {

TEST(TerminalCreation, ResultsTextsAndBadPorts) {
    const struct {
        LONG code;
        const char *text;
    } texts[] = {
        {0, "Terminal Successfully Created"},
        {1, "Insufficient Memory for Terminal Structures"},
        {2, "Unable to Create Terminal Windows"},
        {3, "Port not Open or Unable To Open Port"},
        {4, "UnKnown Terminal Error"},
        {7, "UnKnown Terminal Error"},
        {-1, "UnKnown Terminal Error"},
    };
    for (const auto &e : texts)
        EXPECT_EQ(testsupport::answerMessageBox("Terminal Error", [&] { Func035(e.code); }, IDOK),
                  std::string("[Terminal Error] ") + e.text)
            << e.code;
    // Bad port numbers and a port that is not open: 3, nothing made.
    EXPECT_EQ(Func028(-1, nullptr, 7, 0), 3);
    EXPECT_EQ(Func028(255, nullptr, 7, 0), 3);
    EXPECT_EQ(Func028(12, nullptr, 7, 0), 3);
    EXPECT_EQ(Func029(255, nullptr, 7, 0, 9600, 0, 8, 1), 3);
    EXPECT_EQ(Func029(-5, nullptr, 7, 0, 9600, 0, 8, 1), 3);
    EXPECT_EQ(Func007(12), 0);
    EXPECT_EQ(Func007(-1), 0);
    EXPECT_EQ(Func007(255), 0);
    EXPECT_EQ(gui::findVisible("VorlexTerm", "Terminal"), nullptr);

    LONG source[8] = {1, -2, 3, -4, 5, -6, 7, 8}, destination[8] = {};
    Func093(source, destination);
    EXPECT_EQ(std::vector<LONG>(destination, destination + 8), (std::vector<LONG>{1, -2, 3, -4, 5, -6, 7, 0}));
}

TEST(TerminalCreation, APortThatCannotBeOpenedShowsTheOpenErrorAndLeavesNothing) {
    // COM200 exists nowhere: the open error box, then 3.
    LONG result = -1;
    const std::string box = testsupport::answerMessageBox(
        "Port Open Error", [&] { result = Func029(199, nullptr, 7, 0, 9600, 0, 8, 1); }, IDOK);
    EXPECT_EQ(result, 3);
    EXPECT_FALSE(box.empty()) << "no open error box";
    EXPECT_EQ(Func007(199), 0);
    EXPECT_EQ(terminalRecord(199), nullptr);
    EXPECT_EQ(gui::findVisible("VorlexTerm", "Terminal"), nullptr);
}

TEST_F(TerminalOnCable, ReceivedTextOnTheScreenInItsColoursAndAnsweredRequests) {
    start([] { return Func028(kPort, nullptr, 0x1E, 0); });
    ASSERT_EQ(opened, 0);
    ASSERT_EQ(created, 0);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(Func007(kPort), 1);
    EXPECT_EQ(gui::text(frame), "Terminal");
    EXPECT_EQ(gui::findVisible("VorlexTerm", "Terminal"), frame);
    RECT fr;
    GetWindowRect(frame, &fr);
    EXPECT_EQ(fr.right - fr.left, 847); // the 1024 x 768 screen
    EXPECT_EQ(fr.bottom - fr.top, 647);

    // Text, a line feed, attributes through SGR, and a cursor report.
    send("hello\r\nworld\x1b[31;47mRED\x1b[0m");
    ASSERT_TRUE(shows(0, "hello"));
    ASSERT_TRUE(shows(1, "worldRED"));
    TerminalRecord *t = terminalRecord(kPort);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(cellAt(t->emu, 0, 0).attribute, 0x1E);
    const BYTE red = cellAt(t->emu, 1, 5).attribute;
    EXPECT_NE(red, 0x1E);
    send("\x1b[6n");
    EXPECT_EQ(receive(6), "\x1b[1;1R");
    // A second creation brings the same frame forward.
    LONG again = -1;
    onApp([&] { again = Func028(kPort, nullptr, 7, 0); });
    EXPECT_EQ(again, 0);
    EXPECT_EQ(gui::findVisible("VorlexTerm", "Terminal", frame), nullptr);

    // The client window's pixels: each cell drawn in the colours of its
    // attribute, only those, and the character's own pixels in the foreground.
    ASSERT_EQ(WapiWaitForIdle(frame, 3000), WAIT_OBJECT_0);
    auto cellPixels = [&](int row, int column, BYTE attribute, int &fg, int &bg, int &other) {
        fg = bg = other = 0;
        for (int y = 0; y < t->cellHeight; y++)
            for (int x = 0; x < t->cellWidth; x++) {
                const COLORREF p =
                    gui::pixel(client, t->cellWidth * column - t->scrollX + x, t->cellHeight * row - t->scrollY + y);
                if (p == terminalColour(attribute & 0x0F)) fg++;
                else if (p == terminalColour(attribute >> 4)) bg++;
                else other++;
            }
    };
    const struct {
        int row, column;
        bool ink;
    } cells[] = {{0, 0, true}, {0, 4, true}, {0, 5, false}, {1, 0, true}, {1, 5, true}, {1, 7, true}, {2, 0, false}, {20, 80, false}};
    // 0x1E: yellow on dark blue, whatever the table says.
    int yellow = 0, blue = 0;
    for (int y = 0; y < t->cellHeight; y++)
        for (int x = 0; x < t->cellWidth; x++) {
            const COLORREF p = gui::pixel(client, x - t->scrollX, y - t->scrollY);
            yellow += p == RGB(255, 255, 0);
            blue += p == RGB(0, 0, 128);
        }
    EXPECT_GT(yellow, 0);
    EXPECT_GT(blue, yellow);
    for (const auto &c : cells) {
        // The caret (on the cursor cell, 1,8) would invert pixels; these cells are clear of it.
        const BYTE attribute = cellAt(t->emu, c.row, c.column).attribute;
        int fg, bg, other;
        cellPixels(c.row, c.column, attribute, fg, bg, other);
        EXPECT_EQ(other, 0) << c.row << "," << c.column;
        EXPECT_EQ(fg > 0, c.ink) << c.row << "," << c.column;
        EXPECT_GT(bg, 0) << c.row << "," << c.column;
    }
    // The bars are drawn: the status bar names the type in ink on the button
    // face, the first button's picture is not the bar's plain face.
    auto inkIn = [](HWND w, int x0, int y0, int x1, int y1) {
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        int ink = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) ink += gui::pixel(w, x, y) != face;
        return ink;
    };
    EXPECT_GT(inkIn(t->statusWindow, 16, 4, 80, 16), 20) << "IBM ANSI";
    EXPECT_GT(inkIn(t->controlWindow, 8, 8, 42, 42), 100);
    EXPECT_EQ(inkIn(t->controlWindow, 450, 8, 500, 42), 0);
    if (const char *dir = std::getenv("VORLEX_SNAPSHOTS"))
        WapiSnapshotWindow(frame, (std::string(dir) + "/terminal.png").c_str());
    closeTerminal();
    EXPECT_EQ(Func007(kPort), 0);
    EXPECT_EQ(terminalRecord(kPort), nullptr);
    // The port stays open for the application, with DTR low.
    DWORD lines = 0;
    GetCommModemStatus(peer, &lines);
    EXPECT_EQ(lines & MS_DSR_ON, 0u);
    LONG stopped = -1;
    onApp([&] { stopped = Func020(kPort, 0, nullptr); });
    EXPECT_EQ(stopped, 0) << "the port is still open";
}

TEST_F(TerminalOnCable, CarrierGraysAndEnablesTheConnectionCommands) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    TerminalRecord *t = terminalRecord(kPort);
    ASSERT_NE(t, nullptr);
    HMENU menu = GetMenu(frame);
    const WORD commands[] = {kCmdHangUp, kCmdUpload, kCmdDownload};
    auto grayed = [&](WORD id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };
    auto allGrayed = [&](bool want) {
        return waitUntil([&] {
            for (WORD c : commands)
                if (grayed(c) != want) return false;
            return true;
        });
    };
    EXPECT_TRUE(allGrayed(false)) << "carrier present at creation";
    EXPECT_FALSE(t->buttonBar->buttons[1].flags & kButtonDisabled);
    EscapeCommFunction(peer, CLRDTR);
    send("x"); // the carrier is looked at when bytes come
    EXPECT_TRUE(allGrayed(true));
    EXPECT_TRUE(terminalUntil(kPort, [](TerminalRecord &t) { return (t.buttonBar->buttons[4].flags & kButtonDisabled) != 0; }));
    EXPECT_FALSE(grayed(kCmdClearScreen));
    EscapeCommFunction(peer, SETDTR);
    send("y");
    EXPECT_TRUE(allGrayed(false));
    EXPECT_TRUE(shows(0, "xy"));
    closeTerminal();
}

TEST_F(TerminalOnCable, ZmodemRequestIsCaughtAndNotShown) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    // A sender's start: the r, z, CR and ** are shown; the CAN and what
    // follows it in the chunk are not.
    send(std::string("rz\r**\x18" "B00", 9));
    ASSERT_TRUE(shows(0, "**"));
    ASSERT_EQ(WapiWaitForIdle(frame, 3000), WAIT_OBJECT_0);
    EXPECT_EQ(rowText(kPort, 0), "**");
    TerminalRecord *t = terminalRecord(kPort);
    EXPECT_EQ(t->autoStartMatch[0], 0);
    EXPECT_EQ(t->emu.cursorColumn, 2);
    // The download started (its window shows); our "sender" cancels it, and
    // the terminal reads the line again.
    HWND progress = gui::waitForWindow("Zmodem Receive", nullptr);
    EXPECT_NE(progress, nullptr);
    send(std::string(10, '\x18'));
    EXPECT_TRUE(gui::waitGone(progress, 15000));
    EXPECT_TRUE(waitUntil([&] { return portRecord(kPort) && portRecord(kPort)->eventThread.load() != nullptr; }));
    // A CAN after other text is no request: the next chunk is shown.
    send("ab\x18" "cd");
    EXPECT_TRUE(waitUntil([&] { return rowText(kPort, 0).find("cd") != std::string::npos; })) << rowText(kPort, 0);
    closeTerminal();
}

TEST_F(TerminalOnCable, PausedReceptionLeavesBytesQueuedForTheApplication) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    // A second thread on a running terminal's port is refused.
    LONG second = -1;
    onApp([&] { second = Func020(kPort, 1, [](LPVOID) -> DWORD { return 0; }); });
    EXPECT_EQ(second, 2);
    send("one ");
    ASSERT_TRUE(shows(0, "one"));
    onApp([] { Func097(kPort, 0); });
    send("two");
    EXPECT_TRUE(waitUntil([] { return Func062(kPort) == 3; }));
    ASSERT_EQ(WapiWaitForIdle(frame, 3000), WAIT_OBJECT_0);
    EXPECT_EQ(rowText(kPort, 0), "one");
    // Resumed: what waited is shown.
    onApp([] { Func097(kPort, 1); });
    EXPECT_TRUE(shows(0, "one two"));
    closeTerminal();
}

// Text as fast as the cable takes it, through reading, interpreting,
// scrolling and painting: every line arrives, in order; the rate is
// reported (machines and sanitizer builds differ too much for a floor).
TEST_F(TerminalOnCable, AFloodOfTextArrivesWholeAndScrolls) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    // RTS/CTS both ways, so the sender waits for the terminal instead of
    // overrunning it.
    onApp([] { Func032(kPort, 1, 0, 0); });
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(peer, &dcb);
    dcb.fOutxCtsFlow = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(peer, &dcb));
    constexpr int kLines = 600;
    std::string text;
    char line[96];
    for (int i = 0; i < kLines; i++) {
        std::snprintf(line, sizeof line, "line %05d %s\r\n", i, "the quick brown fox jumps over the lazy dog 0123456789 ABCDEFGHIJ");
        text += line;
    }
    const DWORD start = GetTickCount();
    std::thread writer([&] { send(text); });
    // The terminal busy until flow control holds the sender, then one
    // notification with other messages behind it: the handler lets them run
    // between chunks and must come back for the rest by itself (the held
    // sender sends nothing that would make the thread post).
    onApp([&] {
        waitUntil([&] { return Func062(kPort) > 30000; });
        MSG m;
        while (PeekMessageA(&m, client, WM_COMMNOTIFY, WM_COMMNOTIFY, PM_REMOVE)) {
        }
        PostMessageA(client, WM_COMMNOTIFY, kPort, kCommEvent);
        for (int i = 0; i < 20; i++) PostMessageA(client, WM_NULL, 0, 0);
    });
    char last[32];
    std::snprintf(last, sizeof last, "line %05d", kLines - 1);
    // The last line's feed scrolled it to the row above the cursor's.
    // Sanitizer builds paint slowly: the limit is generous.
    const bool arrived = waitUntil([&] { return rowText(kPort, kBottomRow - 1).rfind(last, 0) == 0; }, 30000);
    const DWORD elapsed = std::max<DWORD>(GetTickCount() - start, 1);
    if (!arrived) PurgeComm(peer, PURGE_TXABORT | PURGE_TXCLEAR); // the writer held for good
    writer.join();
    EXPECT_EQ(portRecord(kPort)->rxQueueOverruns, 0u);
    ASSERT_TRUE(arrived) << rowText(kPort, kBottomRow - 1) << " cursor row " << terminalRecord(kPort)->emu.cursorRow
                         << " queued " << Func062(kPort) << " overruns " << portRecord(kPort)->rxQueueOverruns
                         << " first row " << rowText(kPort, 0);
    for (int back = 1; back <= 90; back++) {
        std::snprintf(last, sizeof last, "line %05d", kLines - back);
        EXPECT_EQ(rowText(kPort, kBottomRow - back).substr(0, 10), last);
    }
    const double rate = text.size() * 1000.0 / elapsed;
    std::printf("receive path with painting: %zu bytes in %u ms, %.0f bytes/s\n", text.size(), unsigned(elapsed), rate);
    // The scrolls held back and put on the window at once left the same
    // pixels as painting everything afresh, also for rows written after a
    // held-back scroll.
    send("one\r\ntwo\r\n\x1b[4Aup\x1b[K");
    ASSERT_TRUE(shows(kBottomRow - 4, "up"));
    ASSERT_EQ(WapiWaitForIdle(client, 5000), WAIT_OBJECT_0);
    testsupport::TempDir shots;
    ASSERT_TRUE(WapiSnapshotWindow(frame, shots.file("flood.png").c_str()));
    onApp([&] {
        InvalidateRect(client, nullptr, FALSE);
        UpdateWindow(client);
    });
    ASSERT_TRUE(WapiSnapshotWindow(frame, shots.file("fresh.png").c_str()));
    EXPECT_TRUE(testsupport::readFile(shots.file("flood.png")) == testsupport::readFile(shots.file("fresh.png")));
    closeTerminal();
}

TEST_F(TerminalOnCable, ATerminalThatOpensThePortClosesIt) {
    start([] { return Func029(kPort, nullptr, 7, 1, 57600, 2, 7, 1); }, false);
    ASSERT_EQ(created, 0);
    EXPECT_EQ(GetMenuState(GetMenu(frame), kCmdEcho, MF_BYCOMMAND) & MF_CHECKED, UINT(MF_CHECKED));
    LineSettings line{};
    ASSERT_EQ(Func039(kPort, &line), 0);
    EXPECT_EQ(line.baudRate, 57600u);
    EXPECT_EQ(line.parity, 2);
    EXPECT_EQ(line.dataBits, 7);
    send("abc");
    EXPECT_TRUE(shows(0, "abc"));
    closeTerminal();
    EXPECT_EQ(Func122(kPort, 0), VORLEX_CLOSE_NOT_OPEN);
    EXPECT_EQ(terminalRecord(kPort), nullptr);
}

} // namespace

namespace {

TEST_F(TerminalOnCable, ThePortClosedUnderTheTerminalStopsItsThread) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    LONG closed = -1;
    onApp([&] { closed = Func122(kPort, kOwner); });
    EXPECT_EQ(closed, VORLEX_CLOSE_OK);
    send("late"); // nobody reads it; nothing breaks
    ASSERT_EQ(WapiWaitForIdle(frame, 3000), WAIT_OBJECT_0);
    EXPECT_EQ(rowText(kPort, 0), "");
    EXPECT_EQ(Func007(kPort), 1);
    closeTerminal();
    EXPECT_EQ(Func007(kPort), 0);
    EXPECT_EQ(terminalRecord(kPort), nullptr);
}

} // namespace

namespace {

// A Zmodem sender at the far end starts the download by itself: the file
// lands in the receive directory, and the terminal shows text again after.
TEST(TerminalAutoStart, ASendersRequestStartsTheDownload) {
    testsupport::TempDir work, inbox;
    std::string content;
    for (int i = 0; i < 20000; i++) content += static_cast<char>((i * 7) ^ (i >> 5));
    {
        HANDLE f = CreateFileA(work.file("sent.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &n, nullptr);
        CloseHandle(f);
    }
    constexpr LONG port = 42; // COM43
    testsupport::PeerProgram peer(43, "sz -q sent.bin && printf 'after\\r\\n' && sleep 2", work.path());
    std::atomic<DWORD> thread{0};
    std::atomic<LONG> created{-1};
    std::thread app([&] {
        ScreenReader reader;
        thread = GetCurrentThreadId();
        if (Func041(port, 5) == 0) {
            Func001(port, 115200, 0, 8, 1);
            Func090(port, 1, 0, 0, 0, 60);
            created = Func028(port, nullptr, 7, 0);
            if (TerminalRecord *t = terminalRecord(port))
                std::snprintf(t->receiveDirectory, sizeof t->receiveDirectory, "%s", inbox.path().c_str());
        } else {
            created = 99;
        }
        MSG m;
        while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
        Func122(port, 5);
    });
    EXPECT_TRUE(waitUntil([&] { return created.load() != -1; }, 5000));
    EXPECT_EQ(created.load(), 0);
    EXPECT_EQ(peer.wait(30000), 0) << peer.log();
    EXPECT_EQ(testsupport::readFile(inbox.file("sent.bin")), content);
    EXPECT_TRUE(waitUntil([&] {
        for (int row = 0; row < kScreenRows; row++)
            if (rowText(port, row).find("after") != std::string::npos) return true;
        return false;
    })) << "no text after the transfer: " << rowText(port, 0) << "|" << rowText(port, 1) << "|" << rowText(port, 2)
        << " thread " << (portRecord(port) ? portRecord(port)->eventThread.load() : nullptr) << " reader "
        << int(sessionAt(port).reader.load()) << " queued " << Func062(port);
    EXPECT_EQ(Func007(port), 1);
    // The line may still read as on-line: the question is answered Yes.
    testsupport::answerMessageBox(
        "Terminal",
        [&] {
            if (TerminalRecord *t = terminalRecord(port)) PostMessageA(t->frameWindow, WM_CLOSE, 0, 0);
            EXPECT_TRUE(waitUntil([&] { return Func007(port) == 0; }, 5000));
        },
        IDYES);
    PostThreadMessageA(thread, WM_QUIT, 0, 0);
    app.join();
}

} // namespace

namespace {

TEST_F(TerminalOnCable, KeysReachTheLineByTypeMapAndDoorWay) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    TerminalRecord *t = terminalRecord(kPort);
    // IBM ANSI without a map: what is typed goes out as typed.
    gui::type(client, "ab\n");
    EXPECT_EQ(receive(3), "ab\r");

    testsupport::TempDir dir;
    const std::string path = writeMap(dir);
    std::string shortFile = dir.file("short.kbd");
    {
        HANDLE f = CreateFileA(shortFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        WriteFile(f, std::string(1805, 'V').data(), 1805, &n, nullptr);
        CloseHandle(f);
    }
    LONG loaded = -1, refused = -1, noTerminal = -1;
    char returnText[13] = "x", enterText[13] = "x";
    onApp([&] {
        refused = Func088(kPort, 2, shortFile.c_str());
        loaded = Func088(kPort, 2, path.c_str());
        noTerminal = Func088(kPort + 1, 2, path.c_str());
        Func036(kPort, returnText, enterText);
    });
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(noTerminal, 1);
    EXPECT_EQ(t->emu.emulation, 2);
    EXPECT_EQ(t->emu.screenColumns, 80);
    EXPECT_STREQ(returnText, "^M^J");
    EXPECT_STREQ(enterText, "");

    const struct {
        const char *what;
        std::function<void()> press;
        std::string out;
    } keys[] = {
        {"cursor-block Up", [&] { gui::key(client, VK_UP); }, "\x1b[A"},
        {"keypad Up", [&] {
             WapiSendKeyEx(client, VK_UP, 0x48, 0);
             WapiSendKeyEx(client, VK_UP, 0x48, KEYEVENTF_KEYUP);
             gui::settle(client);
         }, "\x1b" "OA"},
        {"Ctrl+Shift+F5 takes the Ctrl string", [&] {
             WapiSendKey(client, VK_SHIFT, TRUE);
             gui::chord(client, VK_CONTROL, VK_F5);
             WapiSendKey(client, VK_SHIFT, FALSE);
         }, "\x1b[15;5~"},
        {"Return sends its string and no CR besides", [&] { gui::key(client, VK_RETURN); }, "\r\n"},
        {"an unmapped key's character still goes", [&] { gui::type(client, "q"); }, "q"},
    };
    for (const auto &k : keys) {
        k.press();
        EXPECT_EQ(receive(k.out.size() + 1), k.out) << k.what;
    }

    // DoorWay, switched on by the host: function keys as NUL and scan code,
    // letters as their characters only.
    onApp([&] { Func088(kPort, 0, nullptr); });
    send("\x1b[=255h");
    ASSERT_TRUE(terminalUntil(kPort, [](TerminalRecord &t) { return t.emu.doorWayMode == 1; }));
    gui::key(client, VK_F1);
    EXPECT_EQ(receive(3), std::string("\0\x3b", 2));
    gui::chord(client, VK_CONTROL, VK_HOME);
    EXPECT_EQ(receive(3), std::string("\0\x77", 2));
    gui::type(client, "a");
    EXPECT_EQ(receive(2), "a");

    // Local echo shows what is typed where the cursor is.
    send("\x1b[=255l\x1b[5;1H");
    ASSERT_TRUE(terminalUntil(kPort, [](TerminalRecord &t) { return t.emu.cursorRow == 4 && t.emu.doorWayMode == 0; }));
    onApp([&] { Func094(kPort, 1); });
    gui::type(client, "echo");
    EXPECT_EQ(receive(5), "echo");
    EXPECT_TRUE(shows(4, "echo")) << rowText(kPort, 4);
    // DoorWay by the application; clear screen; the class brush swapped and back.
    onApp([&] { Func095(kPort, 1); });
    gui::key(client, VK_F2);
    EXPECT_EQ(receive(3), std::string("\0\x3c", 2));
    const LONG_PTR brush = GetClassLongPtrA(client, GCLP_HBRBACKGROUND);
    LONG_PTR swapped = 0;
    onApp([&] {
        Func096(kPort);
        Func098(kPort, 1);
        swapped = GetClassLongPtrA(client, GCLP_HBRBACKGROUND);
        SetClassLongPtrA(client, GCLP_HBRBACKGROUND, COLOR_WINDOW + 1);
        Func098(kPort, 0);
    });
    EXPECT_EQ(rowText(kPort, 4), "");
    EXPECT_EQ(t->emu.cursorRow, 0);
    EXPECT_EQ(swapped, reinterpret_cast<LONG_PTR>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(GetClassLongPtrA(client, GCLP_HBRBACKGROUND), brush);
    closeTerminal();
}

} // namespace

// The application runs a transfer of its own on the terminal's port: the
// terminal stands aside meanwhile and shows what arrives once it has the
// port back.
TEST_F(TerminalOnCable, ShowsTextAgainAfterTheApplicationsOwnTransfer) {
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    const std::string file = std::string(dir) + "vorlex_term_send.bin";
    FILE *f = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("some data", f);
    std::fclose(f);
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    send("before ");
    ASSERT_TRUE(shows(0, "before"));
    // The far end refuses the file with two CANs once our sender waits.
    std::thread refuse([this] {
        Sleep(500);
        send("\x18\x18");
    });
    LONG sent = 0;
    onApp([&] {
        Func090(kPort, 1, 0, 0, 0, 60);
        sent = Func069(kPort, nullptr, 1, dir, "vorlex_term_send.bin", 0);
        Func069(kPort, nullptr, 1, nullptr, nullptr, -1);
    });
    refuse.join();
    EXPECT_NE(sent, 0);
    send("after");
    EXPECT_TRUE(shows(0, "before after")) << rowText(kPort, 0);
    closeTerminal();
    std::remove(file.c_str());
}
