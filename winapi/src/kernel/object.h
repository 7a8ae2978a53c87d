// Kernel objects, the handle table and the wait machinery shared by every
// part of the layer.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace winapi {

enum class ObjectType { Event, Mutex, Thread, Process, File, Comm, Find, Other };

class Object {
public:
    explicit Object(ObjectType t) : type_(t) {}
    virtual ~Object() = default;
    ObjectType type() const { return type_; }

    void retain() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    // Called when the last handle to the object is closed (the object may
    // live on while calls in progress still hold a reference).
    virtual bool onLastHandleClosed() { return true; }
    // Cheaper than dynamic_cast on the I/O paths.
    virtual class Waitable *asWaitable() { return nullptr; }
    virtual class FileObject *asFile() { return nullptr; }

private:
    const ObjectType type_;
    std::atomic<int> refs_{1};
    friend class HandleTable;
    std::atomic<int> handles_{0};
};

// Holds a reference for the duration of a call.
template <class T = Object>
class Ref {
public:
    Ref() = default;
    explicit Ref(T *p) : p_(p) {}
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    Ref(Ref &&o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~Ref() { if (p_) p_->release(); }
    T *get() const { return p_; }
    T *operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T *detach() { T *p = p_; p_ = nullptr; return p; }

private:
    T *p_ = nullptr;
};

// Makes a handle for a new object; the handle owns the initial reference.
HANDLE insertHandle(Object *obj);
// Looks a handle up and returns a new reference, or null (ERROR_INVALID_HANDLE set).
Ref<Object> lookupHandle(HANDLE h);
template <class T>
Ref<T> lookupAs(HANDLE h, ObjectType t) {
    Ref<Object> r = lookupHandle(h);
    if (!r || r->type() != t) {
        SetLastError(ERROR_INVALID_HANDLE);
        return Ref<T>();
    }
    return Ref<T>(static_cast<T *>(r.detach()));
}

// ---- waiting ---------------------------------------------------------------
// Every waitable object is guarded by one process-wide mutex; a waiting thread
// registers a Waiter with each object it waits for and sleeps on its own
// condition variable until one of them notifies it.

std::mutex &syncMutex();

struct Waiter {
    std::condition_variable cv;
};

class Waitable : public Object {
public:
    using Object::Object;
    Waitable *asWaitable() override { return this; }
    // Both called with syncMutex held.
    virtual bool signaledFor(DWORD tid) = 0;
    virtual void acquireFor(DWORD tid) { (void)tid; }

    void addWaiter(Waiter *w);
    void removeWaiter(Waiter *w);
    // Wakes every registered waiter; called with syncMutex held.
    void notifyLocked();
    // Wakes waiters without the caller holding syncMutex; cheap when none waits.
    void notify();
    bool hasWaiters() const { return waiterCount_.load(std::memory_order_seq_cst) != 0; }

private:
    std::vector<Waiter *> waiters_;
    std::atomic<int> waiterCount_{0};
};

// Waits for the objects as WaitForMultipleObjects does. `extra` is an optional
// object that is not a handle (a thread's message queue): when it is
// signalled, the result is WAIT_OBJECT_0 + count.
DWORD waitObjects(Waitable *const *objs, DWORD count, bool waitAll, DWORD ms, Waitable *extra = nullptr);

// Milliseconds as a deadline; INFINITE is none.
struct Deadline {
    explicit Deadline(DWORD ms);
    bool infinite;
    std::chrono::steady_clock::time_point at;
    bool passed() const { return !infinite && std::chrono::steady_clock::now() >= at; }
    DWORD remainingMs() const;
};

// ---- events ----------------------------------------------------------------

class Event : public Waitable {
public:
    Event(bool manual, bool initial) : Waitable(ObjectType::Event), manual_(manual), state_(initial) {}
    void set() {
        // Already set: its waiters were woken when it was.
        if (state_.load(std::memory_order_seq_cst)) return;
        state_.store(true, std::memory_order_seq_cst);
        if (hasWaiters()) notify();
    }
    void reset() { state_.store(false, std::memory_order_seq_cst); }
    bool signaledFor(DWORD) override { return state_.load(std::memory_order_seq_cst); }
    void acquireFor(DWORD) override {
        if (!manual_) state_.store(false, std::memory_order_seq_cst);
    }

private:
    const bool manual_;
    std::atomic<bool> state_;
};

// Sets the event behind a handle, if it is one (used by I/O completion).
void setEventHandle(HANDLE h);
void resetEventHandle(HANDLE h);

// ---- overlapped I/O ----------------------------------------------------------
// OVERLAPPED.Internal holds the status: STATUS_PENDING while the operation
// runs, 0 on success, STATUS_TIMEOUT for a serial time-out (a success), or
// an error status made from a Win32 error number.
ULONG_PTR statusFromError(DWORD err);
DWORD errorFromStatus(ULONG_PTR status);
void markPending(OVERLAPPED *ov);
// Publishes the result and sets the event.
void completeOverlapped(OVERLAPPED *ov, ULONG_PTR status, DWORD bytes);
inline bool overlappedPending(const OVERLAPPED *ov) {
    return __atomic_load_n(&ov->Internal, __ATOMIC_ACQUIRE) == STATUS_PENDING;
}

// Objects that ReadFile and WriteFile reach.
class FileObject : public Waitable {
public:
    using Waitable::Waitable;
    FileObject *asFile() override { return this; }
    virtual BOOL read(void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) = 0;
    virtual BOOL write(const void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) = 0;
    // Cancels the given operation; with ov null, every operation (of the
    // calling thread only when thisThreadOnly).
    virtual BOOL cancel(OVERLAPPED *ov, bool thisThreadOnly) {
        (void)ov;
        (void)thisThreadOnly;
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    bool signaledFor(DWORD) override { return true; }
    // FlushFileBuffers: waits until buffered output has gone.
    virtual BOOL flush() { return TRUE; }
};

DWORD currentThreadId();

} // namespace winapi
