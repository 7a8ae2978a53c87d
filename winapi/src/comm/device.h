// The part of a communications device that Win32 defines the same way for
// every driver: the receive and transmit queues, pending reads, writes and
// event waits with their time-outs, the event mask, the error word and the
// device control block. Backends (tty, null-modem) move the bytes.
#pragma once

#include "../kernel/object.h"
#include "ring.h"

#include <chrono>
#include <deque>
#include <optional>

namespace winapi::comm {

using Clock = std::chrono::steady_clock;

class CommDevice : public FileObject {
public:
    CommDevice(std::mutex *mu, bool overlapped);
    ~CommDevice() override;

    BOOL read(void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) override;
    BOOL write(const void *buf, DWORD n, DWORD *done, OVERLAPPED *ov) override;
    BOOL cancel(OVERLAPPED *ov, bool thisThreadOnly) override;
    BOOL flush() override;
    bool onLastHandleClosed() override;

    BOOL setupComm(DWORD in, DWORD out);
    BOOL getState(DCB *d);
    BOOL setState(const DCB *d);
    BOOL getTimeouts(COMMTIMEOUTS *t);
    BOOL setTimeouts(const COMMTIMEOUTS *t);
    BOOL getMask(DWORD *m);
    BOOL setMask(DWORD m);
    BOOL waitEvent(DWORD *mask, OVERLAPPED *ov);
    BOOL clearError(DWORD *errors, COMSTAT *st);
    BOOL purge(DWORD flags);
    BOOL escape(DWORD func);
    BOOL modemStatus(DWORD *st);
    BOOL transmitChar(char c);

protected:
    // ---- backend hooks; all called with the lock held ----
    // Takes on a validated DCB; false (with the last error set) refuses it.
    virtual bool applyStateLocked(const DCB &d) = 0;
    // Bytes wait in the transmit queue, receive space was freed, or the
    // settings changed: move bytes as the backend can.
    virtual void kickLocked() = 0;
    // When the transmit queue is empty: hands bytes straight to the line and
    // returns how many it took.
    virtual size_t transmitDirectLocked(const uint8_t *p, size_t n) = 0;
    virtual DWORD modemStatusLocked() = 0;
    // DTR, RTS and break as the device drives them.
    virtual void linesChangedLocked() = 0;
    // Why output is held (fCtsHold and friends).
    virtual void holdsLocked(COMSTAT &st) { (void)st; }
    virtual void purgeReceiveLocked() {}
    // Sends one byte ahead of the queue (XON/XOFF, TransmitCommChar).
    virtual bool sendImmediateLocked(uint8_t b) = 0;
    // Stops threads and releases the device; called once, without the lock.
    virtual void shutdown() = 0;
    // The earliest time a pending operation expires changed.
    virtual void deadlinesChangedLocked() { kickLocked(); }

    // ---- helpers for backends; lock held ----
    // Bytes that arrived from the line: pending reads first, then the queue;
    // what does not fit is lost (CE_RXOVER).
    void receivedLocked(const uint8_t *p, size_t n);
    void errorLocked(DWORD ce);
    void eventLocked(DWORD ev);
    // Call after taking bytes from the transmit queue.
    void transmittedLocked();
    // Expires pending operations; returns the next deadline, if any.
    std::optional<Clock::time_point> expireLocked(Clock::time_point now);
    void cancelAllLocked();
    void initLines(bool rts, bool dtr) {
        rts_ = rts;
        dtr_ = dtr;
    }
    bool rtsOn() const { return rts_; }
    bool dtrOn() const { return dtr_; }
    bool breakOn() const { return break_; }
    // Input flow control asks the sender to stop (RTS/DTR handshake, XOFF sent).
    bool inputThrottled() const { return throttled_; }
    void updateInputFlowLocked();
    // Bytes that can arrive before input flow control engages or, without
    // flow control, before the queue is full.
    size_t inputRoomLocked() const;
    // The device is gone (hang-up, removal): writes fail from now on.
    void goneLocked();
    bool gone() const { return gone_; }

    std::mutex *mu_;
    const bool overlapped_;
    ByteRing rx_{4096};
    ByteRing tx_{4096};
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
    bool xoffReceived_ = false; // output stopped by the peer's XOFF
    bool rxStalled_ = false;    // the backend stopped taking input: the queue was full
    std::condition_variable drained_; // the transmit side emptied or ended
    bool closed_ = false;

private:
    struct PendingRead {
        uint8_t *buf;
        DWORD want;
        DWORD got;
        OVERLAPPED *ov;
        DWORD tid;
        bool returnOnAny;
        std::optional<Clock::time_point> total;
        std::optional<Clock::time_point> interval;
    };
    struct PendingWrite {
        const uint8_t *buf;
        DWORD len;
        DWORD done;
        OVERLAPPED *ov;
        DWORD tid;
        std::optional<Clock::time_point> total;
    };
    struct PendingWait {
        DWORD *mask;
        OVERLAPPED *ov;
    };

    BOOL readOv(void *buf, DWORD n, DWORD *done, OVERLAPPED *ov);
    BOOL writeOv(const void *buf, DWORD n, DWORD *done, OVERLAPPED *ov);
    BOOL waitEventOv(DWORD *mask, OVERLAPPED *ov);
    BOOL syncCall(bool isRead, void *buf, DWORD n, DWORD *done);
    void fillFromWritesLocked();
    void completeReadLocked(std::deque<PendingRead>::iterator it, ULONG_PTR status);
    void setLinesFromDcbLocked();

    std::deque<PendingRead> reads_;
    std::deque<PendingWrite> writes_;
    std::optional<PendingWait> wait_;
    DWORD mask_ = 0;
    DWORD events_ = 0;
    DWORD errors_ = 0;
    bool rts_ = false, dtr_ = false, break_ = false;
    bool throttled_ = false;
    bool xoffSent_ = false;
    bool gone_ = false;
};

// ---- names ----------------------------------------------------------------
// Opens a communications device if the name designates one: a registered
// name (null-modem ends, adopted pseudo-terminal masters), a COM name, or a
// path to a terminal device. Returns false when the name is not a device.
bool tryOpen(const char *name, DWORD access, DWORD share, DWORD flags, HANDLE *out);

} // namespace winapi::comm
