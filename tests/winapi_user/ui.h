// Helpers for the window-system tests: a thread that owns windows and runs
// a message loop, a recording window procedure, and PNG reading. Input as
// a person gives it: gui_driver.h.
#pragma once

#include "gui_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace uitest {

// A thread with a message loop; run() executes code on it and waits.
class UiThread {
public:
    UiThread();
    ~UiThread();
    DWORD id() const { return tid_; }
    void run(const std::function<void()> &fn);
    template <class T>
    T call(const std::function<T()> &fn) {
        T r{};
        run([&] { r = fn(); });
        return r;
    }
    // Waits until the thread has handled everything queued for it.
    void idle(DWORD ms = 5000) { WapiWaitForIdle(nullptr, ms); }

private:
    std::thread thread_;
    DWORD tid_ = 0;
    HWND task_ = nullptr;
};

// One recorded message.
struct Rec {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Records every message of windows of the "Rec" class (and any window whose
// procedure is recProc), then passes it to DefWindowProcA.
class Recorder {
public:
    static Recorder &get();
    void clear();
    std::vector<Rec> all();
    std::vector<UINT> messages(HWND h, bool skipNoise = true);
    std::vector<Rec> of(UINT msg);
    void add(const Rec &r);
    // Optional extra handling: return true when handled (result in *out).
    std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT *)> hook;

private:
    std::mutex mu_;
    std::vector<Rec> recs_;
};

LRESULT CALLBACK recProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
// Registers "Rec" (white background, CS_DBLCLKS) once.
void registerRecClass();

// A test with the recording class registered and the recorder empty and
// without a hook, before and after.
class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerRecClass();
        Recorder::get().clear();
        Recorder::get().hook = nullptr;
    }
    void TearDown() override { Recorder::get().hook = nullptr; }
};

// Reads a PNG into 0x00RRGGBB pixels.
bool readPng(const std::string &path, std::vector<uint32_t> &px, int &w, int &h);

std::string tempPath(const std::string &name);

} // namespace uitest
