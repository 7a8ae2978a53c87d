// Win32 communications-device semantics shared by every backend.
#include "device.h"

#include <algorithm>

namespace winapi::comm {

namespace {

Clock::time_point after(DWORD ms) { return Clock::now() + std::chrono::milliseconds(ms); }

// A read or write total time-out: multiplier x count + constant, none when both are 0.
std::optional<Clock::time_point> totalDeadline(DWORD mult, DWORD constant, DWORD count) {
    if (mult == 0 && constant == 0) return std::nullopt;
    uint64_t ms = uint64_t(mult) * count + constant;
    return Clock::now() + std::chrono::milliseconds(std::min<uint64_t>(ms, uint64_t(1) << 40));
}

const size_t kMaxQueue = 16u << 20;

} // namespace

CommDevice::CommDevice(std::mutex *mu, bool overlapped) : FileObject(ObjectType::Comm), mu_(mu), overlapped_(overlapped) {
    dcb_.DCBlength = sizeof(DCB);
    dcb_.BaudRate = 9600;
    dcb_.fBinary = 1;
    dcb_.fDtrControl = DTR_CONTROL_ENABLE;
    dcb_.fRtsControl = RTS_CONTROL_ENABLE;
    dcb_.XonLim = 2048;
    dcb_.XoffLim = 512;
    dcb_.ByteSize = 8;
    dcb_.Parity = NOPARITY;
    dcb_.StopBits = ONESTOPBIT;
    dcb_.XonChar = 0x11;
    dcb_.XoffChar = 0x13;
    rts_ = dtr_ = true;
}

CommDevice::~CommDevice() = default;

// ---- reads -------------------------------------------------------------------

BOOL CommDevice::read(void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) {
    if (!overlapped_) return syncCall(true, buf, n, done);
    if (!ov) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return readOv(buf, n, done, ov);
}

BOOL CommDevice::readOv(void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) {
    std::unique_lock<std::mutex> lk(*mu_);
    if (closed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto *p = static_cast<uint8_t *>(buf);
    const COMMTIMEOUTS &t = timeouts_;
    const bool immediate =
        t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool anyByte = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                         t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD;
    DWORD got = 0;
    if (reads_.empty()) {
        size_t take = std::min<size_t>(n, rx_.size());
        if (immediate || take == n || (anyByte && take > 0)) {
            got = static_cast<DWORD>(rx_.pop(p, take));
            if (got) {
                if (rxStalled_) {
                    rxStalled_ = false;
                    kickLocked();
                }
                if (throttled_) updateInputFlowLocked();
            }
            if (done) *done = got;
            completeOverlapped(ov, 0, got);
            return TRUE;
        }
        got = static_cast<DWORD>(rx_.pop(p, take));
        if (got && rxStalled_) {
            rxStalled_ = false;
            kickLocked();
        }
    }
    PendingRead r{p, n, got, ov, currentThreadId(), anyByte, std::nullopt, std::nullopt};
    if (anyByte)
        r.total = after(t.ReadTotalTimeoutConstant);
    else if (t.ReadTotalTimeoutMultiplier != MAXDWORD || t.ReadIntervalTimeout != MAXDWORD)
        r.total = totalDeadline(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, n);
    if (got && t.ReadIntervalTimeout && t.ReadIntervalTimeout != MAXDWORD) r.interval = after(t.ReadIntervalTimeout);
    if (done) *done = 0;
    markPending(ov);
    reads_.push_back(r);
    if (throttled_) updateInputFlowLocked();
    deadlinesChangedLocked();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

void CommDevice::completeReadLocked(std::deque<PendingRead>::iterator it, ULONG_PTR status) {
    OVERLAPPED *ov = it->ov;
    DWORD got = it->got;
    reads_.erase(it);
    completeOverlapped(ov, status, got);
}

void CommDevice::receivedLocked(const uint8_t *p, size_t n) {
    if (n == 0) return;
    uint8_t filtered[4096];
    if (dcb_.fNull) {
        // fNull drops received NUL bytes; done in pieces to stay on the stack.
        while (n) {
            size_t m = 0, i = 0;
            for (; i < n && m < sizeof filtered; i++)
                if (p[i]) filtered[m++] = p[i];
            dcb_.fNull = 0;
            receivedLocked(filtered, m);
            dcb_.fNull = 1;
            p += i;
            n -= i;
        }
        return;
    }
    size_t off = 0;
    bool rearmed = false;
    while (off < n && !reads_.empty()) {
        PendingRead &r = reads_.front();
        size_t take = std::min<size_t>(n - off, r.want - r.got);
        std::memcpy(r.buf + r.got, p + off, take);
        r.got += static_cast<DWORD>(take);
        off += take;
        if (r.got == r.want || r.returnOnAny) {
            completeReadLocked(reads_.begin(), 0);
        } else if (timeouts_.ReadIntervalTimeout && timeouts_.ReadIntervalTimeout != MAXDWORD) {
            r.interval = after(timeouts_.ReadIntervalTimeout);
            rearmed = true;
        }
    }
    if (off < n) {
        size_t pushed = rx_.push(p + off, n - off);
        if (pushed < n - off) errorLocked(CE_RXOVER);
    }
    DWORD ev = EV_RXCHAR;
    if (std::memchr(p, static_cast<uint8_t>(dcb_.EvtChar), n)) ev |= EV_RXFLAG;
    eventLocked(ev);
    updateInputFlowLocked();
    if (rearmed) deadlinesChangedLocked();
}

// ---- writes ------------------------------------------------------------------

BOOL CommDevice::write(const void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) {
    if (!overlapped_) return syncCall(false, const_cast<void *>(buf), n, done);
    if (!ov) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return writeOv(buf, n, done, ov);
}

BOOL CommDevice::writeOv(const void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) {
    std::unique_lock<std::mutex> lk(*mu_);
    if (closed_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (gone_) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    auto *p = static_cast<const uint8_t *>(buf);
    DWORD accepted = 0;
    if (writes_.empty()) {
        if (tx_.empty() && n) accepted = static_cast<DWORD>(transmitDirectLocked(p, n));
        accepted += static_cast<DWORD>(tx_.push(p + accepted, n - accepted));
        if (accepted == n) {
            if (!tx_.empty())
                kickLocked();
            else if (n)
                eventLocked(EV_TXEMPTY);
            if (done) *done = n;
            completeOverlapped(ov, 0, n);
            return TRUE;
        }
    }
    PendingWrite w{p, n, accepted, ov, currentThreadId(),
                   totalDeadline(timeouts_.WriteTotalTimeoutMultiplier, timeouts_.WriteTotalTimeoutConstant, n)};
    if (done) *done = 0;
    markPending(ov);
    // Queued before the backend moves bytes: as the queue drains, the rest
    // of this write must follow.
    writes_.push_back(w);
    kickLocked();
    deadlinesChangedLocked();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

void CommDevice::fillFromWritesLocked() {
    while (!writes_.empty()) {
        PendingWrite &w = writes_.front();
        if (tx_.empty() && w.done < w.len) w.done += static_cast<DWORD>(transmitDirectLocked(w.buf + w.done, w.len - w.done));
        w.done += static_cast<DWORD>(tx_.push(w.buf + w.done, w.len - w.done));
        if (w.done < w.len) break;
        OVERLAPPED *ov = w.ov;
        DWORD len = w.len;
        writes_.pop_front();
        completeOverlapped(ov, 0, len);
    }
}

void CommDevice::transmittedLocked() {
    fillFromWritesLocked();
    if (tx_.empty() && writes_.empty()) {
        eventLocked(EV_TXEMPTY);
        drained_.notify_all();
    }
}

BOOL CommDevice::flush() {
    // As Win32 does: no time limit, but a device that goes away ends the wait.
    std::unique_lock<std::mutex> lk(*mu_);
    drained_.wait(lk, [&] { return (tx_.empty() && writes_.empty()) || gone_ || closed_; });
    if (gone_ && !tx_.empty()) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return TRUE;
}

BOOL CommDevice::syncCall(bool isRead, void *buf, DWORD n, DWORD *done) {
    HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ev) return FALSE;
    OVERLAPPED ov{};
    ov.hEvent = ev;
    // The overlapped path, then a wait as a blocking driver call makes.
    BOOL ok = isRead ? readOv(buf, n, done, &ov) : writeOv(buf, n, done, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(nullptr, &ov, done, TRUE);
    DWORD err = GetLastError();
    CloseHandle(ev);
    SetLastError(err);
    return ok;
}

// ---- time-outs and cancelling ------------------------------------------------------

std::optional<Clock::time_point> CommDevice::expireLocked(Clock::time_point now) {
    std::optional<Clock::time_point> next;
    auto consider = [&](const std::optional<Clock::time_point> &t) {
        if (t && (!next || *t < *next)) next = t;
    };
    for (auto it = reads_.begin(); it != reads_.end();) {
        if ((it->total && now >= *it->total) || (it->interval && now >= *it->interval)) {
            OVERLAPPED *ov = it->ov;
            DWORD got = it->got;
            it = reads_.erase(it);
            completeOverlapped(ov, STATUS_TIMEOUT, got);
        } else {
            consider(it->total);
            consider(it->interval);
            ++it;
        }
    }
    bool expired = false;
    for (auto it = writes_.begin(); it != writes_.end();) {
        if (it->total && now >= *it->total) {
            OVERLAPPED *ov = it->ov;
            DWORD doneBytes = it->done;
            it = writes_.erase(it);
            completeOverlapped(ov, STATUS_TIMEOUT, doneBytes);
            expired = true;
        } else {
            consider(it->total);
            ++it;
        }
    }
    if (expired) fillFromWritesLocked();
    return next;
}

BOOL CommDevice::cancel(OVERLAPPED *ov, bool thisThreadOnly) {
    std::lock_guard<std::mutex> lk(*mu_);
    const DWORD tid = currentThreadId();
    auto match = [&](OVERLAPPED *o, DWORD t) { return ov ? o == ov : (!thisThreadOnly || t == tid); };
    bool found = false;
    for (auto it = reads_.begin(); it != reads_.end();) {
        if (match(it->ov, it->tid)) {
            OVERLAPPED *o = it->ov;
            DWORD got = it->got;
            it = reads_.erase(it);
            completeOverlapped(o, STATUS_CANCELLED, got);
            found = true;
        } else {
            ++it;
        }
    }
    for (auto it = writes_.begin(); it != writes_.end();) {
        if (match(it->ov, it->tid)) {
            OVERLAPPED *o = it->ov;
            DWORD d = it->done;
            it = writes_.erase(it);
            completeOverlapped(o, STATUS_CANCELLED, d);
            found = true;
        } else {
            ++it;
        }
    }
    if (wait_ && match(wait_->ov, tid)) {
        OVERLAPPED *o = wait_->ov;
        wait_.reset();
        completeOverlapped(o, STATUS_CANCELLED, 0);
        found = true;
    }
    if (found) fillFromWritesLocked();
    if (!found) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

void CommDevice::cancelAllLocked() {
    while (!reads_.empty()) completeReadLocked(reads_.begin(), STATUS_CANCELLED);
    while (!writes_.empty()) {
        OVERLAPPED *o = writes_.front().ov;
        DWORD d = writes_.front().done;
        writes_.pop_front();
        completeOverlapped(o, STATUS_CANCELLED, d);
    }
    if (wait_) {
        OVERLAPPED *o = wait_->ov;
        wait_.reset();
        completeOverlapped(o, STATUS_CANCELLED, 0);
    }
}

bool CommDevice::onLastHandleClosed() {
    {
        std::lock_guard<std::mutex> lk(*mu_);
        closed_ = true;
        cancelAllLocked();
        drained_.notify_all();
    }
    shutdown();
    return true;
}

// ---- events and errors ---------------------------------------------------------------

void CommDevice::eventLocked(DWORD ev) {
    ev &= mask_;
    if (!ev) return;
    events_ |= ev;
    if (wait_) {
        *wait_->mask = events_;
        events_ = 0;
        OVERLAPPED *o = wait_->ov;
        wait_.reset();
        completeOverlapped(o, 0, sizeof(DWORD));
    }
}

void CommDevice::errorLocked(DWORD ce) {
    errors_ |= ce;
    if (ce & (CE_FRAME | CE_OVERRUN | CE_RXPARITY)) eventLocked(EV_ERR);
    if (ce & CE_BREAK) eventLocked(EV_BREAK);
}

BOOL CommDevice::setMask(DWORD m) {
    std::lock_guard<std::mutex> lk(*mu_);
    if (wait_) {
        // A pending wait ends successfully with no event.
        *wait_->mask = 0;
        OVERLAPPED *o = wait_->ov;
        wait_.reset();
        completeOverlapped(o, 0, sizeof(DWORD));
    }
    mask_ = m;
    events_ = 0;
    kickLocked(); // line-event polling may have to start or stop
    return TRUE;
}

BOOL CommDevice::getMask(DWORD *m) {
    std::lock_guard<std::mutex> lk(*mu_);
    if (m) *m = mask_;
    return TRUE;
}

BOOL CommDevice::waitEvent(DWORD *mask, OVERLAPPED *ov) {
    if (!mask) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!overlapped_ || !ov) {
        // A blocking wait: run the overlapped form on an event of our own.
        HANDLE ev = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!ev) return FALSE;
        OVERLAPPED own{};
        own.hEvent = ev;
        BOOL ok = waitEventOv(mask, &own);
        DWORD n;
        if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(nullptr, &own, &n, TRUE);
        DWORD err = GetLastError();
        CloseHandle(ev);
        SetLastError(err);
        return ok;
    }
    return waitEventOv(mask, ov);
}

BOOL CommDevice::waitEventOv(DWORD *mask, OVERLAPPED *ov) {
    std::lock_guard<std::mutex> lk(*mu_);
    if (mask_ == 0 || wait_ || closed_) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (events_ & mask_) {
        *mask = events_ & mask_;
        events_ = 0;
        completeOverlapped(ov, 0, sizeof(DWORD));
        return TRUE;
    }
    markPending(ov);
    wait_ = PendingWait{mask, ov};
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL CommDevice::clearError(DWORD *errors, COMSTAT *st) {
    std::lock_guard<std::mutex> lk(*mu_);
    if (errors) *errors = errors_;
    errors_ = 0;
    if (st) {
        *st = COMSTAT{};
        st->cbInQue = static_cast<DWORD>(rx_.size());
        DWORD out = static_cast<DWORD>(tx_.size());
        for (const PendingWrite &w : writes_) out += w.len - w.done;
        st->cbOutQue = out;
        st->fXoffHold = xoffReceived_;
        st->fXoffSent = xoffSent_;
        holdsLocked(*st);
    }
    return TRUE;
}

BOOL CommDevice::purge(DWORD flags) {
    if (flags & ~DWORD(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(*mu_);
    if (flags & PURGE_TXABORT) {
        while (!writes_.empty()) {
            OVERLAPPED *o = writes_.front().ov;
            DWORD d = writes_.front().done;
            writes_.pop_front();
            completeOverlapped(o, STATUS_CANCELLED, d);
        }
    }
    if (flags & PURGE_RXABORT) {
        while (!reads_.empty()) completeReadLocked(reads_.begin(), STATUS_CANCELLED);
    }
    if (flags & PURGE_TXCLEAR) {
        tx_.clear();
        transmittedLocked();
    }
    if (flags & PURGE_RXCLEAR) {
        rx_.clear();
        purgeReceiveLocked();
        rxStalled_ = false;
        updateInputFlowLocked();
        kickLocked();
    }
    return TRUE;
}

// ---- settings ----------------------------------------------------------------

BOOL CommDevice::setupComm(DWORD in, DWORD out) {
    if (in > kMaxQueue || out > kMaxQueue) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(*mu_);
    if (in) rx_.resize(in);
    if (out) tx_.resize(out);
    fillFromWritesLocked();
    updateInputFlowLocked();
    rxStalled_ = false;
    kickLocked();
    return TRUE;
}

BOOL CommDevice::getState(DCB *d) {
    if (!d) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(*mu_);
    *d = dcb_;
    d->DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL CommDevice::setState(const DCB *d) {
    if (!d || d->BaudRate == 0 || d->ByteSize < 5 || d->ByteSize > 8 || d->Parity > SPACEPARITY ||
        d->StopBits > TWOSTOPBITS || (d->StopBits == ONE5STOPBITS && d->ByteSize != 5) ||
        (d->StopBits == TWOSTOPBITS && d->ByteSize == 5) || d->fDtrControl > DTR_CONTROL_HANDSHAKE ||
        d->XonChar == d->XoffChar) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(*mu_);
    if (!applyStateLocked(*d)) return FALSE;
    dcb_ = *d;
    dcb_.DCBlength = sizeof(DCB);
    if (!dcb_.fOutX) xoffReceived_ = false;
    setLinesFromDcbLocked();
    updateInputFlowLocked();
    linesChangedLocked();
    kickLocked();
    return TRUE;
}

void CommDevice::setLinesFromDcbLocked() {
    switch (dcb_.fDtrControl) {
    case DTR_CONTROL_DISABLE: dtr_ = false; break;
    case DTR_CONTROL_ENABLE: dtr_ = true; break;
    default: dtr_ = !throttled_; break;
    }
    switch (dcb_.fRtsControl) {
    case RTS_CONTROL_DISABLE: rts_ = false; break;
    case RTS_CONTROL_ENABLE: rts_ = true; break;
    case RTS_CONTROL_HANDSHAKE: rts_ = !throttled_; break;
    default: rts_ = !tx_.empty(); break; // toggle: raised while sending
    }
}

size_t CommDevice::inputRoomLocked() const {
    size_t room = 0;
    for (const PendingRead &r : reads_) room += r.want - r.got;
    const bool handshake = dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb_.fInX;
    size_t space = rx_.space();
    if (handshake && !throttled_) {
        size_t offFree = std::min<size_t>(dcb_.XoffLim, rx_.capacity() / 4);
        space = space >= offFree ? space - offFree + 1 : 1;
    }
    return room + space;
}

void CommDevice::goneLocked() {
    if (gone_) return;
    gone_ = true;
    drained_.notify_all();
    tx_.clear();
    while (!writes_.empty()) {
        OVERLAPPED *o = writes_.front().ov;
        DWORD d = writes_.front().done;
        writes_.pop_front();
        completeOverlapped(o, statusFromError(ERROR_GEN_FAILURE), d);
    }
}

void CommDevice::updateInputFlowLocked() {
    const bool handshake = dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb_.fInX;
    // Limits are kept within the queue so that a small queue cannot flap.
    const size_t cap = rx_.capacity();
    const size_t offFree = std::min<size_t>(dcb_.XoffLim, cap / 4);
    const size_t onUsed = std::min<size_t>(dcb_.XonLim, cap / 2);
    bool want = throttled_;
    if (!handshake)
        want = false;
    else if (!throttled_ && rx_.space() < offFree)
        want = true;
    else if (throttled_ && rx_.size() <= onUsed)
        want = false;
    if (want == throttled_) return;
    // All state first: sending XON can bring bytes in, and this again.
    throttled_ = want;
    const bool sendXoff = dcb_.fInX && want && !xoffSent_;
    const bool sendXon = !want && xoffSent_;
    if (sendXoff) xoffSent_ = true;
    if (sendXon) xoffSent_ = false;
    if (dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE) rts_ = !want;
    if (dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE) dtr_ = !want;
    if (sendXoff) sendImmediateLocked(static_cast<uint8_t>(dcb_.XoffChar));
    if (sendXon) sendImmediateLocked(static_cast<uint8_t>(dcb_.XonChar));
    linesChangedLocked();
}

BOOL CommDevice::getTimeouts(COMMTIMEOUTS *t) {
    if (!t) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(*mu_);
    *t = timeouts_;
    return TRUE;
}

BOOL CommDevice::setTimeouts(const COMMTIMEOUTS *t) {
    if (!t || (t->ReadIntervalTimeout == MAXDWORD && t->ReadTotalTimeoutMultiplier == MAXDWORD &&
               t->ReadTotalTimeoutConstant == MAXDWORD)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(*mu_);
    timeouts_ = *t;
    return TRUE;
}

BOOL CommDevice::escape(DWORD func) {
    std::lock_guard<std::mutex> lk(*mu_);
    switch (func) {
    case SETRTS:
    case CLRRTS:
        if (dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb_.fRtsControl == RTS_CONTROL_TOGGLE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        rts_ = func == SETRTS;
        break;
    case SETDTR:
    case CLRDTR:
        if (dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        dtr_ = func == SETDTR;
        break;
    case SETBREAK:
    case CLRBREAK:
        break_ = func == SETBREAK;
        break;
    case SETXOFF:
        xoffReceived_ = true;
        break;
    case SETXON:
        xoffReceived_ = false;
        break;
    case RESETDEV:
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    linesChangedLocked();
    kickLocked();
    return TRUE;
}

BOOL CommDevice::modemStatus(DWORD *st) {
    if (!st) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(*mu_);
    *st = modemStatusLocked();
    return TRUE;
}

BOOL CommDevice::transmitChar(char c) {
    std::lock_guard<std::mutex> lk(*mu_);
    if (!sendImmediateLocked(static_cast<uint8_t>(c))) {
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    return TRUE;
}

} // namespace winapi::comm
