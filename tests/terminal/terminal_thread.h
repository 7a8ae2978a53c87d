// The terminal's state belongs to the thread of its windows, which writes it
// while bytes arrive: a test reads it there. Each application thread of the
// terminal's suites keeps a ScreenReader, a message-only window that runs the
// reads sent to it (sent messages are handled in modal loops too).
#pragma once

#include "terminal/terminal.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace termtest {

class ScreenReader {
public:
    ScreenReader() {
        static const bool registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = procedure;
            wc.lpszClassName = "TermTestReader";
            return RegisterClassA(&wc) != 0;
        }();
        (void)registered;
        window = CreateWindowExA(0, "TermTestReader", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        std::lock_guard<std::mutex> lock(tableLock());
        table()[GetCurrentThreadId()] = window;
    }
    ~ScreenReader() {
        {
            std::lock_guard<std::mutex> lock(tableLock());
            table().erase(GetCurrentThreadId());
        }
        DestroyWindow(window);
    }
    ScreenReader(const ScreenReader &) = delete;
    ScreenReader &operator=(const ScreenReader &) = delete;

    // The reader of a thread, if it keeps one.
    static HWND of(DWORD thread) {
        std::lock_guard<std::mutex> lock(tableLock());
        auto it = table().find(thread);
        return it == table().end() ? nullptr : it->second;
    }
    static constexpr UINT kRun = WM_APP + 1;

private:
    static LRESULT CALLBACK procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m != kRun) return DefWindowProcA(w, m, wp, lp);
        std::unique_ptr<std::function<void()>> job(reinterpret_cast<std::function<void()> *>(lp));
        (*job)();
        return 1;
    }
    static std::mutex &tableLock() {
        static std::mutex m;
        return m;
    }
    static std::map<DWORD, HWND> &table() {
        static std::map<DWORD, HWND> t;
        return t;
    }
    HWND window = nullptr;
};

// read(terminal) on the thread of the port's terminal windows; nothing when
// there is no terminal or its thread does not answer within a second (the
// job owns what it writes, so a late answer harms nothing).
template <class T>
std::optional<T> readTerminal(LONG port, std::function<T(vorlex::TerminalRecord &)> read) {
    vorlex::TerminalRecord *t = vorlex::terminalRecord(port);
    if (!t) return std::nullopt;
    const DWORD owner = GetWindowThreadProcessId(t->clientWindow, nullptr);
    if (owner == GetCurrentThreadId()) return read(*t);
    HWND reader = ScreenReader::of(owner);
    if (!reader) return std::nullopt;
    auto result = std::make_shared<std::optional<T>>();
    auto *job = new std::function<void()>([port, read, result] {
        if (vorlex::TerminalRecord *here = vorlex::terminalRecord(port)) *result = read(*here);
    });
    DWORD_PTR ran = 0;
    if (!SendMessageTimeoutA(reader, ScreenReader::kRun, 0, reinterpret_cast<LPARAM>(job), SMTO_NORMAL, 1000, &ran)) {
        if (GetLastError() != ERROR_TIMEOUT) delete job; // never delivered
        return std::nullopt;
    }
    if (!ran) {
        delete job; // delivered to no reader
        return std::nullopt;
    }
    return *result;
}

// A row of the screen buffer as text, trailing spaces cut.
inline std::string rowText(LONG port, int row) {
    auto text = readTerminal<std::string>(port, [row](vorlex::TerminalRecord &t) {
        std::string s;
        for (int c = 0; c < vorlex::kScreenColumns; c++) s += static_cast<char>(vorlex::cellAt(t.emu, row, c).character);
        return s.erase(s.find_last_not_of(' ') + 1);
    });
    return text ? *text : "<no terminal>";
}

} // namespace termtest
