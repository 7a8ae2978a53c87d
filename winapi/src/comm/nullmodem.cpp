// The null-modem backend: two ends in one process, wired like a null-modem
// cable, with an optional byte rate, latency and bit errors. One line thread
// per pair paces the bytes and runs the ends' time-outs.
#include "nullmodem.h"

#include <unistd.h>

#include <random>
#include <thread>

namespace winapi::comm {

class NullModemDevice;

class NullModemPair {
public:
    explicit NullModemPair(const WAPI_LINE_OPTIONS &o) { setOptions(o); }
    ~NullModemPair() {
        std::thread idle;
        {
            std::lock_guard<std::mutex> lk(mu);
            idle = stopLocked();
        }
        if (idle.joinable()) idle.join();
    }

    // The line thread runs only while an end is open: a closed end may be
    // kept alive by a thread's handle cache, and with it this pair.
    void endOpenedLocked() {
        if (thread_.joinable()) return;
        thread_ = std::thread([this, run = ++run_] { loop(run); });
    }
    // When no end is left: the thread to join once the lock is given up.
    std::thread endClosedLocked() { return ends[0] || ends[1] ? std::thread() : stopLocked(); }

    void setOptions(const WAPI_LINE_OPTIONS &o) {
        opt_ = o;
        rng_.seed(o.seed ? o.seed : 12345u);
        for (auto &d : dir_) {
            d.next = Clock::now();
            d.bitsToError = drawGap();
        }
        cv_.notify_all();
    }
    bool paced() const { return opt_.bytesPerSecond != 0 || opt_.latencyMs != 0; }

    // Moves bytes from side `from` toward the other end; returns how many
    // left the sender (delivered, in flight, or lost on a dead line).
    size_t sendLocked(int from, const uint8_t *p, size_t n);
    void pumpLocked(int from);
    void wakeLocked() { cv_.notify_all(); }

    std::mutex mu;
    NullModemDevice *ends[2] = {nullptr, nullptr};
    bool ring[2] = {false, false};

private:
    struct Direction {
        Clock::time_point next;                              // when the line can take the next byte
        std::deque<std::pair<Clock::time_point, uint8_t>> wire; // bytes in flight
        uint64_t bitsToError = 0;
        bool pumping = false; // flow-control changes can call back into the pump
        bool again = false;
    };
    uint64_t drawGap() {
        if (!opt_.bitErrorInterval) return 0;
        std::geometric_distribution<uint64_t> g(1.0 / opt_.bitErrorInterval);
        return g(rng_) + 1;
    }
    uint8_t corrupt(Direction &d, uint8_t b) {
        if (!opt_.bitErrorInterval) return b;
        for (int bit = 0; bit < 8; bit++) {
            if (--d.bitsToError == 0) {
                b ^= static_cast<uint8_t>(1u << bit);
                d.bitsToError = drawGap();
            }
        }
        return b;
    }
    void deliverLocked(int from, const uint8_t *p, size_t n);
    void pumpOnceLocked(int from);
    void loop(unsigned run);
    std::thread stopLocked() {
        run_++;
        cv_.notify_all();
        return std::move(thread_);
    }

    WAPI_LINE_OPTIONS opt_{};
    Direction dir_[2];
    std::mt19937 rng_;
    std::condition_variable cv_;
    unsigned run_ = 0; // a line thread runs while this is its own number
    std::thread thread_;
};

class NullModemDevice : public CommDevice {
public:
    NullModemDevice(std::shared_ptr<NullModemPair> pair, int side, bool overlapped)
        : CommDevice(&pair->mu, overlapped), pair_(std::move(pair)), side_(side) {
        std::lock_guard<std::mutex> lk(pair_->mu);
        pair_->ends[side_] = this;
        pair_->endOpenedLocked();
        lastStatus_ = modemStatusLocked();
        if (NullModemDevice *p = peer()) p->peerLinesChangedLocked();
    }

    NullModemDevice *peer() const { return pair_->ends[1 - side_]; }

    // The peer's lines or the ring changed: report what this end now sees.
    void peerLinesChangedLocked() {
        DWORD s = modemStatusLocked();
        DWORD changed = s ^ lastStatus_;
        lastStatus_ = s;
        DWORD ev = 0;
        if (changed & MS_CTS_ON) ev |= EV_CTS;
        if (changed & MS_DSR_ON) ev |= EV_DSR;
        if (changed & MS_RLSD_ON) ev |= EV_RLSD;
        if ((changed & MS_RING_ON) && !(s & MS_RING_ON)) ev |= EV_RING;
        if (ev) eventLocked(ev);
        if (changed & (MS_CTS_ON | MS_DSR_ON)) pair_->wakeLocked();
    }
    void breakFromPeerLocked() { errorLocked(CE_BREAK); }

    // A byte arrives from the line.
    void arriveLocked(const uint8_t *p, size_t n) {
        if (!dcb_.fOutX) {
            receivedLocked(p, n);
            return;
        }
        // With XON/XOFF output control the two characters steer our output
        // and are not received as data.
        size_t start = 0;
        for (size_t i = 0; i < n; i++) {
            bool off = p[i] == static_cast<uint8_t>(dcb_.XoffChar);
            bool on = p[i] == static_cast<uint8_t>(dcb_.XonChar);
            if (!off && !on) continue;
            receivedLocked(p + start, i - start);
            start = i + 1;
            xoffReceived_ = off;
            // Resumed output moves on the line thread, not inside the peer's call.
            if (on) pair_->wakeLocked();
        }
        receivedLocked(p + start, n - start);
    }

    bool outputHeldLocked() {
        if (xoffReceived_ || breakOn()) return true;
        DWORD s = modemStatusLocked();
        return (dcb_.fOutxCtsFlow && !(s & MS_CTS_ON)) || (dcb_.fOutxDsrFlow && !(s & MS_DSR_ON));
    }
    size_t roomLocked() const { return inputRoomLocked(); }
    ByteRing &txQueue() { return tx_; }
    void sentFromQueueLocked() { transmittedLocked(); }
    std::optional<Clock::time_point> expire(Clock::time_point now) { return expireLocked(now); }

protected:
    bool applyStateLocked(const DCB &) override { return true; }
    void kickLocked() override {
        pair_->pumpLocked(side_);
        if (peer()) pair_->pumpLocked(1 - side_);
        pair_->wakeLocked();
    }
    size_t transmitDirectLocked(const uint8_t *p, size_t n) override {
        if (pair_->paced() || outputHeldLocked()) return 0;
        return pair_->sendLocked(side_, p, n);
    }
    DWORD modemStatusLocked() override {
        DWORD s = pair_->ring[side_] ? MS_RING_ON : 0;
        if (NullModemDevice *p = peer()) {
            if (p->rtsOn()) s |= MS_CTS_ON;
            if (p->dtrOn()) s |= MS_DSR_ON | MS_RLSD_ON;
        }
        return s;
    }
    void linesChangedLocked() override {
        NullModemDevice *p = peer();
        if (p) {
            if (breakOn() && !lastBreak_) p->breakFromPeerLocked();
            p->peerLinesChangedLocked();
        }
        lastBreak_ = breakOn();
    }
    void holdsLocked(COMSTAT &st) override {
        DWORD s = modemStatusLocked();
        st.fCtsHold = dcb_.fOutxCtsFlow && !(s & MS_CTS_ON);
        st.fDsrHold = dcb_.fOutxDsrFlow && !(s & MS_DSR_ON);
    }
    bool sendImmediateLocked(uint8_t b) override {
        if (NullModemDevice *p = peer()) p->arriveLocked(&b, 1);
        return true;
    }
    void deadlinesChangedLocked() override { pair_->wakeLocked(); }
    void shutdown() override {
        std::thread idle;
        {
            std::lock_guard<std::mutex> lk(pair_->mu);
            pair_->ends[side_] = nullptr;
            // Our lines fall when the end closes.
            if (NullModemDevice *p = peer()) {
                p->peerLinesChangedLocked();
                pair_->pumpLocked(1 - side_);
            }
            idle = pair_->endClosedLocked();
        }
        if (idle.joinable()) idle.join();
    }

private:
    std::shared_ptr<NullModemPair> pair_;
    const int side_;
    DWORD lastStatus_ = 0;
    bool lastBreak_ = false;
};

size_t NullModemPair::sendLocked(int from, const uint8_t *p, size_t n) {
    NullModemDevice *to = ends[1 - from];
    if (!to) return n; // nobody at the other end: the bytes go nowhere
    size_t sent = 0;
    while (sent < n) {
        size_t room = to->roomLocked();
        size_t chunk = std::min(n - sent, std::max<size_t>(room, 1));
        deliverLocked(from, p + sent, chunk);
        sent += chunk;
        // The receiver may have throttled us meanwhile.
        if (ends[from] && ends[from]->outputHeldLocked()) break;
        if (!ends[1 - from]) return n;
    }
    return sent;
}

void NullModemPair::deliverLocked(int from, const uint8_t *p, size_t n) {
    Direction &d = dir_[from];
    uint8_t buf[4096];
    while (n) {
        size_t m = std::min(n, sizeof buf);
        for (size_t i = 0; i < m; i++) buf[i] = corrupt(d, p[i]);
        if (NullModemDevice *to = ends[1 - from]) to->arriveLocked(buf, m);
        p += m;
        n -= m;
    }
}

// Moves queued bytes of one end onto the line: at once on an ideal line,
// otherwise as the byte rate allows (the line thread calls again).
void NullModemPair::pumpLocked(int from) {
    NullModemDevice *dev = ends[from];
    if (!dev) return;
    Direction &d = dir_[from];
    if (d.pumping) {
        d.again = true;
        return;
    }
    d.pumping = true;
    do {
        d.again = false;
        pumpOnceLocked(from);
    } while (d.again && ends[from]);
    d.pumping = false;
}

void NullModemPair::pumpOnceLocked(int from) {
    NullModemDevice *dev = ends[from];
    ByteRing &q = dev->txQueue();
    if (q.empty()) return;
    Direction &d = dir_[from];
    auto now = Clock::now();
    while (ends[from] && !q.empty() && !dev->outputHeldLocked()) {
        size_t n;
        const uint8_t *p = q.frontRun(n);
        if (!paced()) {
            n = sendLocked(from, p, n);
        } else {
            if (opt_.bytesPerSecond) {
                if (d.next < now - std::chrono::milliseconds(20)) d.next = now - std::chrono::milliseconds(20);
                auto per = std::chrono::nanoseconds(1000000000ull / opt_.bytesPerSecond);
                if (d.next > now) break;
                size_t allowed = static_cast<size_t>((now - d.next) / per) + 1;
                n = std::min(n, allowed);
                d.next += per * n;
            }
            auto due = now + std::chrono::milliseconds(opt_.latencyMs);
            for (size_t i = 0; i < n; i++) d.wire.emplace_back(due, p[i]);
        }
        if (n == 0) break;
        q.drop(n);
        // Refill from waiting writes at once: their bytes go out in this same pass.
        dev->sentFromQueueLocked();
    }
}

void NullModemPair::loop(unsigned run) {
    std::unique_lock<std::mutex> lk(mu);
    while (run_ == run) {
        auto now = Clock::now();
        std::optional<Clock::time_point> next;
        auto consider = [&](std::optional<Clock::time_point> t) {
            if (t && (!next || *t < *next)) next = t;
        };
        for (int side = 0; side < 2; side++) {
            Direction &d = dir_[side];
            // Bytes whose travel time is over reach the other end.
            while (!d.wire.empty() && d.wire.front().first <= now) {
                uint8_t buf[4096];
                size_t m = 0;
                while (m < sizeof buf && !d.wire.empty() && d.wire.front().first <= now) {
                    buf[m++] = d.wire.front().second;
                    d.wire.pop_front();
                }
                deliverLocked(side, buf, m);
            }
            pumpLocked(side);
            // Bytes the pump has just put on the line are due too.
            if (!d.wire.empty()) consider(d.wire.front().first);
            if (NullModemDevice *dev = ends[side]) {
                if (paced() && !dev->txQueue().empty() && !dev->outputHeldLocked()) consider(d.next);
                consider(dev->expire(now));
            }
        }
        if (next)
            cv_.wait_until(lk, *next);
        else
            cv_.wait(lk);
    }
}

// ---- registry ----------------------------------------------------------------

namespace {

struct Entry {
    std::string names[2];
    std::shared_ptr<NullModemPair> pair; // null for a pseudo-terminal pair
    int ptyMaster = -1;
    std::string ptySlave;
    int ptyKeep = -1;
};

std::mutex &registryMutex() {
    static std::mutex *m = new std::mutex;
    return *m;
}
std::vector<Entry> &registry() {
    static auto *r = new std::vector<Entry>;
    return *r;
}

} // namespace

std::string normalizeName(const char *name) {
    std::string s = name ? name : "";
    if (s.size() > 4 && (s.compare(0, 4, "\\\\.\\") == 0 || s.compare(0, 4, "//./") == 0)) s = s.substr(4);
    if (!s.empty() && s.back() == ':') s.pop_back();
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

static Entry *findLocked(const std::string &n, int *side) {
    for (Entry &e : registry())
        for (int i = 0; i < 2; i++)
            if (e.names[i] == n) {
                if (side) *side = i;
                return &e;
            }
    return nullptr;
}

bool registerPair(const char *a, const char *b, std::shared_ptr<NullModemPair> pair, int master, const std::string &slave,
                  int keep) {
    std::string na = normalizeName(a), nb = normalizeName(b);
    if (na.empty() || nb.empty() || na == nb) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::lock_guard<std::mutex> lk(registryMutex());
    if (findLocked(na, nullptr) || findLocked(nb, nullptr)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    registry().push_back(Entry{{na, nb}, std::move(pair), master, slave, keep});
    return true;
}

RegisteredEnd lookupRegistered(const char *name) {
    RegisteredEnd r;
    std::string n = normalizeName(name);
    std::lock_guard<std::mutex> lk(registryMutex());
    int side;
    Entry *e = findLocked(n, &side);
    if (!e) return r;
    r.found = true;
    if (e->pair) {
        r.pair = e->pair;
        r.side = side;
    } else if (side == 0) {
        r.ptyMasterFd = e->ptyMaster;
    } else {
        r.path = e->ptySlave;
    }
    return r;
}

HANDLE openNullModemEnd(const std::shared_ptr<NullModemPair> &pair, int side, bool overlapped) {
    {
        std::lock_guard<std::mutex> lk(pair->mu);
        if (pair->ends[side]) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    SetLastError(ERROR_SUCCESS);
    return insertHandle(new NullModemDevice(pair, side, overlapped));
}

} // namespace winapi::comm

using namespace winapi::comm;

extern "C" {

BOOL WINAPI WapiCreateNullModemPair(LPCSTR a, LPCSTR b, const WAPI_LINE_OPTIONS *options) {
    WAPI_LINE_OPTIONS o{};
    if (options) o = *options;
    auto pair = std::make_shared<NullModemPair>(o);
    return registerPair(a, b, pair, -1, "", -1) ? TRUE : FALSE;
}

BOOL WINAPI WapiSetNullModemLine(LPCSTR name, const WAPI_LINE_OPTIONS *options) {
    RegisteredEnd r = lookupRegistered(name);
    if (!r.pair) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    WAPI_LINE_OPTIONS o{};
    if (options) o = *options;
    std::lock_guard<std::mutex> lk(r.pair->mu);
    r.pair->setOptions(o);
    return TRUE;
}

BOOL WINAPI WapiSetNullModemRing(LPCSTR name, BOOL on) {
    RegisteredEnd r = lookupRegistered(name);
    if (!r.pair) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(r.pair->mu);
    r.pair->ring[r.side] = on != 0;
    if (NullModemDevice *d = r.pair->ends[r.side]) d->peerLinesChangedLocked();
    return TRUE;
}

BOOL WINAPI WapiDestroyNullModemPair(LPCSTR name) {
    std::string n = normalizeName(name);
    std::shared_ptr<NullModemPair> keep;
    {
        std::lock_guard<std::mutex> lk(registryMutex());
        auto &reg = registry();
        for (auto it = reg.begin(); it != reg.end(); ++it) {
            if (it->names[0] != n && it->names[1] != n) continue;
            if (it->pair) {
                std::lock_guard<std::mutex> plk(it->pair->mu);
                if (it->pair->ends[0] || it->pair->ends[1]) {
                    SetLastError(ERROR_BUSY);
                    return FALSE;
                }
            }
            if (it->ptyMaster >= 0) ::close(it->ptyMaster);
            if (it->ptyKeep >= 0) ::close(it->ptyKeep);
            keep = it->pair;
            reg.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

} // extern "C"
