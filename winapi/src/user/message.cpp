// Per-thread message queues: posting, sending across threads, peeking and
// getting in Windows' order (sent, posted, quit, input, paint, timers), and
// waiting for messages together with kernel objects.
#include "message.h"

#include "window.h"

#include <winapi_ext.h>

#include <algorithm>
#include <condition_variable>
#include <map>

namespace winapi::user {

using Clock = std::chrono::steady_clock;

namespace {

std::map<DWORD, MessageQueue *> &queues() {
    static auto *m = new std::map<DWORD, MessageQueue *>;
    return *m;
}

std::condition_variable &idleCv() {
    static auto *cv = new std::condition_variable;
    return *cv;
}

void replyLocked(SentMessage *sm, LRESULT result) {
    if (sm->done) return;
    sm->result = result;
    sm->done = true;
    if (sm->sender) {
        sm->sender->replyArrived = true;
        sm->sender->notifyLocked();
    }
}

void finishSent(SentMessage *sm) {
    // The receiver owns messages nobody waits for; the sender owns the rest.
    if (!sm->wantsReply) {
        if (sm->sender) sm->sender->release();
        delete sm;
    }
}

struct QueueOwner {
    MessageQueue *q = nullptr;
    ~QueueOwner() {
        if (!q) return;
        threadEnded(q->tid);
        std::lock_guard<std::mutex> lk(syncMutex());
        queues().erase(q->tid);
        q->gone = true;
        // Whoever still waits for this thread gets an answer of 0.
        while (!q->sent.empty()) {
            SentMessage *sm = q->sent.front();
            q->sent.pop_front();
            replyLocked(sm, 0);
            if (!sm->wantsReply) {
                if (sm->sender) sm->sender->release();
                delete sm;
            }
        }
        idleChangedLocked();
        q->release();
    }
};
thread_local QueueOwner t_queue;

// The message the thread handles now if it came from another thread.
struct Handling {
    SentMessage *sm = nullptr;
    bool replied = false; // ReplyMessage answered: sm may be gone
    bool ours = false;    // nobody waits: this thread frees sm
};
thread_local Handling *t_current = nullptr;
thread_local DWORD t_msgTime = 0;
thread_local POINT t_msgPos{0, 0};

bool inFilter(UINT msg, UINT lo, UINT hi) { return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi); }

// The windows a filter lets through, taken before the queue's lock (the
// window manager's lock comes first): the filter window and its descendants.
struct WindowFilter {
    explicit WindowFilter(HWND f) : filter(f) {
        if (f && f != reinterpret_cast<HWND>(-1)) family = familyOf(f);
    }
    bool operator()(HWND h) const {
        if (!filter) return true;
        if (filter == reinterpret_cast<HWND>(-1)) return h == nullptr;
        return h && std::find(family.begin(), family.end(), h) != family.end();
    }
    HWND filter;
    std::vector<HWND> family;
};

} // namespace

MessageQueue::MessageQueue(DWORD t) : Waitable(ObjectType::Other), tid(t) {}

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

void MessageQueue::postLocked(const MSG &m, bool front) {
    if (front)
        posted.push_front(m);
    else
        posted.push_back(m);
    wakeBits |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    notifyLocked();
}

bool MessageQueue::timerDueLocked(Clock::time_point now) const {
    for (const Timer &t : timers)
        if (t.due <= now && t.due > lastLook) return true;
    return false;
}

DWORD MessageQueue::msUntilTimerLocked() const {
    auto now = Clock::now();
    bool any = false;
    Clock::time_point next{};
    for (const Timer &t : timers) {
        if (t.due <= lastLook) continue;
        if (!any || t.due < next) next = t.due;
        any = true;
    }
    if (!any) return INFINITE;
    if (next <= now) return 0;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
    return static_cast<DWORD>(ms);
}

bool MessageQueue::signaledFor(DWORD) {
    if ((waitMask & kWaitReply) && replyArrived) return true;
    DWORD have = wakeBits;
    if (!sent.empty()) have |= QS_SENDMESSAGE;
    if ((waitMask & QS_TIMER) && timerDueLocked(Clock::now())) have |= QS_TIMER;
    return (have & waitMask & ~kWaitReply) != 0;
}

void wakeQueue(DWORD tid, DWORD bits) {
    std::lock_guard<std::mutex> lk(syncMutex());
    auto it = queues().find(tid);
    if (it == queues().end()) return;
    it->second->wakeBits |= bits;
    it->second->notifyLocked();
}

void wakeForPaint(DWORD tid) { wakeQueue(tid, QS_PAINT); }

void idleChangedLocked() { idleCv().notify_all(); }

bool inSendMessage() { return t_current != nullptr; }

void handleSentMessages() {
    MessageQueue *q = currentQueue();
    for (;;) {
        SentMessage *sm;
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            if (q->sent.empty()) return;
            sm = q->sent.front();
            q->sent.pop_front();
        }
        Handling *outer = t_current;
        Handling here;
        here.sm = sm;
        t_current = &here;
        LRESULT r = 0;
        if (windowThreadId(sm->m.hwnd) == q->tid) r = sendMessage(sm->m.hwnd, sm->m.message, sm->m.wParam, sm->m.lParam);
        t_current = outer;
        if (!here.replied) {
            // Once answered, a waiting sender may free the message at once:
            // who owns it is decided before the answer goes.
            std::lock_guard<std::mutex> lk(syncMutex());
            here.ours = !sm->wantsReply;
            replyLocked(sm, r);
        }
        if (here.ours) finishSent(sm);
    }
}

LRESULT sendToThread(DWORD tid, HWND h, UINT msg, WPARAM wp, LPARAM lp, bool wantsReply, DWORD timeoutMs,
                     bool *timedOut) {
    MessageQueue *self = currentQueue();
    auto *sm = new SentMessage;
    sm->m.hwnd = h;
    sm->m.message = msg;
    sm->m.wParam = wp;
    sm->m.lParam = lp;
    sm->m.time = GetTickCount();
    sm->wantsReply = wantsReply;
    {
        std::lock_guard<std::mutex> lk(syncMutex());
        Ref<MessageQueue> q = queueOfThreadLocked(tid);
        if (!q) {
            delete sm;
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (wantsReply) self->replyArrived = false;
        self->retain();
        sm->sender = self;
        q->sent.push_back(sm);
        q->wakeBits |= QS_SENDMESSAGE;
        q->notifyLocked();
    }
    if (!wantsReply) return TRUE;
    Deadline dl(timeoutMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            if (sm->done) break;
        }
        // Messages sent to us while we wait are handled, so that two
        // threads sending to each other do not lock up.
        handleSentMessages();
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            if (sm->done) break;
            if (dl.passed()) {
                // Give up; the receiver still answers into sm, which it then frees.
                sm->wantsReply = false;
                if (timedOut) *timedOut = true;
                SetLastError(ERROR_TIMEOUT);
                return 0;
            }
            self->replyArrived = false;
            self->waitMask = QS_SENDMESSAGE | kWaitReply;
        }
        Waitable *none = nullptr;
        waitObjects(&none, 0, false, dl.remainingMs(), self);
    }
    LRESULT r = sm->result;
    self->release();
    delete sm;
    return r;
}

bool queueInput(DWORD tid, const InputMessage &in, DWORD wake) {
    std::lock_guard<std::mutex> lk(syncMutex());
    auto it = queues().find(tid);
    if (it == queues().end()) return false;
    // Mouse moves coalesce, as the system keeps only the latest position.
    if (in.move && !it->second->input.empty()) {
        InputMessage &last = it->second->input.back();
        if (last.move && !last.cooked && last.m.hwnd == in.m.hwnd) {
            last = in;
            it->second->notifyLocked();
            return true;
        }
    }
    it->second->input.push_back(in);
    it->second->wakeBits |= wake;
    it->second->notifyLocked();
    return true;
}

void killTimersOf(DWORD tid, HWND h) {
    std::lock_guard<std::mutex> lk(syncMutex());
    auto it = queues().find(tid);
    if (it == queues().end()) return;
    auto &ts = it->second->timers;
    for (size_t i = 0; i < ts.size();)
        if (ts[i].hwnd == h)
            ts.erase(ts.begin() + i);
        else
            i++;
    // Posted messages for a destroyed window are dropped with it.
    if (h) {
        auto &p = it->second->posted;
        for (auto m = p.begin(); m != p.end();)
            m = m->hwnd == h ? p.erase(m) : m + 1;
    }
}

namespace {

// One look at the queue, in Windows' order. Sent messages are handled
// before it.
bool peekOnce(MessageQueue *q, MSG *out, HWND hwnd, UINT lo, UINT hi, UINT flags) {
    WindowFilter windowMatches(hwnd);
    {
        std::lock_guard<std::mutex> lk(syncMutex());
        q->wakeBits = 0;
        q->lastLook = Clock::now();
        for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
            if (!windowMatches(it->hwnd) || !inFilter(it->message, lo, hi)) continue;
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
    }
    // Input, in order; mouse messages get their final form first, which may
    // send WM_NCHITTEST, so the queue lock is let go meanwhile.
    for (size_t i = 0;; i++) {
        InputMessage in;
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            if (i >= q->input.size()) break;
            in = q->input[i];
        }
        if (!in.cooked) {
            InputMessage cooked = in;
            bool keep = cookMouse(cooked);
            std::lock_guard<std::mutex> lk(syncMutex());
            if (i >= q->input.size()) break;
            if (!keep) {
                q->input.erase(q->input.begin() + i);
                i--;
                continue;
            }
            cooked.cooked = true;
            q->input[i] = cooked;
            in = cooked;
        }
        if (!windowMatches(in.m.hwnd) || !inFilter(in.m.message, lo, hi)) continue;
        *out = in.m;
        if (flags & PM_REMOVE) {
            {
                std::lock_guard<std::mutex> lk(syncMutex());
                if (i < q->input.size()) q->input.erase(q->input.begin() + i);
            }
            inputRemoved(*out);
        }
        return true;
    }
    if (inFilter(WM_PAINT, lo, hi)) {
        for (;;) {
            HWND p = findPaintWindow(q->tid, hwnd == reinterpret_cast<HWND>(-1) ? nullptr : hwnd);
            if (!p) break;
            if (hwnd == reinterpret_cast<HWND>(-1)) break;
            // A window whose frame alone needs drawing gets WM_NCPAINT, not WM_PAINT.
            sendNcPaintIfOnlyFrame(p);
            if (findPaintWindow(q->tid, hwnd) != p) continue;
            *out = MSG{};
            out->hwnd = p;
            out->message = WM_PAINT;
            out->time = GetTickCount();
            out->pt = pointerPos();
            return true;
        }
    }
    if (inFilter(WM_TIMER, lo, hi)) {
        std::lock_guard<std::mutex> lk(syncMutex());
        auto now = Clock::now();
        Timer *best = nullptr;
        for (Timer &t : q->timers)
            if (t.due <= now && windowMatches(t.hwnd) && (!best || t.due < best->due)) best = &t;
        if (best) {
            *out = MSG{};
            out->hwnd = best->hwnd;
            out->message = WM_TIMER;
            out->wParam = best->id;
            out->lParam = reinterpret_cast<LPARAM>(best->proc);
            out->time = GetTickCount();
            if (flags & PM_REMOVE) best->due = now + std::chrono::milliseconds(best->elapse);
            return true;
        }
    }
    return false;
}

// Waits until the queue has something for `mask`, the objects are signalled
// or the time is up; timers are due on time.
DWORD waitQueue(MessageQueue *q, Waitable *const *objs, DWORD n, bool all, DWORD ms, DWORD mask) {
    Deadline dl(ms);
    for (;;) {
        DWORD slice;
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            q->waitMask = mask;
            slice = dl.remainingMs();
            if (mask & QS_TIMER) {
                DWORD t = q->msUntilTimerLocked();
                if (t < slice) slice = t;
            }
            q->idle = true;
            idleChangedLocked();
        }
        DWORD r = waitObjects(objs, n, all, slice, q);
        {
            std::lock_guard<std::mutex> lk(syncMutex());
            q->idle = false;
        }
        if (r != WAIT_TIMEOUT || dl.passed()) return r;
        if (dl.infinite && slice == INFINITE) return r;
    }
}

} // namespace

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
    handleSentMessages();
    applyPendingActivation();
    if (!peekOnce(q, msg, hwnd, lo, hi, flags)) return FALSE;
    t_msgTime = msg->time;
    t_msgPos = msg->pt;
    return TRUE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
    if (!msg || (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !IsWindow(hwnd))) {
        SetLastError(msg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return -1;
    }
    MessageQueue *q = currentQueue();
    for (;;) {
        if (PeekMessageA(msg, hwnd, lo, hi, PM_REMOVE)) return msg->message == WM_QUIT ? FALSE : TRUE;
        waitQueue(q, nullptr, 0, false, INFINITE, QS_ALLINPUT | QS_ALLPOSTMESSAGE);
    }
}

BOOL WINAPI WaitMessage(void) {
    MessageQueue *q = currentQueue();
    waitQueue(q, nullptr, 0, false, INFINITE, QS_ALLINPUT | QS_ALLPOSTMESSAGE);
    return TRUE;
}

BOOL WINAPI PostThreadMessageA(DWORD tid, UINT message, WPARAM wp, LPARAM lp) {
    std::lock_guard<std::mutex> lk(syncMutex());
    Ref<MessageQueue> q = queueOfThreadLocked(tid);
    if (!q) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    MSG m{};
    m.message = message;
    m.wParam = wp;
    m.lParam = lp;
    m.time = GetTickCount();
    m.pt = pointerPos();
    q->postLocked(m);
    return TRUE;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    if (!hwnd) return PostThreadMessageA(currentThreadId(), message, wp, lp);
    if (hwnd == HWND_BROADCAST) {
        // Every top-level window gets it.
        for (HWND h : windowsOfThread(0))
            if (GetAncestor(h, GA_PARENT) == GetDesktopWindow()) PostMessageA(h, message, wp, lp);
        return TRUE;
    }
    DWORD tid = windowThreadId(hwnd);
    if (!tid) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wp;
    m.lParam = lp;
    m.time = GetTickCount();
    m.pt = pointerPos();
    std::lock_guard<std::mutex> lk(syncMutex());
    Ref<MessageQueue> q = queueOfThreadLocked(tid);
    if (!q) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
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

LRESULT WINAPI SendMessageTimeoutA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT flags, UINT timeout,
                                   DWORD_PTR *result) {
    DWORD tid = windowThreadId(hwnd);
    if (!tid) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LRESULT r;
    if (tid == currentThreadId()) {
        r = sendMessage(hwnd, msg, wp, lp);
    } else {
        bool timedOut = false;
        r = sendToThread(tid, hwnd, msg, wp, lp, true, timeout, &timedOut);
        if (timedOut) return 0;
    }
    if (result) *result = static_cast<DWORD_PTR>(r);
    return 1;
}

BOOL WINAPI SendNotifyMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD tid = windowThreadId(hwnd);
    if (!tid) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (tid == currentThreadId()) {
        sendMessage(hwnd, msg, wp, lp);
        return TRUE;
    }
    return sendToThread(tid, hwnd, msg, wp, lp, false, INFINITE, nullptr) ? TRUE : FALSE;
}

BOOL WINAPI InSendMessage(void) { return t_current ? TRUE : FALSE; }

DWORD WINAPI InSendMessageEx(LPVOID) {
    if (!t_current) return ISMEX_NOSEND;
    if (t_current->replied) return ISMEX_SEND | ISMEX_REPLIED;
    std::lock_guard<std::mutex> lk(syncMutex());
    return t_current->sm->wantsReply ? ISMEX_SEND : ISMEX_NOTIFY;
}

BOOL WINAPI ReplyMessage(LRESULT result) {
    if (!t_current || t_current->replied) return FALSE;
    std::lock_guard<std::mutex> lk(syncMutex());
    t_current->ours = !t_current->sm->wantsReply;
    replyLocked(t_current->sm, result);
    t_current->replied = true;
    return TRUE;
}

DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD n, const HANDLE *hs, DWORD ms, DWORD mask, DWORD flags) {
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
    if (flags & MWMO_INPUTAVAILABLE) {
        // Input already in the queue counts, not only new input.
        std::lock_guard<std::mutex> lk(syncMutex());
        DWORD have = 0;
        if (!q->posted.empty()) have |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
        if (!q->input.empty()) have |= QS_INPUT;
        if (!q->sent.empty()) have |= QS_SENDMESSAGE;
        if (have & mask) return WAIT_OBJECT_0 + n;
    }
    return waitQueue(q, objs.data(), n, (flags & MWMO_WAITALL) != 0, ms, mask);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD n, const HANDLE *hs, BOOL all, DWORD ms, DWORD mask) {
    return MsgWaitForMultipleObjectsEx(n, hs, ms, mask, all ? MWMO_WAITALL : 0);
}

DWORD WINAPI GetQueueStatus(UINT flags) {
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    DWORD now = 0;
    if (!q->posted.empty() || q->quitPosted) now |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    if (!q->sent.empty()) now |= QS_SENDMESSAGE;
    for (const Timer &t : q->timers)
        if (t.due <= std::chrono::steady_clock::now()) now |= QS_TIMER;
    for (const InputMessage &in : q->input) {
        UINT m = in.m.message;
        if (m >= WM_KEYFIRST && m <= WM_KEYLAST) now |= QS_KEY;
        else if (in.move) now |= QS_MOUSEMOVE;
        else now |= QS_MOUSEBUTTON;
    }
    DWORD fresh = q->wakeBits & flags;
    q->wakeBits &= ~flags;
    return (fresh << 16) | (now & flags);
}

BOOL WINAPI GetInputState(void) {
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    return q->input.empty() ? FALSE : TRUE;
}

DWORD WINAPI GetMessagePos(void) { return static_cast<DWORD>(MAKELONG(t_msgPos.x, t_msgPos.y)); }
LONG WINAPI GetMessageTime(void) { return static_cast<LONG>(t_msgTime); }
LPARAM WINAPI GetMessageExtraInfo(void) { return 0; }

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (hwnd && windowThreadId(hwnd) != currentThreadId()) {
        SetLastError(hwnd && windowThreadId(hwnd) ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (elapse < 10) elapse = 10; // USER_TIMER_MINIMUM
    if (elapse > 0x7FFFFFFF) elapse = 0x7FFFFFFF;
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    if (!hwnd) {
        // Thread timers get a fresh identifier unless an existing one is renewed.
        bool exists = false;
        for (const Timer &t : q->timers)
            if (!t.hwnd && t.id == id) exists = true;
        if (!exists) {
            UINT_PTR next = 0x7FFE;
            for (bool used = true; used;) {
                next++;
                used = false;
                for (const Timer &t : q->timers)
                    if (!t.hwnd && t.id == next) used = true;
            }
            id = next;
        }
    }
    for (Timer &t : q->timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.proc = proc;
            t.due = Clock::now() + std::chrono::milliseconds(elapse);
            q->notifyLocked();
            return hwnd ? 1 : id;
        }
    }
    Timer t;
    t.hwnd = hwnd;
    t.id = id;
    t.elapse = elapse;
    t.proc = proc;
    t.due = Clock::now() + std::chrono::milliseconds(elapse);
    q->timers.push_back(t);
    q->notifyLocked();
    return hwnd ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    MessageQueue *q = currentQueue();
    std::lock_guard<std::mutex> lk(syncMutex());
    for (auto it = q->timers.begin(); it != q->timers.end(); ++it) {
        if (it->hwnd == hwnd && it->id == id) {
            q->timers.erase(it);
            // A WM_TIMER already posted for it is not delivered any more.
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

DWORD WINAPI WapiWaitForIdle(HWND hwnd, DWORD ms) {
    DWORD tid = 0;
    if (hwnd) {
        tid = windowThreadId(hwnd);
        if (!tid) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return WAIT_FAILED;
        }
    }
    Deadline dl(ms);
    for (;;) {
        // Without a window: the threads that own windows (workers that only
        // send messages are not waited for).
        std::vector<DWORD> tids = tid ? std::vector<DWORD>{tid} : threadsWithWindows();
        std::unique_lock<std::mutex> lk(syncMutex());
        bool allIdle = true;
        for (DWORD t : tids) {
            if (t == currentThreadId()) continue;
            auto it = queues().find(t);
            if (it == queues().end()) continue;
            MessageQueue *q = it->second;
            if (!q->idle || q->signaledFor(t)) allIdle = false;
        }
        if (allIdle) return WAIT_OBJECT_0;
        if (dl.passed()) return WAIT_TIMEOUT;
        // A thread that becomes idle, or ends, notifies idleCv.
        if (dl.infinite)
            idleCv().wait(lk);
        else
            idleCv().wait_until(lk, dl.at);
    }
}

} // extern "C"
