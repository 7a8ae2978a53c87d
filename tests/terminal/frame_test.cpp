// The terminal's frame as a person uses it: the commands through Alt keys,
// the menu and the button bar, the on-line question, capture to a chosen
// file, and transfers chosen in the protocol dialog against lrzsz.
#include "cable.h"
#include "lrzsz.h"
#include "message_box.h"

#include <atomic>
#include <future>

using namespace termtest;

namespace {

UINT menuState(HWND frame, WORD id) { return GetMenuState(GetMenu(frame), id, MF_BYCOMMAND); }
bool checked(HWND frame, WORD id) { return (menuState(frame, id) & MF_CHECKED) != 0; }
bool grayed(HWND frame, WORD id) { return (menuState(frame, id) & MF_GRAYED) != 0; }

void writeFile(const std::string &path, const std::string &bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

// Watches the far end's DSR from now on: whether it went off, then on again.
std::future<bool> dsrBlinks(HANDLE peer) {
    return std::async(std::launch::async, [peer] {
        bool wentOff = false;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 4000; Sleep(5)) {
            DWORD lines = 0;
            GetCommModemStatus(peer, &lines);
            if (!(lines & MS_DSR_ON)) wentOff = true;
            else if (wentOff) return true;
        }
        return false;
    });
}

TEST_F(TerminalOnCable, AltKeysRunTheirCommands) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    TerminalRecord *t = terminalRecord(kPort);
    gui::chord(client, VK_MENU, 'E');
    EXPECT_TRUE(checked(frame, kCmdEcho));
    gui::type(client, "ab");
    EXPECT_EQ(receive(3), "ab");
    EXPECT_TRUE(shows(0, "ab"));
    gui::chord(client, VK_MENU, 'C');
    EXPECT_TRUE(shows(0, ""));
    EXPECT_EQ(t->emu.cursorColumn, 0);
    gui::chord(client, VK_MENU, 'E');
    EXPECT_FALSE(checked(frame, kCmdEcho));
    EXPECT_EQ(t->localEcho, 0);

    gui::chord(client, VK_MENU, VK_OEM_PLUS);
    EXPECT_EQ(t->emu.doorWayMode, 1);
    EXPECT_TRUE(checked(frame, kCmdDoorWay));
    gui::chord(client, VK_MENU, VK_OEM_PLUS);
    EXPECT_EQ(t->emu.doorWayMode, 0);
    EXPECT_FALSE(checked(frame, kCmdDoorWay));

    // Alt+T runs nothing and leaves no menu open: the next key is the line's.
    gui::chord(client, VK_MENU, 'T');
    EXPECT_EQ(gui::waitForWindow("Select Terminal Type", "#32770", 300), nullptr);
    gui::type(client, "z");
    EXPECT_EQ(receive(2), "z");

    // Hang up while on-line: DTR drops for a moment.
    auto blink = dsrBlinks(peer);
    gui::chord(client, VK_MENU, 'H');
    EXPECT_TRUE(blink.get());

    gui::chord(client, VK_MENU, 'P');
    HWND params = gui::waitForWindow("Session Parameters", "#32770");
    ASSERT_TRUE(params);
    EXPECT_EQ(GetWindow(params, GW_OWNER), frame);
    gui::key(params, VK_ESCAPE);
    EXPECT_TRUE(gui::waitGone(params));

    // Upload, then Cancel in the protocol dialog: nothing grayed, reception goes on.
    gui::chord(client, VK_MENU, 'U');
    HWND protocols = gui::waitForWindow("Select A Protocol", "#32770");
    ASSERT_TRUE(protocols);
    gui::key(protocols, VK_ESCAPE);
    EXPECT_TRUE(gui::waitGone(protocols));
    EXPECT_FALSE(grayed(frame, kCmdUpload));
    EXPECT_FALSE(grayed(frame, kCmdDownload));
    send("still here");
    EXPECT_TRUE(shows(0, "still here"));
    closeTerminal();
}

TEST_F(TerminalOnCable, OnLineExitAsksAndTheButtonsActOnRelease) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    const std::string question = "[Terminal] You Are On-Line\rAre You Sure You Wish To Exit Terminal?";
    EXPECT_EQ(testsupport::answerMessageBox("Terminal", [&] { gui::chord(client, VK_MENU, 'X'); }, IDNO), question);
    ASSERT_TRUE(IsWindow(frame));
    gui::type(client, "k"); // the focus is back on the screen
    EXPECT_EQ(receive(2), "k");
    LRESULT endSession = 1;
    EXPECT_EQ(testsupport::answerMessageBox(
                  "Terminal", [&] { endSession = SendMessageA(frame, WM_QUERYENDSESSION, 0, 0); }, IDNO),
              question);
    EXPECT_EQ(endSession, 0);

    // Clear Screen's button: pressed and released elsewhere runs nothing.
    TerminalRecord *t = terminalRecord(kPort);
    send("text");
    ASSERT_TRUE(shows(0, "text"));
    const ButtonEntry &b = t->buttonBar->buttons[2];
    ASSERT_EQ(b.command, kCmdClearScreen);
    const int x = b.x + b.width / 2, y = b.y + b.height / 2;
    HWND bar = t->controlWindow;
    PostMessageA(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 300, y));
    PostMessageA(bar, WM_LBUTTONUP, 0, MAKELPARAM(x + 300, y));
    gui::settle(bar);
    EXPECT_EQ(rowText(kPort, 0), "text");
    gui::click(bar, x, y);
    EXPECT_TRUE(shows(0, ""));

    EXPECT_EQ(testsupport::answerMessageBox(
                  "Terminal",
                  [&] {
                      gui::chord(client, VK_MENU, 'X');
                      EXPECT_TRUE(gui::waitGone(frame));
                  },
                  IDYES),
              question);
    EXPECT_EQ(Func007(kPort), 0);
}

TEST_F(TerminalOnCable, DoorWayOnlyForAnsiAndTtyAndATypeChangeEndsIt) {
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    TerminalRecord *t = terminalRecord(kPort);
    auto typeDialog = [&] {
        PostMessageA(frame, WM_COMMAND, kCmdTerminalType, 0);
        HWND dialog = gui::waitForWindow("Select Terminal Type", "#32770");
        ASSERT_TRUE(dialog);
        gui::key(dialog, VK_ESCAPE);
        ASSERT_TRUE(gui::waitGone(dialog));
        gui::settle(frame);
    };
    PostMessageA(frame, WM_COMMAND, kCmdDoorWay, 0);
    ASSERT_TRUE(terminalUntil(kPort, [](TerminalRecord &t) { return t.emu.doorWayMode == 1; }));
    typeDialog();
    EXPECT_EQ(t->emu.doorWayMode, 0);
    EXPECT_FALSE(checked(frame, kCmdDoorWay));
    EXPECT_FALSE(grayed(frame, kCmdDoorWay));

    testsupport::TempDir dir;
    const std::string map = writeMap(dir);
    LONG loaded = -1;
    onApp([&] { loaded = Func088(kPort, kVt100, map.c_str()); });
    ASSERT_EQ(loaded, 0);
    PostMessageA(frame, WM_COMMAND, kCmdDoorWay, 0);
    gui::settle(frame);
    EXPECT_EQ(t->emu.doorWayMode, 0);
    typeDialog();
    EXPECT_TRUE(grayed(frame, kCmdDoorWay));
    closeTerminal();
}

TEST_F(TerminalOnCable, CaptureGoesToTheChosenFileAndAppends) {
    testsupport::TempDir dir;
    const std::string file = dir.file("session.cap");
    writeFile(file, "old\r\n");
    start([] { return Func028(kPort, nullptr, 7, 0); });
    ASSERT_EQ(created, 0);
    PostMessageA(frame, WM_COMMAND, kCmdCapture, 0);
    HWND save = gui::waitForWindow("Save Capture As", "#32770");
    ASSERT_TRUE(save);
    EXPECT_EQ(GetWindow(save, GW_OWNER), frame);
    gui::type(save, file + "\n");
    ASSERT_TRUE(gui::waitGone(save));
    EXPECT_TRUE(waitUntil([&] { return checked(frame, kCmdCapture); }));
    send("hello\r\n\x1b[1mbold\x1b[0m");
    ASSERT_TRUE(shows(1, "bold"));
    PostMessageA(frame, WM_COMMAND, kCmdCapture, 0);
    EXPECT_TRUE(waitUntil([&] { return !checked(frame, kCmdCapture); }));
    EXPECT_EQ(testsupport::readFile(file), "old\r\nhello\r\nbold");
    closeTerminal();
}

// A terminal on a port whose far end is an lrzsz program.
class TerminalOnPeer {
public:
    static constexpr LONG kPort = 43; // COM44
    TerminalOnPeer(const std::string &command, const std::string &dir, const std::string &receiveDir = "")
        : peer(44, command, dir) {
        app = std::thread([this, receiveDir] {
            ScreenReader reader;
            thread = GetCurrentThreadId();
            if (Func041(kPort, 5) == 0) {
                Func001(kPort, 115200, 0, 8, 1);
                Func090(kPort, 1, 0, 0, 0, 60);
                created = Func028(kPort, nullptr, 7, 0);
                Func078(kPort, -1, "", receiveDir.c_str());
            } else {
                created = 99;
            }
            MSG m;
            while (GetMessageA(&m, nullptr, 0, 0) > 0) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            Func122(kPort, 5);
        });
        waitUntil([&] { return created.load() != -1; }, 5000);
        if (TerminalRecord *t = terminalRecord(kPort)) frame = t->frameWindow, client = t->clientWindow;
    }
    ~TerminalOnPeer() {
        if (frame) {
            testsupport::answerMessageBox("Terminal", [&] {
                PostMessageA(frame, WM_CLOSE, 0, 0);
                gui::waitGone(frame);
            }, IDYES);
        }
        PostThreadMessageA(thread, WM_QUIT, 0, 0);
        app.join();
    }
    // Upload or Download (Alt+U, Alt+D) with the protocol clicked in the list.
    void choose(UINT altKey, const char *protocol) {
        gui::chord(client, VK_MENU, altKey);
        HWND protocols = gui::waitForWindow("Select A Protocol", "#32770");
        ASSERT_TRUE(protocols);
        HWND list = GetDlgItem(protocols, 1008);
        gui::click(list, 10, gui::listItemY(list, gui::listIndexOf(list, protocol)));
        gui::click(GetDlgItem(protocols, IDOK));
        ASSERT_TRUE(gui::waitGone(protocols));
    }

    testsupport::PeerProgram peer;
    std::thread app;
    std::atomic<DWORD> thread{0};
    std::atomic<LONG> created{-1};
    HWND frame = nullptr, client = nullptr;
};

TEST(TerminalTransfers, ZmodemUploadToRz) {
    testsupport::TempDir src, dst;
    std::string data;
    for (int i = 0; i < 30000; i++) data += static_cast<char>(i * 13 ^ i >> 7);
    writeFile(src.file("up.bin"), data);
    TerminalOnPeer term("rz -q", dst.path());
    ASSERT_EQ(term.created.load(), 0);
    term.choose('U', "Zmodem");
    HWND files = gui::waitForWindow("Select A File Or Group Of Files To Upload", "#32770");
    ASSERT_TRUE(files);
    EXPECT_TRUE(grayed(term.frame, kCmdUpload));
    gui::type(files, src.file("up.bin") + "\n");
    EXPECT_EQ(term.peer.wait(20000), 0) << term.peer.log();
    EXPECT_TRUE(testsupport::readFile(dst.file("up.bin")) == data);
    EXPECT_TRUE(waitUntil([&] { return !grayed(term.frame, kCmdUpload); }, 5000));
}

TEST(TerminalTransfers, XmodemDownloadFromSxIntoTheChosenFile) {
    testsupport::TempDir src, dst;
    std::string data;
    for (int i = 0; i < 3000; i++) data += static_cast<char>(i * 31 ^ i >> 3);
    writeFile(src.file("down.bin"), data);
    TerminalOnPeer term("sx -q down.bin && sleep 1 && printf 'done\\r\\n' && sleep 2", src.path());
    ASSERT_EQ(term.created.load(), 0);
    term.choose('D', "Xmodem");
    HWND save = gui::waitForWindow("Xmodem Receive", "#32770");
    ASSERT_TRUE(save);
    gui::type(save, dst.file("got.bin") + "\n");
    EXPECT_EQ(term.peer.wait(20000), 0) << term.peer.log();
    const std::string got = testsupport::readFile(dst.file("got.bin"));
    EXPECT_EQ(got.size(), (data.size() + 127) / 128 * 128);
    EXPECT_TRUE(got.compare(0, data.size(), data) == 0);
    EXPECT_TRUE(waitUntil([&] {
        for (int row = 0; row < 5; row++)
            if (rowText(TerminalOnPeer::kPort, row).find("done") != std::string::npos) return true;
        return false;
    }, 5000)) << "the terminal reads the line again";
}

// Zmodem through the menu: the folder browser starts at the terminal's
// receive directory, and its OK takes it.
TEST(TerminalTransfers, ZmodemDownloadFromSzIntoTheReceiveDirectory) {
    testsupport::TempDir src, dst;
    std::string data;
    for (int i = 0; i < 40000; i++) data += static_cast<char>(i * 7 ^ i >> 9);
    writeFile(src.file("zdown.bin"), data);
    // sz waits for the test's word, so that the menu and not its own
    // request starts the download.
    TerminalOnPeer term("for i in $(seq 200); do [ -f go ] && break; sleep 0.05; done; sz -q zdown.bin", src.path(),
                        dst.path());
    ASSERT_EQ(term.created.load(), 0);
    term.choose('D', "Zmodem");
    HWND browser = gui::waitForWindow("Browse for Folder", "#32770");
    ASSERT_TRUE(browser);
    gui::key(browser, VK_RETURN);
    ASSERT_TRUE(gui::waitGone(browser));
    writeFile(src.file("go"), "");
    EXPECT_EQ(term.peer.wait(20000), 0) << term.peer.log();
    EXPECT_TRUE(testsupport::readFile(dst.file("zdown.bin")) == data);
}

} // namespace
