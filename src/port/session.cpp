// The sessions: one block per port number, the holds of running operations,
// and the close that stops them before it frees anything.
#include "port.h"

#include "port/port_api.h"
#include "transfer/transfer.h"

#include <initializer_list>
#include <new>

namespace vorlex {

namespace {

// kClosing: a close is stopping the work; kClosed: it is done, the record
// waits for the last hold; kFreeing: one thread frees it.
enum : LONG { kFree = kSessionFree, kOpen = kSessionOpen, kClosing = 2, kOpening = 3, kClosed = kSessionClosed, kFreeing = 5 };

// Holds of this thread per port that may run the application's code (a
// message loop, a callback): a close made further up the same thread's
// stack, from a window procedure, cannot wait for them. Brief holds never
// run foreign code, so no close can be under them, and they stay off this
// count, which costs a thread-local look-up.
thread_local unsigned short t_holds[kPortCount];

[[maybe_unused]] const bool numbered = [] {
    for (LONG i = 0; i < kPortCount; i++) g_sessions[i].port = i;
    return true;
}();

void freePortRecord(Session &s) {
    PortRecord *r = s.record.exchange(nullptr);
    if (!r) return;
    // A close that could not wait for a holder left the device to here.
    if (s.closeDevice && r->portHandle != INVALID_HANDLE_VALUE) CloseHandle(r->portHandle);
    for (HANDLE *h : {&r->writeOverlapped.hEvent, &r->readOverlapped.hEvent, &r->stopEvent})
        if (*h) CloseHandle(*h), *h = nullptr;
    HGLOBAL mem = r->recordMemory;
    r->~PortRecord();
    GlobalUnlock(mem);
    GlobalFree(mem);
    s.reader.store(Reader::application);
    s.state.store(kFree);
}

// Frees the record of a closed port once no operation holds it; whoever
// wins the state change does it.
void freeWhenUnheld(Session &s) {
    if (s.holds.load() != 0) return;
    LONG expected = kClosed;
    if (!s.state.compare_exchange_strong(expected, kFreeing)) return;
    if (s.holds.load() != 0) {
        // A lookup is looking in: it lets go and comes back here.
        s.state.store(kClosed);
        if (s.holds.load() == 0) freeWhenUnheld(s);
        return;
    }
    freePortRecord(s);
}

// Dispatches only what other threads send to this one (a worker's field
// updates of a progress window owned here), until holds == own or timeout.
bool waitForOthers(Session &s, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (s.holds.load() <= t_holds[s.port]) return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) return false;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // handles sent messages
        // Holders leave quickly once stopped; look again every few ms.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_SENDMESSAGE);
    }
}

} // namespace

Session g_sessions[kPortCount];

bool Session::closing() const { return state.load(std::memory_order_relaxed) != kOpen; }

void PortHold::letGo() {
    if (nesting_) t_holds[s_->port]--;
    if (s_->holds.fetch_sub(1) == 1 && s_->state.load() == kClosed) freeWhenUnheld(*s_);
}

void PortHold::refuse(Session &s) {
    if (s.holds.fetch_sub(1) == 1 && s.state.load() == kClosed) freeWhenUnheld(s);
}

void PortHold::allowNesting() {
    if (!s_ || nesting_) return;
    nesting_ = true;
    t_holds[s_->port]++;
}

LONG installPortRecord(LONG port, PortRecord **out) {
    if (!validPort(port)) return VORLEX_OPEN_BAD_PORT;
    Session &s = g_sessions[port];
    LONG expected = kFree;
    if (!s.state.compare_exchange_strong(expected, kOpening)) return VORLEX_OPEN_ALREADY_OPEN;
    s.closeDevice = false;
    HGLOBAL mem = GlobalAlloc(GMEM_ZEROINIT, sizeof(PortRecord));
    void *p = mem ? GlobalLock(mem) : nullptr;
    if (!p) {
        if (mem) GlobalFree(mem);
        s.state.store(kFree);
        return VORLEX_OPEN_NO_MEMORY;
    }
    auto *r = new (p) PortRecord{};
    r->recordMemory = mem;
    r->portHandle = INVALID_HANDLE_VALUE;
    r->writeOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    r->readOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    r->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    s.record.store(r);
    if (!r->writeOverlapped.hEvent || !r->readOverlapped.hEvent || !r->stopEvent) {
        freePortRecord(s);
        return VORLEX_OPEN_NO_MEMORY;
    }
    *out = r;
    return 0;
}

void publishPortRecord(LONG port) { g_sessions[port].state.store(kOpen); }

void discardPortRecord(LONG port) { freePortRecord(g_sessions[port]); }

bool closeSession(Session &s, bool keepDevice) {
    LONG expected = kOpen;
    if (!s.state.compare_exchange_strong(expected, kClosing)) return true;
    PortRecord &r = s.rec();
    // Stop the work: a transfer as its Cancel would, and every wait.
    TransferRecord *t = s.transfer.load();
    if (t) {
        t->cancelled = 1;
        t->aborted = 1;
    }
    s.closeDevice = !keepDevice;
    SetEvent(r.stopEvent);
    CancelIoEx(r.portHandle, nullptr);
    const bool othersLeft = waitForOthers(s, 10000);
    bool closed = true;
    if (othersLeft) {
        // The peer of a transfer is told, and the last bytes reach the line.
        if (t || s.transfer.load()) {
            sendCancelSequence(s);
            drainOutput(s, 2000);
        }
        PurgeComm(r.portHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        if (!keepDevice) closed = CloseHandle(r.portHandle) != FALSE;
        r.portHandle = INVALID_HANDLE_VALUE;
    }
    // Free now, or leave it to the last hold.
    s.state.store(kClosed);
    freeWhenUnheld(s);
    return closed;
}

std::atomic<DWORD> lastOpenError{0};

void countCommErrors(PortRecord &r, DWORD errors) {
    if (errors & 0x0020) r.ctsTimeouts++;
    if (errors & 0x0040) r.dsrTimeouts++;
    if (errors & CE_OVERRUN) r.overrunErrors++;
    if (errors & CE_RXOVER) r.rxQueueOverruns++;
    if (errors & CE_TXFULL) r.txQueueFull++;
}

bool clearErrors(PortRecord &r, COMSTAT *stat) {
    DWORD errors = 0;
    COMSTAT local;
    if (!ClearCommError(r.portHandle, &errors, stat ? stat : &local)) {
        if (stat) *stat = COMSTAT{};
        return false;
    }
    countCommErrors(r, errors);
    return true;
}

LONG pumpMessages(HWND window) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return 1;
        }
        if ((msg.message == WM_CLOSE || msg.message == WM_DESTROY) && msg.hwnd == window) {
            // A null window posts to this thread again.
            PostMessageA(window, msg.message, msg.wParam, msg.lParam);
            return 1;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

LONG tickWait(HWND window, LONG ticks, HANDLE stop) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ticks) * kTickMs;
    if (ticks <= 0 || end <= GetTickCount()) return 0;
    for (;;) {
        if (pumpMessages(window)) return 1;
        DWORD now = GetTickCount();
        if (end <= now) return 0;
        // Sleep until a message comes, the port closes or the time is up.
        if (MsgWaitForMultipleObjects(stop ? 1 : 0, &stop, FALSE, end - now, QS_ALLINPUT) == WAIT_OBJECT_0 && stop)
            return 1;
    }
}

} // namespace vorlex
