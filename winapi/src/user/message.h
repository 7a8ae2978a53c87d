// Thread message queues: posted, sent and input messages, timers, and the
// waits that include them.
#pragma once

#include "../kernel/object.h"

#include <chrono>
#include <deque>

namespace winapi::user {

class MessageQueue;

// A message sent to another thread's window; the sender waits for `done`.
struct SentMessage {
    MSG m{};
    LRESULT result = 0;
    bool done = false;
    bool wantsReply = true;
    MessageQueue *sender = nullptr; // retained while the message is pending
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    std::chrono::steady_clock::time_point due;
};

// Input as the devices give it; mouse messages are given their final form
// (client or non-client, double click) when the owning thread reaches them.
struct InputMessage {
    MSG m{};
    bool cooked = false;
    UINT button = 0;  // 0 left, 1 right, 2 middle; for mouse messages
    bool down = false;
    bool move = false;
};

// Guarded by syncMutex(), so that waits can include it.
class MessageQueue : public Waitable {
public:
    explicit MessageQueue(DWORD t);
    bool signaledFor(DWORD tid) override;
    void postLocked(const MSG &m, bool front = false);
    bool timerDueLocked(std::chrono::steady_clock::time_point now) const;
    // Milliseconds until the next timer, INFINITE when there is none.
    DWORD msUntilTimerLocked() const;

    const DWORD tid;
    std::deque<MSG> posted;
    std::deque<InputMessage> input;
    std::deque<SentMessage *> sent;
    std::vector<Timer> timers;
    bool quitPosted = false;
    int quitCode = 0;
    DWORD wakeBits = 0;     // QS_ bits of what arrived since the last look
    DWORD waitMask = 0;     // what the current wait wakes for
    bool replyArrived = false;
    // Timers already due when the thread last looked wake it no more.
    std::chrono::steady_clock::time_point lastLook{};
    bool idle = false;      // waiting for messages with nothing to do
    bool gone = false;      // the thread ended
    BYTE keyState[256] = {};
    // Double-click detection.
    HWND lastClickHwnd = nullptr;
    UINT lastClickButton = 99;
    DWORD lastClickTime = 0;
    POINT lastClickPt{0, 0};
    bool lastWasDouble = false;
};

// A bit of waitMask that wakes a sender when its reply arrived.
constexpr DWORD kWaitReply = 0x80000000u;

MessageQueue *currentQueue();
Ref<MessageQueue> queueOfThreadLocked(DWORD tid);
// Wakes the queue's thread for these QS_ bits; takes syncMutex.
void wakeQueue(DWORD tid, DWORD bits);
// The queue's thread is to look at its windows' paint state again.
void wakeForPaint(DWORD tid);
// Notifies waiters of WapiWaitForIdle; syncMutex held.
void idleChangedLocked();
// Handles every message that other threads sent to this one.
void handleSentMessages();
// Sends to a window of another thread and waits for the reply, handling
// messages sent to this thread meanwhile.
LRESULT sendToThread(DWORD tid, HWND h, UINT msg, WPARAM wp, LPARAM lp, bool wantsReply, DWORD timeoutMs,
                     bool *timedOut);
// Appends input to a thread's queue.
bool queueInput(DWORD tid, const InputMessage &in, DWORD wake);
// Ends the timers of a window (or all when h is null and tid matches).
void killTimersOf(DWORD tid, HWND h);
// The thread handles a message another thread sent (InSendMessage).
bool inSendMessage();

// Provided by the window layer.
DWORD windowThreadId(HWND h); // 0 if no such window
bool cookMouse(InputMessage &in); // final form of a mouse message; false drops it
void inputRemoved(const MSG &m);  // a key or button message left the queue
HWND findPaintWindow(DWORD tid, HWND filter);
bool matchesFilter(HWND filter, HWND h);
std::vector<HWND> familyOf(HWND h); // the window and all its descendants
void threadEnded(DWORD tid);
void applyPendingActivation(); // SetForegroundWindow asked by another thread
void sendNcPaintIfOnlyFrame(HWND h); // frame-only repaint, no WM_PAINT

} // namespace winapi::user
