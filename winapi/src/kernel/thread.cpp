// Threads: creation (optionally suspended), priorities, exit codes.
#include "object.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace winapi {
namespace {

class ThreadObject : public Waitable {
public:
    ThreadObject(LPTHREAD_START_ROUTINE fn, void *arg, bool suspended)
        : Waitable(ObjectType::Thread), fn_(fn), arg_(arg), suspend_(suspended ? 1 : 0) {}

    bool signaledFor(DWORD) override { return done_; }

    static void *entry(void *p);
    void finish(DWORD code) {
        std::lock_guard<std::mutex> lk(syncMutex());
        exitCode_ = code;
        done_ = true;
        notifyLocked();
    }
    DWORD resume() {
        std::lock_guard<std::mutex> lk(mu_);
        DWORD prev = suspend_;
        if (suspend_ > 0 && --suspend_ == 0) cv_.notify_all();
        return prev;
    }
    DWORD exitCode() {
        std::lock_guard<std::mutex> lk(syncMutex());
        return done_ ? exitCode_ : STILL_ACTIVE;
    }
    void setTid(DWORD tid) {
        std::lock_guard<std::mutex> lk(mu_);
        tid_ = tid;
        cv_.notify_all();
    }
    DWORD tid() {
        std::unique_lock<std::mutex> lk(mu_);
        cv_.wait(lk, [&] { return tid_ != 0; });
        return tid_;
    }
    int priority = THREAD_PRIORITY_NORMAL;

private:
    LPTHREAD_START_ROUTINE fn_;
    void *arg_;
    std::mutex mu_;
    std::condition_variable cv_;
    DWORD suspend_;
    DWORD tid_ = 0;
    bool done_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    friend struct ThreadExit;
};

thread_local ThreadObject *t_self = nullptr;

// Finishes the thread object when the start routine returns or ExitThread
// unwinds the thread.
struct ThreadExit {
    ThreadObject *t;
    DWORD code = 0;
    ~ThreadExit() {
        t->finish(code);
        t->release();
    }
};

thread_local DWORD t_exitCode = 0;

void *ThreadObject::entry(void *p) {
    auto *t = static_cast<ThreadObject *>(p);
    t_self = t;
    t->setTid(currentThreadId());
    ThreadExit guard{t};
    {
        std::unique_lock<std::mutex> lk(t->mu_);
        t->cv_.wait(lk, [&] { return t->suspend_ == 0; });
    }
    if (t->priority != THREAD_PRIORITY_NORMAL) SetThreadPriority(GetCurrentThread(), t->priority);
    t_exitCode = 0;
    try {
        guard.code = t->fn_(t->arg_);
    } catch (...) {
        // ExitThread unwinds with the forced-unwind exception of the C library.
        guard.code = t_exitCode;
        throw;
    }
    return nullptr;
}

int niceFor(int priority) {
    if (priority <= THREAD_PRIORITY_IDLE) return 19;
    if (priority >= THREAD_PRIORITY_TIME_CRITICAL) return -20;
    switch (priority) {
    case THREAD_PRIORITY_LOWEST: return 10;
    case THREAD_PRIORITY_BELOW_NORMAL: return 5;
    case THREAD_PRIORITY_ABOVE_NORMAL: return -5;
    case THREAD_PRIORITY_HIGHEST: return -10;
    default: return 0;
    }
}

bool validPriority(int p) {
    return (p >= THREAD_PRIORITY_LOWEST && p <= THREAD_PRIORITY_HIGHEST) || p == THREAD_PRIORITY_IDLE ||
           p == THREAD_PRIORITY_TIME_CRITICAL;
}

} // namespace
} // namespace winapi

using namespace winapi;

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack, LPTHREAD_START_ROUTINE fn, LPVOID arg, DWORD flags,
                           LPDWORD tidOut) {
    if (!fn) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto *t = new ThreadObject(fn, arg, (flags & CREATE_SUSPENDED) != 0);
    t->retain(); // held by the running thread
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack >= static_cast<SIZE_T>(PTHREAD_STACK_MIN)) pthread_attr_setstacksize(&attr, stack);
    pthread_t pt;
    int rc = pthread_create(&pt, &attr, &ThreadObject::entry, t);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        t->release();
        t->release();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (tidOut) *tidOut = t->tid();
    return insertHandle(t);
}

DWORD WINAPI ResumeThread(HANDLE h) {
    Ref<ThreadObject> t = lookupAs<ThreadObject>(h, ObjectType::Thread);
    if (!t) return static_cast<DWORD>(-1);
    return t->resume();
}

BOOL WINAPI SetThreadPriority(HANDLE h, int priority) {
    if (!validPriority(priority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD tid;
    if (h == GetCurrentThread()) {
        tid = currentThreadId();
        if (t_self) t_self->priority = priority;
    } else {
        Ref<ThreadObject> t = lookupAs<ThreadObject>(h, ObjectType::Thread);
        if (!t) return FALSE;
        t->priority = priority;
        tid = t->tid();
    }
    // Raising priority needs privileges; the request is kept either way.
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceFor(priority));
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE h) {
    if (h == GetCurrentThread()) return t_self ? t_self->priority : THREAD_PRIORITY_NORMAL;
    Ref<ThreadObject> t = lookupAs<ThreadObject>(h, ObjectType::Thread);
    if (!t) return THREAD_PRIORITY_ERROR_RETURN;
    return t->priority;
}

BOOL WINAPI GetExitCodeThread(HANDLE h, LPDWORD code) {
    if (h == GetCurrentThread()) { // the caller is running
        if (code) *code = STILL_ACTIVE;
        return TRUE;
    }
    Ref<ThreadObject> t = lookupAs<ThreadObject>(h, ObjectType::Thread);
    if (!t) return FALSE;
    if (code) *code = t->exitCode();
    return TRUE;
}

void WINAPI ExitThread(DWORD code) {
    t_exitCode = code;
    pthread_exit(nullptr);
}

HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }
DWORD WINAPI GetCurrentThreadId(void) { return currentThreadId(); }
DWORD WINAPI GetThreadId(HANDLE h) {
    if (h == GetCurrentThread()) return currentThreadId();
    Ref<ThreadObject> t = lookupAs<ThreadObject>(h, ObjectType::Thread);
    return t ? t->tid() : 0;
}
HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

} // extern "C"
