// Per-thread message queues: posting, peeking, getting, and waiting for
// messages together with kernel objects.
#include "message.h"

#include <deque>
#include <map>

namespace winapi::user {

namespace {

std::map<DWORD, MessageQueue *> &queues() {
    static auto *m = new std::map<DWORD, MessageQueue *>;
    return *m;
}

struct QueueOwner {
    MessageQueue *q = nullptr;
    ~QueueOwner() {
        if (!q) return;
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            queues().erase(q->tid);
        }
        q->release();
    }
};
thread_local QueueOwner t_queue;

bool inFilter(UINT msg, UINT lo, UINT hi) { return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi); }

} // namespace

MessageQueue *currentQueue() {
    if (!t_queue.q) {
        auto *q = new MessageQueue(currentThreadId());
        std::lock_guard<std::mutex> lk(syncMutex());
        queues()[q->tid] = q;
        t_queue.q = q;
    }
    return t_queue.q;
}

Ref<MessageQueue> queueOfThreadLocked(DWORD tid) {
    auto it = queues().find(tid);
    if (it == queues().end()) return Ref<MessageQueue>();
    it->second->retain();
    return Ref<MessageQueue>(it->second);
}

void MessageQueue::postLocked(const MSG &m) {
    posted.push_back(m);
    wakeBits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    notifyLocked();
}

bool MessageQueue::signaledFor(DWORD) { return (wakeBits & waitMask) != 0; }

// Window-system hooks; the window layer replaces the defaults.
static WindowHooks g_hooks;
void setWindowHooks(const WindowHooks &h) { g_hooks = h; }
const WindowHooks &windowHooks() { return g_hooks; }

bool peekLocked(MessageQueue *q, MSG *out, HWND hwnd, UINT lo, UINT hi, UINT flags) {
    q->wakeBits = 0;
    for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
        bool windowOk = !hwnd || (hwnd == reinterpret_cast<HWND>(-1) ? it->hwnd == nullptr
                                                                       : (it->hwnd == hwnd ||
                                                                          (g_hooks.isChild && g_hooks.isChild(hwnd, it->hwnd))));
        if (!windowOk || !inFilter(it->message, lo, hi)) continue;
        *out = *it;
        if (flags & PM_REMOVE) q->posted.erase(it);
        return true;
    }
    if (q->quitPosted && inFilter(WM_QUIT, lo, hi)) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(q->quitCode);
        out->time = GetTickCount();
        if (flags & PM_REMOVE) q->quitPosted = false;
        return true;
    }
    return false;
}

} // namespace winapi::user

using namespace winapi;
using namespace winapi::user;

extern "C" {

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT flags) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MessageQueue *q = currentQueue();
    if (g_hooks.beforePeek && g_hooks.beforePeek(msg, hwnd, lo, hi, flags)) return TRUE;
    std::lock_guard<std::mutex> lk(syncMutex());
    return peekLocked(q, msg, hwnd, lo, hi, flags) ? TRUE : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
    if (!msg || (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !IsWindow(hwnd))) {
        SetLastError(msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return -1;
    }
    MessageQueue *q = currentQueue();
    for (;;) {
        if (PeekMessageA(msg, hwnd, lo, hi, PM_REMOVE)) return msg->message == WM_QUIT ? FALSE : TRUE;
        Waitable *none = nullptr;
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            q->waitMask = QS_ALLINPUT | QS_ALLPOSTMESSAGE;
        }
        waitObjects(&none, 0, false, INFINITE, q);
    }
}

BOOL WINAPI PostThreadMessageA(DWORD tid, UINT message, WPARAM wp, LPARAM lp) {
    std::lock_guard<std::mutex> lk(syncMutex());
    Ref<MessageQueue> q = queueOfThreadLocked(tid);
    if (!q) {
        SetLastError(1444); // ERROR_INVALID_THREAD_ID
        return FALSE;
    }
    MSG m{};
    m.message = message;
    m.wParam = wp;
    m.lParam = lp;
    m.time = GetTickCount();
    q->postLocked(m);
    return TRUE;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (!hwnd) return PostThreadMessageA(currentThreadId(), message, wp, lp);
    DWORD tid = g_hooks.windowThread ? g_hooks.windowThread(hwnd) : 0;
    if (!tid) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(syncMutex());
    Ref<MessageQueue> q = queueOfThreadLocked(tid);
    if (!q) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wp;
    m.lParam = lp;
    m.time = GetTickCount();
    q->postLocked(m);
    return TRUE;
}

void WINAPI PostQuitMessage(int code) {
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    q->quitPosted = true;
    q->quitCode = code;
    q->wakeBits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    q->notifyLocked();
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
    if (!msg) return FALSE;
    return g_hooks.translate ? g_hooks.translate(msg) : FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
    if (!msg || !msg->hwnd) return 0; // thread messages have no window procedure
    return g_hooks.dispatch ? g_hooks.dispatch(msg) : 0;
}

BOOL WINAPI IsWindow(HWND hwnd) { return hwnd && g_hooks.windowThread && g_hooks.windowThread(hwnd) ? TRUE : FALSE; }

DWORD WINAPI MsgWaitForMultipleObjects(DWORD n, const HANDLE *hs, BOOL all, DWORD ms, DWORD mask) {
    if (n > MAXIMUM_WAIT_OBJECTS - 1 || (n && !hs)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    MessageQueue *q = currentQueue();
    std::vector<Ref<Object>> refs;
    std::vector<Waitable *> objs;
    for (DWORD i = 0; i < n; i++) {
        Ref<Object> r = lookupHandle(hs[i]);
        Waitable *w = r ? r->asWaitable() : nullptr;
        if (!w) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objs.push_back(w);
        refs.push_back(std::move(r));
    }
    {
        std::lock_guard<std::mutex> lk(syncMutex());
        q->waitMask = mask;
    }
    return waitObjects(objs.data(), n, all != 0, ms, q);
}

DWORD WINAPI GetQueueStatus(UINT flags) {
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    DWORD now = 0;
    if (!q->posted.empty() || q->quitPosted) now |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    DWORD fresh = q->wakeBits & flags;
    q->wakeBits &= ~flags;
    return (fresh << 16) | (now & flags);
}

} // extern "C"
