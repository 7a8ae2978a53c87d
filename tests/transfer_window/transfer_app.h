// The application of the transfer-window tests: a thread with a top-level
// window of its own that opens a port and starts a transfer; and reading
// the progress dialog. Finding windows, typing and clicking: gui_driver.h.
#pragma once

#include "gui_driver.h"

#include <vorlex.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tw {

// Runs an application on a thread of its own: it makes its main window,
// opens the port, then calls body(port, window) and keeps its window
// until the test is done with it.
class App {
public:
    // noProgressWindow as Func090 sets it; the line is opened at 115200 8N1.
    App(int comNumber, std::function<LONG(LONG port, HWND window)> body, bool noProgressWindow = false);
    ~App();
    App(const App &) = delete;
    App &operator=(const App &) = delete;

    HWND window() const { return window_; }
    // The body's result, or fallback when it has not returned within ms.
    LONG result(LONG fallback, DWORD ms = 15000);
    bool done() const { return done_; }
    // Whether the main window was enabled when the body returned.
    bool enabledAfter() const { return enabledAfter_; }
    bool opened() const { return openResult_ == 0; }
    // Lets a body that waits in pause() go on.
    void resume();
    // For bodies: waits, dispatching messages, until resume() is called
    // (or the test gives up on the application).
    void pause();

private:
    void run(int comNumber, std::function<LONG(LONG, HWND)> body, bool noProgressWindow);

    std::thread thread_;
    HANDLE ready_ = nullptr, finished_ = nullptr, resume_ = nullptr;
    HWND window_ = nullptr;
    std::atomic<bool> done_{false};
    LONG result_ = -999;
    LONG openResult_ = -1;
    bool enabledAfter_ = false;
};

// The progress bar (control 1003).
struct Bar {
    int position = 0;
    int low = 0;
    int high = 0;
};
Bar bar(HWND dialog);

// The fields of the progress dialog, read at one moment.
struct Fields {
    std::string name, size, bytes, cps, errors, status;
    Bar bar;
    DWORD at = 0; // milliseconds since the sampling began
};
// Reads the dialog until it is gone or until stop() is true, every 40 ms.
std::vector<Fields> follow(HWND dialog, const std::function<bool()> &stop);

std::string randomBytes(size_t n, unsigned seed);
void writeFile(const std::string &path, const std::string &bytes);

} // namespace tw
