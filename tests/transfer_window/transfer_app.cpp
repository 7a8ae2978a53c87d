#include "transfer_app.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace tw {

using gui::itemText;

namespace {

constexpr DWORD kOwnerId = 0x5151;
const char kAppClass[] = "TransferTestApp";

void registerAppClass() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = kAppClass;
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
}

// Waits for the event while the thread's windows keep working.
void waitDispatching(HANDLE event, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) return;
        DWORD w = MsgWaitForMultipleObjects(1, &event, FALSE, ms - spent, QS_ALLINPUT);
        if (w != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

} // namespace

App::App(int comNumber, std::function<LONG(LONG, HWND)> body, bool noProgressWindow) {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    finished_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    resume_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread_ = std::thread([this, comNumber, body, noProgressWindow] { run(comNumber, body, noProgressWindow); });
    WaitForSingleObject(ready_, 10000);
}

App::~App() {
    SetEvent(resume_);
    SetEvent(finished_);
    if (thread_.joinable()) thread_.join();
    CloseHandle(ready_);
    CloseHandle(finished_);
    CloseHandle(resume_);
}

void App::run(int comNumber, std::function<LONG(LONG, HWND)> body, bool noProgressWindow) {
    registerAppClass();
    window_ = CreateWindowExA(0, kAppClass, "Transfer Test App", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 80, 640, 480,
                              nullptr, nullptr, nullptr, nullptr);
    const LONG port = comNumber - 1;
    openResult_ = Func041(port, kOwnerId);
    if (openResult_ == 0) Func090(port, noProgressWindow ? 1 : 0, 0, 0, 0, 60);
    SetEvent(ready_);
    if (openResult_ == 0) {
        result_ = body(port, window_);
        enabledAfter_ = IsWindowEnabled(window_) != FALSE;
        Func122(port, kOwnerId);
    }
    done_ = true;
    // The window stays until the test is done with it.
    waitDispatching(finished_, INFINITE);
    DestroyWindow(window_);
}

LONG App::result(LONG fallback, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!done_) {
        if (GetTickCount() - start > ms) return fallback;
        Sleep(10);
    }
    return result_;
}

void App::resume() { SetEvent(resume_); }
void App::pause() { waitDispatching(resume_, 60000); }

Bar bar(HWND dialog) {
    HWND h = GetDlgItem(dialog, 1003);
    Bar b;
    PBRANGE range{};
    SendMessageA(h, PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
    b.low = range.iLow;
    b.high = range.iHigh;
    b.position = static_cast<int>(SendMessageA(h, PBM_GETPOS, 0, 0));
    return b;
}

std::vector<Fields> follow(HWND dialog, const std::function<bool()> &stop) {
    std::vector<Fields> out;
    const DWORD start = GetTickCount();
    while (IsWindow(dialog) && !stop()) {
        Fields f;
        f.at = GetTickCount() - start;
        f.name = itemText(dialog, 1000);
        f.size = itemText(dialog, 1001);
        f.bytes = itemText(dialog, 1002);
        f.bar = bar(dialog);
        f.cps = itemText(dialog, 1004);
        f.errors = itemText(dialog, 1005);
        f.status = itemText(dialog, 1006);
        if (IsWindow(dialog)) out.push_back(f);
        Sleep(40);
    }
    return out;
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

void writeFile(const std::string &path, const std::string &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

} // namespace tw
