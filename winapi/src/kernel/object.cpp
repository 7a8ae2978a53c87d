// Handle table, last-error value, waits, events, mutexes and the generic
// parts of overlapped I/O.
#include "object.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace winapi {

namespace {

// The hot per-thread values use the cheaper static TLS model (a few bytes;
// glibc keeps room for that even when the library is loaded late).
#define WINAPI_FAST_TLS __attribute__((tls_model("initial-exec")))

thread_local DWORD t_lastError WINAPI_FAST_TLS = 0;

// Handle values are small multiples of four, as on Windows.
class HandleTableImpl {
public:
    HANDLE insert(Object *obj) {
        std::lock_guard<std::mutex> lk(mu_);
        size_t idx;
        if (!free_.empty()) {
            idx = free_.back();
            free_.pop_back();
            slots_[idx] = obj;
        } else {
            idx = slots_.size();
            slots_.push_back(obj);
        }
        return reinterpret_cast<HANDLE>(static_cast<uintptr_t>((idx + 1) * 4));
    }
    Object *lookupRetained(HANDLE h) {
        size_t idx;
        if (!indexOf(h, idx)) return nullptr;
        std::lock_guard<std::mutex> lk(mu_);
        if (idx >= slots_.size() || !slots_[idx]) return nullptr;
        Object *o = slots_[idx];
        o->retain();
        return o;
    }
    Object *remove(HANDLE h) {
        size_t idx;
        if (!indexOf(h, idx)) return nullptr;
        std::lock_guard<std::mutex> lk(mu_);
        if (idx >= slots_.size() || !slots_[idx]) return nullptr;
        Object *o = slots_[idx];
        slots_[idx] = nullptr;
        free_.push_back(idx);
        return o;
    }

private:
    static bool indexOf(HANDLE h, size_t &idx) {
        uintptr_t v = reinterpret_cast<uintptr_t>(h);
        if (v == 0 || (v & 3) != 0 || v > (uintptr_t(1) << 30)) return false;
        idx = v / 4 - 1;
        return true;
    }
    std::mutex mu_;
    std::vector<Object *> slots_;
    std::vector<size_t> free_;
};

HandleTableImpl &table() {
    static HandleTableImpl *t = new HandleTableImpl; // never destroyed: threads may outlive exit
    return *t;
}

} // namespace

class HandleTable {
public:
    static void addHandle(Object *o) { o->handles_.fetch_add(1); }
    static bool dropHandle(Object *o) { return o->handles_.fetch_sub(1) == 1; }
};

HANDLE insertHandle(Object *obj) {
    HandleTable::addHandle(obj);
    return table().insert(obj);
}

namespace {

// Bumped by every CloseHandle: a handle value looked up under the same
// generation still names the same object.
std::atomic<uint64_t> g_closeGeneration{0};

// A few recent lookups per thread, so that the serial I/O paths (a device
// and the events of its OVERLAPPED blocks) skip the table's lock. Plain data,
// so that reaching it costs no initialisation check; the references it holds
// are given back by a separate object when the thread ends.
struct CacheEntry {
    HANDLE h;
    uint64_t gen;
    Object *obj;
};
thread_local CacheEntry t_lookups[4] WINAPI_FAST_TLS;

struct LookupReaper {
    bool armed = false;
    ~LookupReaper() {
        for (CacheEntry &x : t_lookups)
            if (x.obj) {
                x.obj->release();
                x.obj = nullptr;
            }
    }
};
thread_local LookupReaper t_reaper;

// References lent by the cache and not yet given back: while any is out,
// the thread's cache keeps its entries, so the lent objects stay alive.
thread_local unsigned t_lent WINAPI_FAST_TLS;

// An object for the length of one call: from the cache without touching its
// count (a one-byte read pays for no atomic operation here), else a
// reference of its own.
class Lent {
public:
    explicit Lent(HANDLE h) {
        const uint64_t gen = g_closeGeneration.load(std::memory_order_acquire);
        const CacheEntry &c = t_lookups[(reinterpret_cast<uintptr_t>(h) >> 2) & 3];
        if (c.obj && c.h == h && c.gen == gen) {
            obj_ = c.obj;
            t_lent++;
            return;
        }
        obj_ = lookupHandle(h).detach();
        owned_ = true;
    }
    Lent(const Lent &) = delete;
    Lent &operator=(const Lent &) = delete;
    ~Lent() {
        if (owned_) {
            if (obj_) obj_->release();
        } else {
            t_lent--;
        }
    }
    Object *get() const { return obj_; }

private:
    Object *obj_ = nullptr;
    bool owned_ = false;
};

} // namespace

Ref<Object> lookupHandle(HANDLE h) {
    const uint64_t gen = g_closeGeneration.load(std::memory_order_acquire);
    CacheEntry &c = t_lookups[(reinterpret_cast<uintptr_t>(h) >> 2) & 3];
    if (c.obj && c.h == h && c.gen == gen) {
        c.obj->retain();
        return Ref<Object>(c.obj);
    }
    Object *o = table().lookupRetained(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return Ref<Object>();
    }
    // Only objects that give back everything when their last handle closes
    // may be kept alive here; a file keeps its descriptor until destroyed.
    if ((o->type() == ObjectType::Comm || o->type() == ObjectType::Event) && t_lent == 0) {
        o->retain();
        if (c.obj) c.obj->release();
        c = CacheEntry{h, gen, o};
        t_reaper.armed = true;
    }
    return Ref<Object>(o);
}

DWORD currentThreadId() {
    thread_local DWORD tid = static_cast<DWORD>(::syscall(SYS_gettid));
    return tid;
}

// ---- waiting ---------------------------------------------------------------

std::mutex &syncMutex() {
    static std::mutex *m = new std::mutex;
    return *m;
}

void Waitable::addWaiter(Waiter *w) {
    waiters_.push_back(w);
    waiterCount_.fetch_add(1, std::memory_order_seq_cst);
}

void Waitable::removeWaiter(Waiter *w) {
    auto it = std::find(waiters_.begin(), waiters_.end(), w);
    if (it != waiters_.end()) {
        waiters_.erase(it);
        waiterCount_.fetch_sub(1, std::memory_order_seq_cst);
    }
}

void Waitable::notifyLocked() {
    for (Waiter *w : waiters_) w->cv.notify_one();
}

void Waitable::notify() {
    std::lock_guard<std::mutex> lk(syncMutex());
    notifyLocked();
}

Deadline::Deadline(DWORD ms) : infinite(ms == INFINITE) {
    if (!infinite) at = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

DWORD Deadline::remainingMs() const {
    if (infinite) return INFINITE;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : static_cast<DWORD>(left);
}

static const DWORD kNone = 0xFFFFFFFE;

static DWORD checkObjects(Waitable *const *objs, DWORD count, bool waitAll, Waitable *extra, DWORD tid) {
    if (waitAll && count > 0) {
        bool all = true;
        for (DWORD i = 0; i < count && all; i++) all = objs[i]->signaledFor(tid);
        if (all) {
            for (DWORD i = 0; i < count; i++) objs[i]->acquireFor(tid);
            return WAIT_OBJECT_0;
        }
    } else {
        for (DWORD i = 0; i < count; i++) {
            if (objs[i]->signaledFor(tid)) {
                objs[i]->acquireFor(tid);
                return WAIT_OBJECT_0 + i;
            }
        }
    }
    if (extra && extra->signaledFor(tid)) {
        extra->acquireFor(tid);
        return WAIT_OBJECT_0 + count;
    }
    return kNone;
}

DWORD waitObjects(Waitable *const *objs, DWORD count, bool waitAll, DWORD ms, Waitable *extra) {
    const DWORD tid = currentThreadId();
    Deadline dl(ms);
    std::unique_lock<std::mutex> lk(syncMutex());
    DWORD r = checkObjects(objs, count, waitAll, extra, tid);
    if (r != kNone) return r;
    if (ms == 0) return WAIT_TIMEOUT;

    Waiter w;
    for (DWORD i = 0; i < count; i++) objs[i]->addWaiter(&w);
    if (extra) extra->addWaiter(&w);
    for (;;) {
        r = checkObjects(objs, count, waitAll, extra, tid);
        if (r != kNone) break;
        if (dl.infinite) {
            w.cv.wait(lk);
        } else if (w.cv.wait_until(lk, dl.at) == std::cv_status::timeout) {
            r = checkObjects(objs, count, waitAll, extra, tid);
            if (r == kNone) r = WAIT_TIMEOUT;
            break;
        }
    }
    for (DWORD i = 0; i < count; i++) objs[i]->removeWaiter(&w);
    if (extra) extra->removeWaiter(&w);
    return r;
}

// ---- events ----------------------------------------------------------------

void setEventHandle(HANDLE h) {
    if (!h) return;
    Ref<Object> o = lookupHandle(h);
    if (o && o->type() == ObjectType::Event) static_cast<Event *>(o.get())->set();
}

void resetEventHandle(HANDLE h) {
    if (!h) return;
    Ref<Object> o = lookupHandle(h);
    if (o && o->type() == ObjectType::Event) static_cast<Event *>(o.get())->reset();
}

namespace {

class MutexObject : public Waitable {
public:
    MutexObject() : Waitable(ObjectType::Mutex) {}
    bool signaledFor(DWORD tid) override { return owner_ == 0 || owner_ == tid; }
    void acquireFor(DWORD tid) override {
        owner_ = tid;
        count_++;
    }
    bool releaseBy(DWORD tid) {
        std::lock_guard<std::mutex> lk(syncMutex());
        if (owner_ != tid) return false;
        if (--count_ == 0) {
            owner_ = 0;
            notifyLocked();
        }
        return true;
    }

private:
    DWORD owner_ = 0;
    DWORD count_ = 0;
};

} // namespace

// ---- overlapped I/O ----------------------------------------------------------

static const ULONG_PTR kErrorStatusBase = 0xE0000000u;

ULONG_PTR statusFromError(DWORD err) {
    if (err == ERROR_OPERATION_ABORTED) return STATUS_CANCELLED;
    return kErrorStatusBase | err;
}

DWORD errorFromStatus(ULONG_PTR status) {
    if (status == 0 || status == STATUS_TIMEOUT) return ERROR_SUCCESS;
    if (status == STATUS_CANCELLED) return ERROR_OPERATION_ABORTED;
    if ((status & 0xF0000000u) == kErrorStatusBase) return static_cast<DWORD>(status & 0x0FFFFFFFu);
    return ERROR_GEN_FAILURE;
}

void markPending(OVERLAPPED *ov) {
    ov->InternalHigh = 0;
    __atomic_store_n(&ov->Internal, static_cast<ULONG_PTR>(STATUS_PENDING), __ATOMIC_RELEASE);
    resetEventHandle(ov->hEvent);
}

// GetOverlappedResult callers whose operation has no event sleep here until
// some operation completes.
struct EventlessWaits {
    std::condition_variable cv;
    std::atomic<int> count{0};
};

static EventlessWaits &eventlessWaits() {
    static auto *w = new EventlessWaits;
    return *w;
}

void completeOverlapped(OVERLAPPED *ov, ULONG_PTR status, DWORD bytes) {
    HANDLE ev = ov->hEvent; // the caller may reuse ov once Internal is published
    ov->InternalHigh = bytes;
    __atomic_store_n(&ov->Internal, status, __ATOMIC_RELEASE);
    setEventHandle(ev);
    // With an event, GetOverlappedResult waits on the event, not here.
    if (ev) return;
    // Pairs with the fence in waitEventless: either it sees the status or we see it waiting.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    EventlessWaits &w = eventlessWaits();
    if (w.count.load(std::memory_order_relaxed) != 0) {
        std::lock_guard<std::mutex> lk(syncMutex());
        w.cv.notify_all();
    }
}

static void waitEventless(const OVERLAPPED *ov) {
    EventlessWaits &w = eventlessWaits();
    w.count.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    {
        std::unique_lock<std::mutex> lk(syncMutex());
        w.cv.wait(lk, [&] { return !overlappedPending(ov); });
    }
    w.count.fetch_sub(1, std::memory_order_relaxed);
}

} // namespace winapi

using namespace winapi;

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD e) { t_lastError = e; }

BOOL WINAPI CloseHandle(HANDLE h) {
    if (h == GetCurrentProcess() || h == GetCurrentThread()) return TRUE;
    Object *o = table().remove(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_closeGeneration.fetch_add(1, std::memory_order_acq_rel);
    bool ok = true;
    if (HandleTable::dropHandle(o)) ok = o->onLastHandleClosed();
    o->release();
    return ok ? TRUE : FALSE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual, BOOL initial, LPCSTR name) {
    if (name && *name) {
        // Named events are shared between processes on Windows; this layer has none.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return insertHandle(new Event(manual != 0, initial != 0));
}

BOOL WINAPI SetEvent(HANDLE h) {
    Ref<Event> e = lookupAs<Event>(h, ObjectType::Event);
    if (!e) return FALSE;
    e->set();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE h) {
    Ref<Event> e = lookupAs<Event>(h, ObjectType::Event);
    if (!e) return FALSE;
    e->reset();
    return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    if (name && *name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto *m = new MutexObject;
    if (initialOwner) {
        std::lock_guard<std::mutex> lk(syncMutex());
        m->acquireFor(currentThreadId());
    }
    SetLastError(ERROR_SUCCESS);
    return insertHandle(m);
}

BOOL WINAPI ReleaseMutex(HANDLE h) {
    Ref<MutexObject> m = lookupAs<MutexObject>(h, ObjectType::Mutex);
    if (!m) return FALSE;
    if (!m->releaseBy(currentThreadId())) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

static Waitable *asWaitable(Object *o) { return o->asWaitable(); }

DWORD WINAPI WaitForMultipleObjects(DWORD n, const HANDLE *hs, BOOL all, DWORD ms) {
    if (n == 0 || n > MAXIMUM_WAIT_OBJECTS || !hs) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<Ref<Object>> refs;
    std::vector<Waitable *> objs;
    for (DWORD i = 0; i < n; i++) {
        Ref<Object> r = lookupHandle(hs[i]);
        Waitable *w = r ? asWaitable(r.get()) : nullptr;
        if (!w) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objs.push_back(w);
        refs.push_back(std::move(r));
    }
    return waitObjects(objs.data(), n, all != 0, ms);
}

DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) { return WaitForMultipleObjects(1, &h, FALSE, ms); }

void WINAPI Sleep(DWORD ms) {
    if (ms == INFINITE) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct CsImpl {
    std::recursive_mutex m;
};

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    cs->impl = new CsImpl;
    cs->LockCount = 0;
}
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) { static_cast<CsImpl *>(cs->impl)->m.lock(); }
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) { static_cast<CsImpl *>(cs->impl)->m.unlock(); }
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<CsImpl *>(cs->impl);
    cs->impl = nullptr;
}

BOOL WINAPI ReadFile(HANDLE h, LPVOID buf, DWORD n, LPDWORD done, LPOVERLAPPED ov) {
    Lent o(h);
    FileObject *f = o.get() ? o.get()->asFile() : nullptr;
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buf && n) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    return f->read(buf, n, done, ov);
}

BOOL WINAPI WriteFile(HANDLE h, LPCVOID buf, DWORD n, LPDWORD done, LPOVERLAPPED ov) {
    Lent o(h);
    FileObject *f = o.get() ? o.get()->asFile() : nullptr;
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!buf && n) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    return f->write(buf, n, done, ov);
}

BOOL WINAPI GetOverlappedResult(HANDLE h, LPOVERLAPPED ov, LPDWORD done, BOOL wait) {
    if (!ov) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (overlappedPending(ov)) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        // Wait on the operation's event. Without one, Windows waits on the
        // file handle; a file object here is always signalled, so waiting on
        // it would spin: sleep until an operation completes instead.
        if (ov->hEvent) {
            while (overlappedPending(ov)) {
                if (WaitForSingleObject(ov->hEvent, INFINITE) == WAIT_FAILED) return FALSE;
            }
        } else {
            waitEventless(ov);
        }
    }
    if (done) *done = static_cast<DWORD>(ov->InternalHigh);
    DWORD err = errorFromStatus(__atomic_load_n(&ov->Internal, __ATOMIC_ACQUIRE));
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

static BOOL cancelOn(HANDLE h, LPOVERLAPPED ov, bool thisThreadOnly) {
    Ref<Object> o = lookupHandle(h);
    FileObject *f = o ? o->asFile() : nullptr;
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return f->cancel(ov, thisThreadOnly);
}

BOOL WINAPI CancelIoEx(HANDLE h, LPOVERLAPPED ov) { return cancelOn(h, ov, false); }
BOOL WINAPI CancelIo(HANDLE h) { return cancelOn(h, nullptr, true); }

} // extern "C"
