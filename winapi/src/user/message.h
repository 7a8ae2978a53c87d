// Thread message queues, shared with the window system.
#pragma once

#include "../kernel/object.h"

#include <deque>

namespace winapi::user {

// Guarded by syncMutex(), so that waits can include it.
class MessageQueue : public Waitable {
public:
    explicit MessageQueue(DWORD t) : Waitable(ObjectType::Other), tid(t) {}
    bool signaledFor(DWORD tid) override;
    void postLocked(const MSG &m);

    const DWORD tid;
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    DWORD wakeBits = 0; // QS_ bits of input that arrived since the last look
    DWORD waitMask = 0; // what the current wait wakes for
};

MessageQueue *currentQueue();
Ref<MessageQueue> queueOfThreadLocked(DWORD tid);
bool peekLocked(MessageQueue *q, MSG *out, HWND hwnd, UINT lo, UINT hi, UINT flags);

// What the window layer supplies to the queues.
struct WindowHooks {
    DWORD (*windowThread)(HWND) = nullptr;        // owning thread, 0 if no such window
    bool (*isChild)(HWND parent, HWND w) = nullptr;
    LRESULT (*dispatch)(const MSG *) = nullptr;
    BOOL (*translate)(const MSG *) = nullptr;
    // Sent messages, paint and timers, looked at before posted messages.
    bool (*beforePeek)(MSG *, HWND, UINT, UINT, UINT) = nullptr;
};
void setWindowHooks(const WindowHooks &h);
const WindowHooks &windowHooks();

} // namespace winapi::user
