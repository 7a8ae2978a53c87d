// The person at the screen, for every GUI suite: an application thread that
// shows a window (often modal), and someone on the test's thread who finds
// it by class and title, reads it, types, presses keys and clicks.
// Every wait here has a short bound, so a window that never comes (or never
// goes) fails its test in seconds instead of hanging the suite.
#pragma once

#include <windows.h>
#include <winapi_ext.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <vector>

namespace gui {

constexpr DWORD kWaitMs = 5000;  // a window's coming, going or settling
constexpr DWORD kAppMs = 10000;  // an application's call returning

// Asks the windows of a thread to end: IDCANCEL, then WM_CLOSE.
void closeThreadWindows(DWORD threadId);

// Runs fn on a thread of its own, as an application showing a window.
// Going out of scope while fn still runs closes that thread's windows; an
// application that ends even then aborts the test program rather than
// hang it.
template <class T>
class App {
public:
    explicit App(std::function<T()> fn)
        : fut_(std::async(std::launch::async, [this, fn = std::move(fn)] {
              thread_ = GetCurrentThreadId();
              return fn();
          })) {}
    ~App() {
        if (!fut_.valid()) return;
        for (int attempt = 0; attempt < 3; attempt++) {
            if (fut_.wait_for(std::chrono::milliseconds(kAppMs)) == std::future_status::ready) return;
            closeThreadWindows(thread_);
        }
        std::fprintf(stderr, "gui::App: the application thread did not end\n");
        std::abort();
    }
    App(const App &) = delete;
    App &operator=(const App &) = delete;
    // fn's result; a failure of the test and fallback when it has not
    // returned within ms.
    T result(T fallback = T{}, DWORD ms = kAppMs) {
        if (!fut_.valid()) return value_;
        if (fut_.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) {
            ADD_FAILURE() << "the application's call did not return within " << ms << " ms";
            return fallback;
        }
        value_ = fut_.get();
        return value_;
    }
    bool done() { return !fut_.valid() || fut_.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }

private:
    std::atomic<DWORD> thread_{0};
    std::future<T> fut_;
    T value_{};
};

// A visible top-level window of this class and title (null: any) other than
// except, at once; null when there is none.
HWND findVisible(const char *cls, const char *title, HWND except = nullptr);
// The same, waited for and settled; null after ms.
HWND waitForWindow(const char *title, const char *cls = nullptr, DWORD ms = kWaitMs);
HWND waitForOther(const char *cls, const char *title, HWND except, DWORD ms = kWaitMs);
// Until the window is gone; false after ms.
bool waitGone(HWND h, DWORD ms = kWaitMs);
// Until the window's thread has handled what is queued for it.
void settle(HWND h);

void key(HWND h, UINT vk);
// A key with Shift, Ctrl or Alt (VK_SHIFT, VK_CONTROL, VK_MENU) held.
void chord(HWND h, UINT modifier, UINT vk);
void type(HWND h, const std::string &text);
// A left click in the middle of a window, or at x, y of its client area.
void click(HWND h, int x = -1, int y = -1);
void doubleClick(HWND h, int x = -1, int y = -1);

std::string text(HWND h);
std::string itemText(HWND dialog, int id);
// An edit field's number; -1 when it holds none.
long long itemNumber(HWND dialog, int id);
std::vector<std::string> listItems(HWND list);
std::vector<std::string> comboItems(HWND combo);
int listIndexOf(HWND list, const char *s);
int listItemY(HWND list, int index);

// A dialog's rectangle in dialog units, as its control rectangle in pixels.
RECT dialogUnits(HWND dialog, int x, int y, int cx, int cy);
// A control's rectangle in its dialog's client coordinates.
RECT placeIn(HWND dialog, HWND control);
// The colour of a point of a window's client area on the screen.
COLORREF pixel(HWND h, int x, int y);

} // namespace gui
