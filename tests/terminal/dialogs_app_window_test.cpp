// The terminal's three dialogs driven as a person would, the protocol list's
// exports, and the terminal in an application's own frame and client
// windows: its private messages, received text, keys out on the line.
#include "gui_driver.h"
#include "message_box.h"
#include "cable.h"
#include "terminal_thread.h"

#include "resources/resources.h"
#include "services/startup.h"
#include "terminal/terminal.h"

#include <vorlex.h>
#include <winapi_ext.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace vorlex;

namespace {

constexpr LONG kPort = 41; // COM42, its far end COM43

using termtest::waitUntil;

std::string rowText(int row) { return termtest::rowText(kPort, row); }

// A double click that closes its window: the last release is given in
// screen coordinates, so that it is not dropped once the window is gone
// (a button left down would swallow the next test's first click).
void doubleClickClosing(HWND h, int x, int y) {
    POINT p{x, y};
    ClientToScreen(h, &p);
    for (BOOL down : {TRUE, FALSE, TRUE, FALSE}) WapiMouseButton(nullptr, p.x, p.y, 0, down);
}

// A VT100 map file of the test's own: Return sends CR LF, Ctrl+Tab "X".
std::string writeMap(const char *name, bool valid) {
    KeyboardMap map{};
    if (valid) {
        initKeyboardMap(map);
        setMapWord(map, MapWord::screenRows, 25);
        setMapWord(map, MapWord::screenColumns, 80);
        setKeyString(map, MapKey::Return, KeyModifier::normal, "^M^J");
        setKeyString(map, MapKey::Tab, KeyModifier::ctrl, "X");
    }
    const auto path = std::filesystem::temp_directory_path() / (std::to_string(GetCurrentProcessId()) + name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(map.image), sizeof map.image);
    return path.string();
}

// The far end of a null-modem cable, and an application thread that opens
// the near end and runs jobs the test posts to it (showing dialogs among
// them) in its message loop.
class OnCable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WapiCreateNullModemPair("COM42", "COM43", nullptr));
        peer = CreateFileA("COM43", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(peer, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS to{};
        to.ReadIntervalTimeout = 50;
        to.ReadTotalTimeoutConstant = 300;
        SetCommTimeouts(peer, &to);
        EscapeCommFunction(peer, SETDTR);
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        app = std::thread([this, ready] {
            termtest::ScreenReader reader;
            appThread = GetCurrentThreadId();
            MSG m;
            PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before anyone posts
            SetEvent(ready);
            while (GetMessageA(&m, nullptr, 0, 0) > 0) {
                if (!m.hwnd && m.message == WM_APP) {
                    auto *job = reinterpret_cast<std::function<void()> *>(m.lParam);
                    (*job)();
                    delete job;
                    if (m.wParam) SetEvent(reinterpret_cast<HANDLE>(m.wParam));
                    continue;
                }
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            for (HWND w : ownWindows)
                if (IsWindow(w)) DestroyWindow(w);
            if (HWND f = terminalRecord(kPort) ? terminalRecord(kPort)->frameWindow : nullptr) DestroyWindow(f);
            Func122(kPort, 1);
        });
        WaitForSingleObject(ready, 5000);
        CloseHandle(ready);
        onApp([] {
            Func041(kPort, 1);
            Func001(kPort, 115200, 0, 8, 1);
        });
    }
    void TearDown() override {
        EscapeCommFunction(peer, CLRDTR);
        PostThreadMessageA(appThread, WM_QUIT, 0, 0);
        app.join();
        CloseHandle(peer);
        WapiDestroyNullModemPair("COM42");
    }
    // Runs fn on the application's thread and waits for it.
    void onApp(std::function<void()> fn) {
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        PostThreadMessageA(appThread, WM_APP, reinterpret_cast<WPARAM>(done),
                           reinterpret_cast<LPARAM>(new std::function<void()>(std::move(fn))));
        EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
        CloseHandle(done);
    }
    // The application shows a dialog; the test finds it by its title.
    HWND showDialog(WORD id, DLGPROC procedure, LONG port, const char *title) {
        dialogResult = -2;
        HWND owner = terminalRecord(kPort) ? terminalRecord(kPort)->frameWindow : nullptr;
        PostThreadMessageA(appThread, WM_APP, 0, reinterpret_cast<LPARAM>(new std::function<void()>([=, this] {
                               dialogResult = DialogBoxParamA(libraryInstance, MAKEINTRESOURCEA(id), owner,
                                                              procedure, port);
                           })));
        return gui::waitForWindow(title);
    }
    INT_PTR dialogEnded(HWND dialog) {
        EXPECT_TRUE(gui::waitGone(dialog));
        EXPECT_TRUE(waitUntil([&] { return dialogResult != -2; }));
        return dialogResult;
    }
    void terminalOnPort() {
        onApp([] { ASSERT_EQ(Func028(kPort, nullptr, 0x07, 0), 0); });
    }
    std::string received() {
        std::string got(64, '\0');
        DWORD n = 0;
        ReadFile(peer, got.data(), static_cast<DWORD>(got.size()), &n, nullptr);
        got.resize(n);
        return got;
    }

    HANDLE peer = INVALID_HANDLE_VALUE;
    std::thread app;
    DWORD appThread = 0;
    std::atomic<INT_PTR> dialogResult{-2};
    std::vector<HWND> ownWindows;
};

TEST(ProtocolList, NamesToNumbersAndDirectoriesWithoutATerminal) {
    const struct {
        const char *name;
        LONG number;
    } names[] = {{"ASCII", 0},      {"xmodem", 1},   {"XMODEM 1k", 2}, {"Xmodem 1K-G", 3}, {"Ymodem", 4},
                 {"ymodem-g", 5},   {"zmodem", 6},   {"Kermit", -1},   {"", -1},           {"Zmodem ", -1},
                 {"Xmodem1K", -1}, {nullptr, -1}};
    for (const auto &n : names) EXPECT_EQ(Func045(n.name), n.number) << (n.name ? n.name : "(null)");
    Func078(-1, 2, "a", "b"); // no terminal anywhere: nothing happens
    Func078(255, 2, "a", "b");
    Func078(kPort, 2, "a", "b");
    EXPECT_EQ(terminalRecord(kPort), nullptr);
}

using TerminalDialogs = OnCable;

TEST_F(TerminalDialogs, ProtocolDialogSelectsTheDefaultAndGivesTheChoice) {
    terminalOnPort();
    TerminalRecord *t = terminalRecord(kPort);
    ASSERT_NE(t, nullptr);

    // Directories longer than their fields are cut, not run past.
    const std::string longName(600, 'd');
    onApp([&] { Func078(kPort, 2, longName.c_str(), nullptr); });
    EXPECT_EQ(t->defaultProtocol, 2);
    EXPECT_EQ(std::string(t->sendDirectory), longName.substr(0, 255));
    EXPECT_EQ(std::string(t->receiveDirectory), "");
    onApp([] { Func078(kPort, -1, "C:\\UP", "C:\\DOWN"); });
    EXPECT_STREQ(t->sendDirectory, "C:\\UP");
    EXPECT_STREQ(t->receiveDirectory, "C:\\DOWN");

    // default protocol, what the person does, the dialog's result
    const struct {
        LONG defaultProtocol;
        const char *selected;
        const char *action; // "ok", "cancel", or an item to double-click
        INT_PTR result;
    } cases[] = {
        {-1, "Zmodem", "ok", 6},
        {2, "Xmodem 1K", "ok", 2},
        {9, "Zmodem", "cancel", -1},
        {0, "ASCII", "Ymodem", 4},
    };
    for (const auto &c : cases) {
        onApp([&] { Func078(kPort, c.defaultProtocol, "", ""); });
        HWND dialog = showDialog(resources::kDialogSelectProtocol, Func104, kPort, "Select A Protocol");
        ASSERT_NE(dialog, nullptr);
        HWND list = GetDlgItem(dialog, 1008);
        EXPECT_EQ(gui::listItems(list), (std::vector<std::string>{"ASCII", "Xmodem", "Xmodem 1K", "Xmodem 1K-G",
                                                                   "Ymodem", "Ymodem-G", "Zmodem"}));
        EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), gui::listIndexOf(list, c.selected)) << c.selected;
        // Centred on the terminal's frame.
        RECT d, f;
        GetWindowRect(dialog, &d);
        GetWindowRect(t->frameWindow, &f);
        EXPECT_NEAR((d.left + d.right) / 2, (f.left + f.right) / 2, 1);
        EXPECT_NEAR((d.top + d.bottom) / 2, (f.top + f.bottom) / 2, 1);
        const std::string action = c.action;
        if (action == "ok" || action == "cancel")
            gui::click(GetDlgItem(dialog, action == "ok" ? IDOK : IDCANCEL));
        else
            doubleClickClosing(list, 10, gui::listItemY(list, gui::listIndexOf(list, c.action)));
        EXPECT_EQ(dialogEnded(dialog), c.result) << c.action;
    }
}

TEST_F(TerminalDialogs, SessionParametersShowAndApplyTheLine) {
    terminalOnPort();
    struct Radios {
        int data, stop, parity;
    };
    const struct {
        LONG port;  // whose settings the dialog shows
        LONG baud, parity, dataBits, stopBits;
        int baudIndex;
        Radios shown;
    } cases[] = {
        {kPort, 19200, 2, 7, 2, 5, {1009, 1015, 1012}},
        {kPort, 2400, 1, 8, 1, 2, {1010, 1014, 1013}},
        {200, 0, 0, 0, 0, 0, {1010, 1014, 1011}}, // not open: 300 8N1
    };
    for (const auto &c : cases) {
        if (c.port == kPort) onApp([&] { ASSERT_EQ(Func001(kPort, c.baud, c.parity, c.dataBits, c.stopBits), 0); });
        HWND dialog = showDialog(resources::kDialogSessionParameters, Func105, c.port, "Session Parameters");
        ASSERT_NE(dialog, nullptr);
        HWND list = GetDlgItem(dialog, 1016);
        EXPECT_EQ(gui::listItems(list).size(), 9u);
        EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), c.baudIndex) << c.baud;
        for (int id : {c.shown.data, c.shown.stop, c.shown.parity})
            EXPECT_EQ(IsDlgButtonChecked(dialog, id), BST_CHECKED) << c.baud << " id " << id;
        EXPECT_EQ(IsDlgButtonChecked(dialog, 1009) + IsDlgButtonChecked(dialog, 1010), 1);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 1011) + IsDlgButtonChecked(dialog, 1012) + IsDlgButtonChecked(dialog, 1013),
                  1);
        gui::click(GetDlgItem(dialog, IDCANCEL));
        EXPECT_EQ(dialogEnded(dialog), 0);
    }
    // Cancel left the line as it was.
    LineSettings s{};
    ASSERT_EQ(Func039(kPort, &s), 0);
    EXPECT_EQ(s.baudRate, 2400u);

    // 115200, 7 data bits, 2 stop bits, even parity chosen and applied.
    HWND dialog = showDialog(resources::kDialogSessionParameters, Func105, kPort, "Session Parameters");
    ASSERT_NE(dialog, nullptr);
    HWND list = GetDlgItem(dialog, 1016);
    SendMessageA(list, LB_SETTOPINDEX, 8, 0);
    gui::click(list, 10, gui::listItemY(list, 8));
    for (int id : {1009, 1015, 1012}) gui::click(GetDlgItem(dialog, id));
    gui::click(GetDlgItem(dialog, IDOK));
    EXPECT_EQ(dialogEnded(dialog), 0);
    ASSERT_EQ(Func039(kPort, &s), 0);
    EXPECT_EQ(s.baudRate, 115200u);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_EQ(s.parity, EVENPARITY);
}

TEST_F(TerminalDialogs, TerminalTypeLoadsTheMapOrSaysWhyNot) {
    terminalOnPort();
    TerminalRecord *t = terminalRecord(kPort);
    ASSERT_NE(t, nullptr);
    const std::string good = writeMap("vorlex_t2_good.kbd", true);
    const std::string bad = writeMap("vorlex_t2_bad.kbd", false);
    std::string upperGood = good;
    for (char &ch : upperGood) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));

    const struct {
        int type;           // chosen in the combo with the arrow keys
        const char *file;
        const char *box;    // "" none
        LONG emulation;     // afterwards
        const char *name;   // keyboardFileName afterwards
    } cases[] = {
        {2, "", "Unable to Open/Read KeyBoard File!", 0, ""},
        {3, bad.c_str(), "KeyBoard File is Invalid (Not a Vorlex .KBD File)!", 0, ""},
        {2, good.c_str(), "", 2, upperGood.c_str()},
        {1, "", "", 1, upperGood.c_str()}, // TTY reads no file; the grayed field's name stays
    };
    for (const auto &c : cases) {
        const LONG before = t->emu.emulation;
        HWND dialog = showDialog(resources::kDialogTerminalType, Func108, kPort, "Select Terminal Type");
        ASSERT_NE(dialog, nullptr);
        HWND combo = GetDlgItem(dialog, 1024), edit = GetDlgItem(dialog, 1026), browse = GetDlgItem(dialog, 1025);
        EXPECT_EQ(gui::comboItems(combo),
                  (std::vector<std::string>{"IBM ANSI", "TTY", "VT100", "IBM3161", "ANSI EX", "TTY EX"}));
        EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), before);
        EXPECT_EQ(IsWindowEnabled(edit) != 0, before >= 2);
        // The person moves through the list; the file field follows the type.
        for (LONG i = before; i != c.type; i += c.type > i ? 1 : -1) {
            gui::key(combo, c.type > i ? VK_DOWN : VK_UP);
            EXPECT_EQ(IsWindowEnabled(edit) != 0, (c.type > i ? i + 1 : i - 1) >= 2);
            EXPECT_EQ(IsWindowEnabled(browse), IsWindowEnabled(edit));
        }
        ASSERT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), c.type);
        if (IsWindowEnabled(edit)) SetWindowTextA(edit, c.file);
        // The box comes while OK's handling runs; the dialog closes after it.
        INT_PTR ended = -2;
        const std::string box = testsupport::answerMessageBox("Change Terminal Type", [&] {
            gui::click(GetDlgItem(dialog, IDOK));
            ended = dialogEnded(dialog);
        });
        EXPECT_EQ(box, *c.box ? std::string("[Change Terminal Type] ") + c.box : "") << c.type;
        EXPECT_EQ(ended, 0);
        EXPECT_EQ(t->emu.emulation, *c.box ? before : c.emulation);
        if (!*c.box) {
            EXPECT_STREQ(t->keyboardFileName, c.name);
        }
    }
    std::filesystem::remove(good);
    std::filesystem::remove(bad);
}

// --- the terminal in the application's windows ----------------------------------------

std::mutex frameLock;
std::vector<UINT> frameMessages; // the private messages the frame saw
std::atomic<LONG> clientDestroyResult{-1};
std::atomic<bool> clientDestroyedHere{false};

bool privateMessage(UINT m) { return m == TERM_START || (m >= TERM_SENDCHAR && m <= TERM_SHOWCHAR); }

LRESULT CALLBACK appFrame(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (privateMessage(m)) {
        std::lock_guard<std::mutex> lock(frameLock);
        frameMessages.push_back(m);
    }
    if (Func091(kPort, w, m, wp, lp) == 0) return 0;
    return DefWindowProcA(w, m, wp, lp);
}

LRESULT CALLBACK appClient(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    const LONG r = Func092(kPort, w, m, wp, lp);
    if (m == WM_DESTROY) {
        clientDestroyResult = r;
        clientDestroyedHere = true; // the application's own handling still runs
    }
    if (r == 0) return 0;
    return DefWindowProcA(w, m, wp, lp);
}

class AppWindowTerminal : public OnCable {
protected:
    void SetUp() override {
        OnCable::SetUp();
        {
            std::lock_guard<std::mutex> lock(frameLock);
            frameMessages.clear();
        }
        clientDestroyResult = -1;
        clientDestroyedHere = false;
        onApp([this] {
            static const bool registered = [] {
                WNDCLASSA wc{};
                wc.lpfnWndProc = appFrame;
                wc.lpszClassName = "T2AppFrame";
                RegisterClassA(&wc);
                wc.lpfnWndProc = appClient;
                wc.lpszClassName = "T2AppClient";
                RegisterClassA(&wc);
                return true;
            }();
            (void)registered;
            frame = CreateWindowExA(0, "T2AppFrame", "Application", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 700,
                                    500, nullptr, nullptr, nullptr, nullptr);
            client = CreateWindowExA(0, "T2AppClient", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0,
                                     680, 440, frame, nullptr, nullptr, nullptr);
            ownWindows = {frame};
        });
        ASSERT_NE(client, nullptr);
    }
    std::vector<UINT> seen() {
        std::lock_guard<std::mutex> lock(frameLock);
        return frameMessages;
    }
    HWND frame = nullptr, client = nullptr;
};

TEST_F(AppWindowTerminal, CreationResultsAndItsFirstMessages) {
    LONG result = -1, hookBefore = -1;
    // Before creation the hooks leave everything to the application.
    onApp([&] { hookBefore = Func092(kPort, client, WM_SIZE, 0, MAKELPARAM(10, 10)); });
    EXPECT_EQ(hookBefore, 1);
    const struct {
        LONG port;
        bool windows;
        LONG result;
    } refused[] = {{-1, true, 3}, {255, true, 3}, {12, true, 3}, {kPort, false, 2}};
    for (const auto &r : refused) {
        onApp([&] { result = Func006(r.port, nullptr, 7, 0, r.windows ? frame : nullptr, r.windows ? client : nullptr); });
        EXPECT_EQ(result, r.result) << r.port;
        EXPECT_EQ(Func007(kPort), 0);
    }

    onApp([&] { result = Func006(kPort, nullptr, 0x1E, 0, frame, client); });
    ASSERT_EQ(result, 0);
    EXPECT_EQ(Func007(kPort), 1);
    ASSERT_TRUE(waitUntil([&] { return seen().size() >= 2; }));
    gui::settle(frame);
    EXPECT_EQ(seen(), (std::vector<UINT>{TERM_START, TERM_CARRIER_ON}));
    TerminalRecord *t = terminalRecord(kPort);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->notifyOwner, 1);
    EXPECT_EQ(t->controlWindow, nullptr);
    EXPECT_EQ(t->buttonBar, nullptr);
    EXPECT_GT(t->cellHeight, 0);
    HWND focused = nullptr;
    onApp([&] { focused = GetFocus(); });
    EXPECT_EQ(focused, client);

    // A second creation only brings the frame forward.
    onApp([&] { result = Func006(kPort, nullptr, 0x1E, 0, frame, client); });
    EXPECT_EQ(result, 0);

    // Carrier off and on again are told to the frame.
    EscapeCommFunction(peer, CLRDTR);
    DWORD n = 0;
    WriteFile(peer, "x", 1, &n, nullptr);
    ASSERT_TRUE(waitUntil([&] { return seen().size() >= 3; }));
    EXPECT_EQ(seen().back(), TERM_CARRIER_OFF);

    // The client's end ends the terminal and leaves the port open.
    onApp([&] { DestroyWindow(client); });
    EXPECT_EQ(clientDestroyResult.load(), 1);
    EXPECT_TRUE(clientDestroyedHere.load());
    EXPECT_EQ(Func007(kPort), 0);
    EXPECT_EQ(terminalRecord(kPort), nullptr);
    EXPECT_NE(Func048(kPort), nullptr);
}

TEST_F(AppWindowTerminal, ReceivedTextShownCharactersAndKeysOut) {
    LONG result = -1;
    onApp([&] { result = Func006(kPort, nullptr, 0x07, 0, frame, client); });
    ASSERT_EQ(result, 0);
    DWORD n = 0;
    WriteFile(peer, "hello\r\n", 7, &n, nullptr);
    ASSERT_TRUE(waitUntil([] { return rowText(0) == "hello"; })) << rowText(0);

    // TERM_SHOWCHAR goes through the interpreter at the cursor, nothing out.
    SendMessageA(client, TERM_SHOWCHAR, 0x41, 0);
    SendMessageA(client, TERM_SHOWCHAR, 0x1B, 0);
    SendMessageA(client, TERM_SHOWCHAR, '[', 0);
    SendMessageA(client, TERM_SHOWCHAR, 'C', 0);
    SendMessageA(client, TERM_SHOWCHAR, 0x142, 0); // the low byte: 'B'
    EXPECT_EQ(rowText(1), "A B");
    EXPECT_EQ(received(), "");

    // Typed characters, and TERM_SENDCHAR to either window.
    gui::type(client, "ab");
    SendMessageA(frame, TERM_SENDCHAR, 'c', 0);
    SendMessageA(client, TERM_SENDCHAR, 'd', 0);
    PostMessageA(frame, WM_CHAR, 'e', 0);
    gui::settle(frame);
    EXPECT_EQ(received(), "abcde");

    // VT100 with a map: Enter sends the mapped string once; a chord that
    // makes no character leaves the next key's character alone.
    const std::string map = writeMap("vorlex_t2_app.kbd", true);
    onApp([&] { result = Func088(kPort, 2, map.c_str()); });
    ASSERT_EQ(result, 0);
    gui::key(client, VK_RETURN);
    EXPECT_EQ(received(), "\r\n");
    gui::chord(client, VK_CONTROL, VK_TAB);
    gui::type(client, "q");
    EXPECT_EQ(received(), "Xq");
    // Keys without a mapping are the application's (the hook answers 1).
    LONG hook = -1;
    onApp([&] { hook = Func092(kPort, client, WM_KEYDOWN, 'Q', 0x00100001); });
    EXPECT_EQ(hook, 1);

    // Types 0 and 1: key downs are the application's unless DoorWay is on.
    onApp([&] { result = Func088(kPort, 0, ""); });
    onApp([&] { hook = Func092(kPort, client, WM_KEYDOWN, VK_F1, 0x003B0001); });
    EXPECT_EQ(hook, 1);
    Func095(kPort, 1);
    onApp([&] { hook = Func092(kPort, client, WM_KEYDOWN, VK_F1, 0x003B0001); });
    EXPECT_EQ(hook, 0);
    EXPECT_EQ(received(), std::string("\0\x3B", 2));
    std::filesystem::remove(map);
    onApp([&] { DestroyWindow(client); });
    EXPECT_EQ(Func007(kPort), 0);
}

} // namespace
