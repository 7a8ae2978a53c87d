// The person at the screen, for the library's windows: an application
// thread that shows a modal window, and someone who finds it by its title,
// reads it, types and clicks.
#pragma once

#include <windows.h>
#include <winapi_ext.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

namespace person {

// Runs fn on a thread of its own, as an application showing a modal window.
template <class T>
class App {
public:
    explicit App(std::function<T()> fn) : fut_(std::async(std::launch::async, std::move(fn))) {}
    ~App() {
        if (fut_.valid()) fut_.wait();
    }
    // The result, or fallback when fn has not returned within ms.
    T result(T fallback, DWORD ms = 10000) {
        if (!fut_.valid()) return value_;
        if (fut_.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) return fallback;
        value_ = fut_.get();
        return value_;
    }
    bool done() { return !fut_.valid() || fut_.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }

private:
    std::future<T> fut_;
    T value_{};
};

// The visible top-level window with this title (and class), once its thread
// has settled; null after ms.
HWND waitForWindow(const char *title, const char *cls = nullptr, DWORD ms = 5000);
void settle(HWND h);
void key(HWND h, UINT vk);
void type(HWND h, const char *text);
void click(HWND h); // in its middle
void clickAt(HWND h, int x, int y);
void doubleClickAt(HWND h, int x, int y);
std::string text(HWND h);
std::string itemText(HWND dialog, int id);
std::vector<std::string> listItems(HWND list);
std::vector<std::string> comboItems(HWND combo);
int listIndexOf(HWND list, const char *s);
int listItemY(HWND list, int index);
// A dialog's rectangle in dialog units, as its control rectangle in pixels.
RECT dialogUnits(HWND dialog, int x, int y, int cx, int cy);
// A control's rectangle in its dialog's client coordinates.
RECT placeIn(HWND dialog, HWND control);

} // namespace person
