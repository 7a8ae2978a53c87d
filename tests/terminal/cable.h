// A terminal on the near end of a null-modem cable, the far end held by the
// test as the remote computer; shared by the terminal's suites.
#pragma once

#include "gui_driver.h"
#include "support.h"
#include "terminal_thread.h"

#include "terminal/terminal.h"

#include <vorlex.h>
#include <winapi_ext.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

namespace termtest {

using namespace vorlex;

inline bool waitUntil(const std::function<bool()> &done, DWORD ms = 3000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(5);
    }
    return true;
}

// Until test holds for the port's terminal, read on the terminal's thread.
inline bool terminalUntil(LONG port, const std::function<bool(TerminalRecord &)> &test, DWORD ms = 3000) {
    return waitUntil([&] { return readTerminal<bool>(port, test).value_or(false); }, ms);
}

// An application thread with a terminal on the near end of a null-modem
// pair; the test holds the far end, as the remote computer.
class TerminalOnCable : public ::testing::Test {
protected:
    static constexpr LONG kPort = 39; // COM40
    static constexpr DWORD kOwner = 0x77;

    void SetUp() override {
        ASSERT_TRUE(WapiCreateNullModemPair("COM40", "COM41", nullptr));
        peer = CreateFileA("COM41", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(peer, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS to{};
        to.ReadIntervalTimeout = 50;
        to.ReadTotalTimeoutConstant = 1000;
        SetCommTimeouts(peer, &to);
        EscapeCommFunction(peer, SETDTR); // our carrier
    }
    void TearDown() override {
        stop();
        if (peer != INVALID_HANDLE_VALUE) CloseHandle(peer);
        WapiDestroyNullModemPair("COM40");
    }

    // Starts the application: it opens the port (unless the terminal is to)
    // and makes the terminal; create's result is kept.
    void start(const std::function<LONG()> &create, bool openFirst = true) {
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        app = std::thread([this, create, openFirst, ready] {
            ScreenReader reader;
            appThread = GetCurrentThreadId();
            if (openFirst) {
                opened = Func041(kPort, kOwner);
                Func001(kPort, 115200, 0, 8, 1);
            }
            created = create();
            SetEvent(ready);
            MSG m;
            while (GetMessageA(&m, nullptr, 0, 0) > 0) {
                if (!m.hwnd && m.message == WM_APP) {
                    (*reinterpret_cast<std::function<void()> *>(m.lParam))();
                    SetEvent(reinterpret_cast<HANDLE>(m.wParam));
                    continue;
                }
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            Func122(kPort, kOwner);
        });
        WaitForSingleObject(ready, 10000);
        CloseHandle(ready);
        if (TerminalRecord *t = terminalRecord(kPort)) frame = t->frameWindow, client = t->clientWindow;
    }
    void stop() {
        if (!app.joinable()) return;
        PostThreadMessageA(appThread, WM_QUIT, 0, 0);
        app.join();
    }
    // Runs fn on the application's thread, as the application's own call.
    void onApp(std::function<void()> fn) {
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        PostThreadMessageA(appThread, WM_APP, reinterpret_cast<WPARAM>(done), reinterpret_cast<LPARAM>(&fn));
        EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
        CloseHandle(done);
    }
    void send(const std::string &bytes) {
        DWORD n = 0;
        WriteFile(peer, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
        ASSERT_EQ(n, bytes.size());
    }
    std::string receive(size_t count) {
        std::string got(count, '\0');
        DWORD n = 0;
        ReadFile(peer, got.data(), static_cast<DWORD>(count), &n, nullptr);
        got.resize(n);
        return got;
    }
    // Until the row shows the text (the thread posts, the window drains).
    bool shows(int row, const std::string &text) {
        return waitUntil([&] { return rowText(kPort, row) == text; });
    }
    void closeTerminal() {
        EscapeCommFunction(peer, CLRDTR); // off-line: no question on exit
        PostMessageA(frame, WM_CLOSE, 0, 0);
        ASSERT_TRUE(gui::waitGone(frame));
    }

    HANDLE peer = INVALID_HANDLE_VALUE;
    std::thread app;
    DWORD appThread = 0;
    LONG opened = -1, created = -1;
    HWND frame = nullptr, client = nullptr;
};

// A map file with the strings the key tests use.
inline std::string writeMap(const testsupport::TempDir &dir) {
    KeyboardMap map;
    initKeyboardMap(map);
    setKeyString(map, MapKey::Up, KeyModifier::normal, "^[[A");
    setKeyString(map, MapKey::KeypadUp, KeyModifier::normal, "^[OA");
    setKeyString(map, MapKey::F5, KeyModifier::ctrl, "^[[15;5~");
    setKeyString(map, MapKey::F5, KeyModifier::normal, "^[[15~");
    setKeyString(map, MapKey::Return, KeyModifier::normal, "^M^J");
    setKeyEcho(map, MapKey::Return, KeyModifier::normal, true);
    setMapWord(map, MapWord::screenRows, 24);
    setMapWord(map, MapWord::screenColumns, 80);
    const std::string path = dir.file("keys.kbd");
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, map.image, sizeof map.image, &n, nullptr);
    CloseHandle(f);
    return path;
}

} // namespace termtest
