// Message queues: sending across threads (also back to the sender while it
// waits), posting to windows and threads, peek filters and PM_NOREMOVE,
// WM_QUIT, timers, and waits that include the queue.
#include "ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <future>

using namespace uitest;

namespace {

std::atomic<DWORD> g_handlerThread{0};
std::atomic<HWND> g_peer{nullptr};

LRESULT CALLBACK echoProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_USER + 1:
        g_handlerThread = GetCurrentThreadId();
        return static_cast<LRESULT>(wp * 2 + lp);
    case WM_USER + 2:
        // Sends back to a window of the thread that is waiting for us.
        return SendMessageA(g_peer.load(), WM_USER + 1, 10, 1) + 1000;
    case WM_USER + 3:
        return static_cast<LRESULT>(InSendMessage());
    case WM_USER + 4: {
        // Answers early, then goes on working.
        ReplyMessage(5);
        Sleep(50);
        return (InSendMessageEx(nullptr) & ISMEX_REPLIED) ? 9 : 10;
    }
    }
    return DefWindowProcA(h, msg, wp, lp);
}

void registerEcho() {
    static bool done = false;
    if (done) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = echoProc;
    wc.lpszClassName = "Echo";
    RegisterClassA(&wc);
    done = true;
}

TEST(Messages, SendMessageToAnotherThreadRunsThereAndReturnsTheResult) {
    registerEcho();
    UiThread ui;
    HWND h = ui.call<HWND>([] { return CreateWindowExA(0, "Echo", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); });
    ASSERT_TRUE(h);
    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 20, 3), 43);
    EXPECT_EQ(g_handlerThread.load(), ui.id());
    EXPECT_EQ(GetWindowThreadProcessId(h, nullptr), ui.id());
    EXPECT_EQ(SendMessageA(h, WM_USER + 3, 0, 0), 1); // InSendMessage there
    EXPECT_EQ(SendMessageA(h, WM_USER + 4, 0, 0), 5);  // the early answer counts
    DWORD_PTR r = 0;
    EXPECT_TRUE(SendMessageTimeoutA(h, WM_USER + 1, 1, 1, SMTO_NORMAL, 1000, &r));
    EXPECT_EQ(r, 3u);
    ui.run([&] { DestroyWindow(h); });
    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 1, 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Messages, ASendBackToTheWaitingSenderDoesNotDeadlock) {
    registerEcho();
    UiThread ui;
    HWND remote = ui.call<HWND>([] { return CreateWindowExA(0, "Echo", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); });
    HWND local = CreateWindowExA(0, "Echo", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    g_peer = local;
    // remote handles WM_USER+2 by sending WM_USER+1 to local, whose thread
    // is blocked in this SendMessage: it must handle it while waiting.
    EXPECT_EQ(SendMessageA(remote, WM_USER + 2, 0, 0), 21 + 1000);
    EXPECT_EQ(g_handlerThread.load(), GetCurrentThreadId());
    DestroyWindow(local);
    ui.run([&] { DestroyWindow(remote); });
}

TEST(Messages, SendingToAThreadThatEndsIsAnsweredWithZero) {
    registerEcho();
    HWND h = nullptr;
    std::atomic<bool> go{false};
    std::thread t([&] {
        h = CreateWindowExA(0, "Echo", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        go = true;
        // Ends without pumping: the pending send must not hang.
        Sleep(200);
    });
    while (!go) Sleep(1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 5, 5), 0);
    t.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(IsWindow(h));
}

TEST(Messages, PostedMessagesArriveInOrderOnTheOwningThread) {
    registerRecClass();
    UiThread ui;
    HWND h = ui.call<HWND>([] { return CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); });
    Recorder::get().clear();
    for (int i = 0; i < 50; i++) ASSERT_TRUE(PostMessageA(h, WM_USER + 10, static_cast<WPARAM>(i), 0));
    ui.idle();
    auto recs = Recorder::get().of(WM_USER + 10);
    ASSERT_EQ(recs.size(), 50u);
    for (int i = 0; i < 50; i++) EXPECT_EQ(recs[static_cast<size_t>(i)].wParam, static_cast<WPARAM>(i));
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x12345678), WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    ui.run([&] { DestroyWindow(h); });
}

TEST(Messages, PeekFiltersByWindowAndRangeAndKeepsWithNoRemove) {
    registerRecClass();
    HWND a = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND bc = CreateWindowExA(0, "Rec", "", WS_CHILD, 0, 0, 1, 1, b, nullptr, nullptr, nullptr);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    PostMessageA(a, WM_USER + 1, 1, 0);
    PostMessageA(b, WM_USER + 2, 2, 0);
    PostMessageA(bc, WM_USER + 3, 3, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 4, 4, 0);
    // Range filter.
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 3, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    // Window filter takes the children too.
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, b);
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, bc);
    EXPECT_FALSE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    // -1 means thread messages only.
    ASSERT_TRUE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 4));
    EXPECT_EQ(m.hwnd, nullptr);
    // PM_NOREMOVE leaves it for the next look.
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.hwnd, a);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, a);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER, WM_USER + 100, PM_REMOVE));
    DestroyWindow(a);
    DestroyWindow(b);
}

TEST(Messages, QuitComesAfterPostedMessagesAndEndsGetMessage) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    PostQuitMessage(7);
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 9, 0, 0);
    ASSERT_EQ(GetMessageA(&m, nullptr, 0, 0), TRUE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 9));
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), FALSE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST(Messages, TimersFireOnTimeUntilKilled) {
    registerRecClass();
    HWND h = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(SetTimer(h, 5, 50, nullptr), 1u);
    auto start = std::chrono::steady_clock::now();
    MSG m;
    int ticks = 0;
    while (ticks < 3 && GetMessageA(&m, nullptr, 0, 0)) {
        if (m.message == WM_TIMER && m.hwnd == h && m.wParam == 5) ticks++;
        DispatchMessageA(&m);
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 140);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(KillTimer(h, 5));
    EXPECT_FALSE(KillTimer(h, 5));
    // No more WM_TIMER: a wait of 150 ms sees none.
    DWORD r = MsgWaitForMultipleObjects(0, nullptr, FALSE, 150, QS_TIMER);
    EXPECT_EQ(r, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(PeekMessageA(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    // Thread timers with a procedure: DispatchMessage calls it.
    static int calls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) { calls++; });
    ASSERT_NE(id, 0u);
    while (calls < 2 && GetMessageA(&m, nullptr, 0, 0)) DispatchMessageA(&m);
    KillTimer(nullptr, id);
    EXPECT_EQ(calls, 2);
    DestroyWindow(h);
}

TEST(Messages, MsgWaitWakesForPostedMessagesAndObjects) {
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    DWORD self = GetCurrentThreadId();
    std::thread poster([&] {
        Sleep(50);
        PostThreadMessageA(self, WM_USER + 1, 0, 0);
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 5000, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    poster.join();
    // Looked at: the same message no longer wakes a wait.
    EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 30, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
    // With MWMO_INPUTAVAILABLE it does.
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &ev, 30, QS_ALLINPUT, MWMO_INPUTAVAILABLE), static_cast<DWORD>(WAIT_OBJECT_0 + 1));
    // The object wins when it is signalled.
    SetEvent(ev);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 1000, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    // Messages of a kind not in the mask do not wake it.
    PostThreadMessageA(self, WM_USER + 2, 0, 0);
    ResetEvent(ev);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &ev, FALSE, 50, QS_KEY), static_cast<DWORD>(WAIT_TIMEOUT));
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    CloseHandle(ev);
}

TEST(Messages, WaitForIdleWaitsUntilTheThreadHasHandledItsMessages) {
    registerRecClass();
    UiThread ui;
    std::atomic<int> handled{0};
    HWND h = ui.call<HWND>([] { return CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); });
    Recorder::get().hook = [&](HWND w, UINT msg, WPARAM, LPARAM, LRESULT *) {
        if (w == h && msg == WM_USER + 5) {
            Sleep(20);
            handled++;
        }
        return false;
    };
    for (int i = 0; i < 5; i++) PostMessageA(h, WM_USER + 5, 0, 0);
    EXPECT_EQ(WapiWaitForIdle(h, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(handled.load(), 5);
    Recorder::get().hook = nullptr;
    ui.run([&] { DestroyWindow(h); });
    EXPECT_EQ(WapiWaitForIdle(h, 10), static_cast<DWORD>(WAIT_FAILED));
}

} // namespace

namespace {

TEST(Messages, AFilteredGetMessageDoesNotSpinOnAnotherWindowsTimer) {
    registerRecClass();
    HWND a = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, "Rec", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    SetTimer(b, 1, 10, nullptr);
    Sleep(30); // b's timer is due; a GetMessage for a must sleep anyway
    std::thread poster([a] {
        Sleep(200);
        PostMessageA(a, WM_USER + 1, 0, 0);
    });
    auto cpu0 = std::clock();
    MSG m;
    ASSERT_EQ(GetMessageA(&m, a, 0, 0), TRUE);
    auto cpuMs = (std::clock() - cpu0) * 1000 / CLOCKS_PER_SEC;
    poster.join();
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_LT(cpuMs, 100); // waited, did not spin for 200 ms
    // The timer is still there for an unfiltered look.
    EXPECT_TRUE(PeekMessageA(&m, b, WM_TIMER, WM_TIMER, PM_REMOVE));
    KillTimer(b, 1);
    DestroyWindow(a);
    DestroyWindow(b);
}

} // namespace

namespace {

// Three threads whose handlers send on to the next one in a ring: every
// send waits for a thread that is itself waiting in a send.
std::atomic<HWND> g_ring[3];

LRESULT CALLBACK ringProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER + 20) {
        int me = static_cast<int>(lp);
        if (wp == 0) return me;
        return SendMessageA(g_ring[(me + 1) % 3].load(), WM_USER + 20, wp - 1, (me + 1) % 3) + 1;
    }
    return DefWindowProcA(h, msg, wp, lp);
}

TEST(Messages, SendsAroundARingOfThreadsComplete) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ringProc;
    wc.lpszClassName = "Ring";
    RegisterClassA(&wc);
    UiThread a, b, c;
    UiThread *t[3] = {&a, &b, &c};
    for (int i = 0; i < 3; i++)
        g_ring[i] = t[i]->call<HWND>([] { return CreateWindowExA(0, "Ring", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr); });
    auto result = std::async(std::launch::async, [] {
        LRESULT total = 0;
        for (int k = 0; k < 10; k++) total += SendMessageA(g_ring[0].load(), WM_USER + 20, 30, 0);
        return total;
    });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    // 30 hops from thread 0 end on thread 0 (30 % 3 == 0), plus one per hop.
    EXPECT_EQ(result.get(), 10 * 30);
    // Several senders at once into the ring.
    std::vector<std::future<LRESULT>> many;
    for (int s = 0; s < 4; s++)
        many.push_back(std::async(std::launch::async, [s] { return SendMessageA(g_ring[s % 3].load(), WM_USER + 20, 10, s % 3); }));
    for (auto &f : many) {
        ASSERT_EQ(f.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        f.get();
    }
    for (int i = 0; i < 3; i++) t[i]->run([i] { DestroyWindow(g_ring[i].load()); });
    UnregisterClassA("Ring", nullptr);
}

} // namespace
