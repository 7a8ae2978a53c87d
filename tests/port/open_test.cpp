// Opening, attaching, closing and detaching ports; open result texts; tick wait.
#include "message_box.h"
#include "support.h"

#include <gtest/gtest.h>
#include <vorlex.h>
#include <winapi_ext.h>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

using testsupport::answerMessageBox;
using testsupport::PtyPort;
using testsupport::TempDir;

namespace {

const DWORD kOwner = 0x1234;

TEST(Open, ResultsForRangesSlotsAndMissingDevices) {
    PtyPort pty(9); // port number 8 is COM9
    EXPECT_EQ(Func041(-1, kOwner), VORLEX_OPEN_BAD_PORT);
    EXPECT_EQ(Func041(255, kOwner), VORLEX_OPEN_BAD_PORT);
    EXPECT_EQ(Func048(8), INVALID_HANDLE_VALUE);
    ASSERT_EQ(Func041(8, kOwner), VORLEX_OPEN_OK);
    EXPECT_NE(Func048(8), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Func041(8, kOwner), VORLEX_OPEN_ALREADY_OPEN);
    // Port number 9 is \\.\COM10, which has no entry here: /dev/ttyS9.
    EXPECT_EQ(Func041(9, kOwner), VORLEX_OPEN_NO_UART);
    EXPECT_EQ(Func048(9), INVALID_HANDLE_VALUE);
    // The open error box tells the system's error number, and a success
    // leaves it as it was.
    const std::string notFound = "7 - Communications Port Is Already In Use (2)";
    EXPECT_NE(answerMessageBox("Port Open Error", [] { Func034(7); }).find(notFound), std::string::npos);
    EXPECT_EQ(Func122(8, kOwner), VORLEX_CLOSE_OK);
    ASSERT_EQ(Func041(8, kOwner), VORLEX_OPEN_OK);
    EXPECT_NE(answerMessageBox("Port Open Error", [] { Func034(7); }).find(notFound), std::string::npos);
    EXPECT_EQ(Func122(8, kOwner + 1), VORLEX_CLOSE_WRONG_OWNER);
    EXPECT_NE(Func048(8), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Func122(8, kOwner), VORLEX_CLOSE_OK);
    EXPECT_EQ(Func122(8, kOwner), VORLEX_CLOSE_NOT_OPEN);
    EXPECT_EQ(Func122(300, kOwner), VORLEX_CLOSE_BAD_PORT);
    EXPECT_EQ(Func122(-1, kOwner), VORLEX_CLOSE_BAD_PORT);
}

// Queue sizes and flow control as a peer that ignores flow control finds
// them: it fills our receive queue, and nothing more is taken.
TEST(Open, QueueSizesAndFlowControl) {
    ASSERT_TRUE(WapiCreateNullModemPair("COM21", "COM25", nullptr));
    HANDLE peer = CreateFileA("COM25", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(peer, INVALID_HANDLE_VALUE);
    struct Case {
        bool defaults;
        DWORD in, out;
        LONG rtsCts, xonXoff, dtrDsr;
        DWORD wantIn, wantOut;
    } cases[] = {{true, 0, 0, 1, 0, 0, 32640, 8192},        {false, 127, 0, 0, 1, 1, 32640, 8192},
                 {false, 128, 128, 1, 0, 0, 128, 128},      {false, 65536, 200, 0, 0, 1, 32640, 200},
                 {false, 65535, 65535, 0, 1, 0, 65535, 65535}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.in << " " << c.out);
        ASSERT_EQ(c.defaults ? Func041(20, kOwner) : Func025(20, kOwner, c.in, c.out, c.rtsCts, c.xonXoff, c.dtrDsr),
                  VORLEX_OPEN_OK);
        EXPECT_EQ(Func086(20), static_cast<LONG>(c.wantOut));
        const std::string flood(c.wantIn + 100, 'f');
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(peer, flood.data(), static_cast<DWORD>(flood.size()), &n, nullptr));
        for (int i = 0; i < 100 && Func062(20) < static_cast<LONG>(c.wantIn); i++) Sleep(5);
        Sleep(20);
        EXPECT_EQ(Func062(20), static_cast<LONG>(c.wantIn));
        // The flow control of the open goes to the line with its settings.
        ASSERT_EQ(Func001(20, 9600, NOPARITY, 8, 1), VORLEX_LINE_OK);
        DCB d{};
        d.DCBlength = sizeof d;
        ASSERT_TRUE(GetCommState(Func048(20), &d));
        EXPECT_EQ(d.fOutxCtsFlow, static_cast<DWORD>(c.rtsCts));
        EXPECT_EQ(d.fOutX, static_cast<DWORD>(c.xonXoff));
        EXPECT_EQ(d.fOutxDsrFlow, static_cast<DWORD>(c.dtrDsr && !c.rtsCts));
        COMMTIMEOUTS t{};
        ASSERT_TRUE(GetCommTimeouts(Func048(20), &t));
        EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 5000u);
        EXPECT_EQ(Func122(20, kOwner), 0);
        PurgeComm(peer, PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    CloseHandle(peer);
    EXPECT_TRUE(WapiDestroyNullModemPair("COM21"));
}

TEST(Open, AHolderElsewhereGivesSevenWithTheErrorNumberInTheBox) {
    ASSERT_TRUE(WapiCreateNullModemPair("COM31", "COM32", nullptr));
    HANDLE held = CreateFileA("COM31", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Func041(30, kOwner), VORLEX_OPEN_IN_USE);
    std::string box = answerMessageBox("Port Open Error", [] { Func034(7); });
    EXPECT_NE(box.find("Port Open Error"), std::string::npos);
    EXPECT_NE(box.find("7 - Communications Port Is Already In Use (5)"), std::string::npos) << box;
    EXPECT_EQ(WapiLastMessageBeep(), static_cast<UINT>(MB_ICONHAND));
    box = answerMessageBox("Port Open Error", [] { Func034(9); });
    EXPECT_NE(box.find("2 - Unknown Error (5)"), std::string::npos) << box;
    box = answerMessageBox("Port Open Error", [] { Func034(-3); });
    EXPECT_NE(box.find("2 - Unknown Error"), std::string::npos) << box;
    CloseHandle(held);
    EXPECT_TRUE(WapiDestroyNullModemPair("COM31"));
}

TEST(Open, AttachAndDetachLeaveTheCallersHandleOpen) {
    PtyPort pty(22);
    HANDLE h = CreateFileA("COM22", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Func076(-1, kOwner, h), VORLEX_OPEN_BAD_PORT);
    ASSERT_EQ(Func076(21, kOwner, h), VORLEX_OPEN_OK);
    EXPECT_EQ(Func076(21, kOwner, h), VORLEX_OPEN_ALREADY_OPEN);
    EXPECT_EQ(Func048(21), h);
    EXPECT_EQ(Func003(21, "via port"), 8);
    EXPECT_EQ(pty.receive(8), "via port");
    Func060(21, kOwner + 1); // wrong owner: nothing happens
    EXPECT_EQ(Func048(21), h);
    Func060(21, kOwner);
    EXPECT_EQ(Func048(21), INVALID_HANDLE_VALUE);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD n = 0;
    if (!WriteFile(h, "still", 5, &n, &ov)) GetOverlappedResult(h, &ov, &n, TRUE);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(pty.receive(5), "still");
    CloseHandle(ov.hEvent);
    CloseHandle(h);
}

TEST(Open, CloseOfAHandleThatFailsStillReleasesTheRecord) {
    HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFF0));
    ASSERT_EQ(Func076(23, kOwner, bogus), VORLEX_OPEN_OK);
    EXPECT_EQ(Func122(23, kOwner), VORLEX_CLOSE_HANDLE_FAILED);
    EXPECT_EQ(Func048(23), INVALID_HANDLE_VALUE);
}

TEST(Trace, BlankNameTracesToTheDefaultFileBothWays) {
    TempDir dir;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    {
        PtyPort pty(1);
        ASSERT_EQ(Func113(0, kOwner, 0, 0, "unused.cap"), VORLEX_OPEN_OK);
        EXPECT_EQ(Func122(0, kOwner), 0);

        ASSERT_EQ(Func113(0, kOwner, 1, 1, " blank"), VORLEX_OPEN_OK);
        EXPECT_EQ(Func057(0, "AT", 2), 2);
        EXPECT_EQ(Func120(0, 'x'), 1);
        pty.send("OK\r");
        EXPECT_EQ(Func110(0, nullptr, 2), 'O');
        char buf[16];
        for (int i = 0; i < 20 && Func062(0) < 2; i++) Func012(nullptr, 1);
        EXPECT_EQ(Func071(0, buf), 2);
        // Nothing of a transfer is recorded.
        std::ofstream(dir.file("sent.txt")) << "transfer";
        Func090(0, 1, 0, 0, 0, 60);
        EXPECT_EQ(Func069(0, nullptr, VORLEX_PROTOCOL_ASCII, dir.path().c_str(), "sent.txt", 0), 0);
        Func069(0, nullptr, VORLEX_PROTOCOL_ASCII, nullptr, nullptr, -1);
        EXPECT_NE(pty.drain(500).find("transfer"), std::string::npos);
        EXPECT_EQ(Func122(0, kOwner), 0);
    }
    EXPECT_EQ(testsupport::readFile(dir.file("debug1.cap")), "<O: AT><O: x>OK\r");
    EXPECT_FALSE(testsupport::fileExists(dir.file("unused.cap")));
    ASSERT_EQ(chdir(cwd), 0);
}

TEST(Trace, LongFileNamesAreCutNotOverflowed) {
    TempDir dir;
    PtyPort pty(2);
    std::string name = dir.path() + "/" + std::string(400, 'n');
    ASSERT_EQ(Func075(1, kOwner, 0, 0, 1, 0, 0, 0, 1, name.c_str()), VORLEX_OPEN_OK);
    EXPECT_EQ(Func003(1, "hi"), 2);
    EXPECT_EQ(Func122(1, kOwner), 0);
    EXPECT_EQ(pty.receive(2), "hi");
    EXPECT_EQ(testsupport::readFile(name.substr(0, 255)), "<O: hi>");
}

TEST(TickWait, ZeroTicksQuitAndCloseInterrupt) {
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Func012(nullptr, 0), 0);
    EXPECT_EQ(Func012(nullptr, 2), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));

    PostQuitMessage(7);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Func012(nullptr, 100), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)); // the quit is there again
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 7u);

    // A WM_CLOSE to no window ends a wait with no window; other messages do not.
    DWORD me = GetCurrentThreadId();
    std::thread poster([me] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        PostThreadMessageA(me, WM_USER + 5, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        PostThreadMessageA(me, WM_CLOSE, 1, 2);
    });
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Func012(nullptr, 100), 1);
    auto took = std::chrono::steady_clock::now() - t0;
    poster.join();
    EXPECT_GE(took, std::chrono::milliseconds(100));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(m.lParam, 2);
}

TEST(MessageBox, FormatsCutsAndBeeps) {
    std::string box = answerMessageBox("Cap", [] { Func033(nullptr, "Cap", MB_ICONEXCLAMATION, "%d-%s", 42, "x"); });
    EXPECT_NE(box.find("[Cap] 42-x"), std::string::npos) << box;
    EXPECT_EQ(WapiLastMessageBeep(), static_cast<UINT>(MB_ICONEXCLAMATION));
    answerMessageBox("Cap", [] { Func033(nullptr, "Cap", MB_YESNO, "no icon"); });
    EXPECT_EQ(WapiLastMessageBeep(), static_cast<UINT>(MB_OK));
    std::string longText(900, 'L');
    box = answerMessageBox("Cap", [&] { Func033(nullptr, "Cap", 0, "%s", longText.c_str()); });
    EXPECT_NE(box.find(std::string(511, 'L')), std::string::npos);
    EXPECT_EQ(box.find(std::string(512, 'L')), std::string::npos);
}

} // namespace
