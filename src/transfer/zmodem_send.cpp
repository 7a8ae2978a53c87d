// Zmodem sender: one file per call, the batch closed by a last call.
#include "zmodem.h"

#include <cstdio>
#include <cstring>

namespace vorlex {

namespace {

constexpr LONG kFailed = -1;
constexpr LONG kSkipped = 5;
// The closing ZFIN exchange gives up after this many headers.
constexpr int kZfinTries = 10;
// ZEOF is repeated for ZACKs at most this often.
constexpr int kZeofRepeats = 20;
// Errors and time-outs a reply may cost before the sender gives up; the
// wait for acknowledgements of the window counts the same way.
constexpr int kReplyErrors = 6;
// Bytes skipped while looking for the next header before the offer goes again.
constexpr LONG kNoiseBytes = 9600;

bool seekFile(TransferRecord *t, DWORD position) {
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD r = SetFilePointer(t->fileHandle, static_cast<LONG>(position), &high, FILE_BEGIN);
    return !(r == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

// The file is read ahead in large pieces: a system call per subpacket would
// cost more than the subpacket.
constexpr DWORD kReadAheadSize = 65536;
struct FileInput {
    DWORD start; // file position of bytes[0]
    DWORD count;
    BYTE bytes[kReadAheadSize];
};

// Puts up to count bytes of the file at sendPosition into dataBuffer; -1
// when the file cannot be read.
LONG readFileData(TransferRecord *t, FileInput *in, LONG count) {
    const DWORD at = t->sendPosition;
    if (!in) {
        DWORD got = 0;
        if (!seekFile(t, at) || !ReadFile(t->fileHandle, t->dataBuffer, static_cast<DWORD>(count), &got, nullptr))
            return -1;
        return static_cast<LONG>(got);
    }
    const bool inside = at >= in->start && at - in->start < in->count;
    // A request running past a full buffer is not the end of the file.
    const bool cut = inside && at - in->start + static_cast<DWORD>(count) > in->count && in->count == kReadAheadSize;
    if (!inside || cut) {
        // Outside what is held (the first read, a ZRPOS, the buffer's end).
        in->start = at;
        in->count = 0;
        if (!seekFile(t, at) || !ReadFile(t->fileHandle, in->bytes, kReadAheadSize, &in->count, nullptr)) {
            in->count = 0;
            return -1;
        }
    }
    const DWORD offset = at - in->start;
    DWORD n = in->count - offset;
    if (n > static_cast<DWORD>(count)) n = static_cast<DWORD>(count);
    std::memcpy(t->dataBuffer, in->bytes + offset, n);
    return static_cast<LONG>(n);
}

// The keyed form applies only with variable headers: a plain 4-byte ZRPOS
// whose position happens to end in 1 asks for nothing.
bool asksForKeyedHeaders(const ZmodemLink &z) {
    return z.variableHeaders && z.useCrc32 && z.headerLength > 4 && z.headerLength <= 20 &&
           z.rxHeader[z.headerLength - 1] == 1;
}

// A receiver's ZRINIT header in the bytes: hex ("B01") or binary (A or C,
// then type 1) after ZPAD ZDLE.
bool holdsReceiverInit(const BYTE *p, LONG n) {
    for (LONG i = 1; i + 2 < n; i++) {
        if (p[i - 1] != ZPAD || p[i] != ZDLE) continue;
        const BYTE f = p[i + 1];
        if (f == 'B' && i + 3 < n && p[i + 2] == '0' && p[i + 3] == '1') return true;
        if ((f == 'A' || f == 'C') && p[i + 2] == ZRINIT) return true;
    }
    return false;
}

// The pause before "rz\r" gives a receiver that is not running yet time to
// start. One that already runs has said so with its ZRINIT: that ends the
// pause as soon as it arrives, and the bytes stay in the line input for
// getReceiverInit.
void waitForReceiver(Session &s, TransferRecord *t, LineInput &in) {
    constexpr LONG kTicks = 72;
    constexpr DWORD kPauseMs = kTicks * 56;
    const LONG room = static_cast<LONG>(sizeof in.bytes) - 1;
    const DWORD start = GetTickCount();
    while (!stopRequested(t)) {
        if (in.count < room && inputCount(s)) {
            const LONG n = readQueued(s, reinterpret_cast<char *>(in.bytes) + in.count, room - in.count);
            if (n > 0) in.count += n;
            if (holdsReceiverInit(in.bytes, in.count)) return;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kPauseMs) return;
        if (kPauseMs - elapsed >= 1100 && in.count < room) {
            // The first byte ends this wait, not the next tick.
            const LONG b = readByteWithin(s, progressWindowOf(s), 1);
            if (b >= 0) in.bytes[in.count++] = static_cast<BYTE>(b);
        } else {
            waitTicks(s, 1, false);
        }
    }
}

LONG cancelledExit(Session &s, TransferRecord *t) {
    t->resultCode = kResultCancelled;
    sendCancelSequence(s);
    return kFailed;
}

} // namespace

LONG getReceiverInit(Session &s) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    for (int n = 0; n < 10; n++) {
        const HeaderRead h = readHeader(s, z.rxHeader);
        switch (h.kind) {
        case ZRINIT: {
            z.useCrc32 = (z.rxHeader[ZF0] & 32) ? 1 : 0;
            setEscapeControls(s, (z.rxHeader[ZF0] & kEscapeControls) != 0);
            if (z.rxHeader[ZF1] & 1) z.variableHeaders = 1;
            DWORD size = z.rxHeader[ZP0] + 256u * z.rxHeader[ZP1];
            z.peerBufferSize = size > kMaxSubpacket ? kMaxSubpacket : size;
            return 1;
        }
        case ZRQINIT:
            if (z.rxHeader[ZF0] != ZCOMMAND) sendHexHeader(s, ZNAK, z.txHeader);
            break;
        case ZCHALLENGE: {
            BYTE answer[20] = {};
            storePosition(answer, h.position);
            sendHexHeader(s, ZACK, answer);
            break;
        }
        case ZCOMMAND: {
            BYTE zero[20] = {};
            sendHexHeader(s, ZRQINIT, zero);
            break;
        }
        case kReadTimeout:
            countError(s, kStatusTimeOut);
            t->resultCode = kResultNoAnswer;
            return kFailed;
        case ZCAN:
            countError(s, kStatusReceiverCanceled);
            t->resultCode = kResultRemoteCancel;
            return kFailed;
        default:
            sendHexHeader(s, ZNAK, z.txHeader);
            break;
        }
    }
    return kFailed;
}

LONG readReceiverReply(Session &s) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    int errors = 0;
    for (;;) {
        if (stopRequested(t)) {
            t->resultCode = kResultCancelled;
            return kFailed;
        }
        const HeaderRead h = readHeader(s, z.rxHeader);
        const LONG r = h.kind;
        switch (r) {
        case kReadTimeout:
            // A lost carrier will not come back within the retries.
            if (t->resultCode == kResultCarrierLost) return kReadTimeout;
            if (++errors > kReplyErrors) {
                countError(s, kStatusTooManyErrors);
                return kReadTimeout;
            }
            countError(s, kStatusTimeOut);
            break;
        case ZRINIT:
        case ZACK:
        case ZSKIP:
        case ZABORT:
        case ZFIN:
        case ZCAN: return r;
        case ZRPOS:
            seekFile(t, h.position);
            t->sendPosition = h.position;
            return ZRPOS;
        default: {
            countError(s, kStatusUnknownError);
            BYTE zero[20] = {};
            sendBinaryHeader(s, ZNAK, zero);
            if (++errors > kReplyErrors) {
                countError(s, kStatusTooManyErrors);
                return kFailed;
            }
            break;
        }
        }
        if (stopRequested(t)) {
            t->resultCode = kResultCancelled;
            return kFailed;
        }
    }
}

namespace {

// A receiver that takes a continuous stream (buffer 0) gets ZCRCQ marks and
// acknowledges them; the sender keeps at most a window of unacknowledged
// bytes on the line. The window follows the line: twice what it delivers in
// the shortest round trip seen (a far line stays busy), and never much more,
// since an error costs everything on the line at the time.
constexpr DWORD kMinWindow = 512;
constexpr DWORD kMaxWindow = 1u << 20;

struct Window {
    bool active = false;
    DWORD acked = 0;     // the receiver has this much
    DWORD size = 4096;
    DWORD nextMark = 0;  // the subpacket reaching this position ends with ZCRCQ
    DWORD lastMark = 0;  // the end of the last ZCRCQ subpacket sent
    DWORD length = 0;    // the subpacket length now
    // What the line has shown, kept across repositions: the shortest round
    // trip of a mark and that subpacket's length (its own time on the line
    // is no delay of the line), and the rate.
    DWORD minRoundTrip = 0; // ms, 0 until measured
    DWORD minRoundTripLength = 0;
    DWORD rate = 0;         // bytes per second acknowledged, 0 until measured
    // Marks awaiting their acknowledgement.
    struct Mark {
        DWORD position, ms, length;
    };
    Mark marks[32] = {};
    int markCount = 0;
    DWORD rateFromMs = 0, rateFromPosition = 0;
    DWORD samples[8] = {}; // the latest rates measured
    int sampleCount = 0;

    DWORD lineTime(DWORD bytes) const {
        return rate ? static_cast<DWORD>(static_cast<unsigned long long>(bytes) * 1000 / rate) : 0;
    }
    // The line's own delay there and back (ms).
    DWORD delay() const {
        const DWORD own = lineTime(minRoundTripLength);
        return minRoundTrip > own ? minRoundTrip - own : 0;
    }
    void begin(DWORD position) {
        acked = lastMark = position;
        markCount = 0;
        rateFromMs = 0; // the rate is measured from the first acknowledgement
        nextMark = position + size / 4;
    }
    // The subpacket that ends at end fills the window, or reaches the mark:
    // it asks for an acknowledgement.
    bool wantsMark(DWORD end) const { return end >= nextMark || end - acked >= size; }
    void marked(DWORD end, DWORD bytes) {
        lastMark = end;
        nextMark = end + size / 4;
        if (markCount == 32) {
            std::memmove(marks, marks + 1, sizeof marks - sizeof marks[0]);
            markCount--;
        }
        marks[markCount++] = Mark{end, GetTickCount(), bytes};
    }
    void acknowledge(DWORD position, DWORD sent) {
        if (position > sent || position <= acked) return;
        // Until the rate is known the window grows with what comes back
        // (doubling each round trip).
        if (rate == 0) size = size + (position - acked) > kMaxWindow ? kMaxWindow : size + (position - acked);
        acked = position;
        const DWORD now = GetTickCount();
        int kept = 0;
        for (int i = 0; i < markCount; i++) {
            if (marks[i].position == position) {
                const DWORD rtt = now - marks[i].ms;
                const DWORD own = lineTime(marks[i].length);
                const DWORD d = rtt > own ? rtt - own : 0;
                if (minRoundTrip == 0 || d < delay()) {
                    minRoundTrip = rtt ? rtt : 1;
                    minRoundTripLength = marks[i].length;
                }
            }
            if (marks[i].position > position) marks[kept++] = marks[i];
        }
        markCount = kept;
        // The rate over a quarter of a second at least, so that
        // acknowledgements arriving in a bunch do not inflate it; the first
        // round trip after a start, when nothing can come back, is left out.
        if (rateFromMs == 0) {
            rateFromMs = now ? now : 1;
            rateFromPosition = position;
            return;
        }
        const DWORD span = now - rateFromMs;
        if (span >= 250 && span >= minRoundTrip) {
            // The best of the last samples: a late acknowledgement on a busy
            // machine must not shrink the window below what the line takes.
            samples[sampleCount++ % 8] =
                static_cast<DWORD>(static_cast<unsigned long long>(position - rateFromPosition) * 1000 / span);
            rate = 0;
            for (int i = 0; i < 8 && i < sampleCount; i++)
                if (samples[i] > rate) rate = samples[i];
            rateFromMs = now;
            rateFromPosition = position;
            resize();
        }
    }
    // Twice what the line holds while a subpacket goes there and its
    // acknowledgement comes back; a fiftieth of a second's worth at least.
    void resize() {
        if (!rate) return;
        const unsigned long long product = static_cast<unsigned long long>(rate) * delay() / 1000 + length;
        const unsigned long long w = rate / 50 > product * 2 ? rate / 50 : product * 2;
        size = static_cast<DWORD>(w < kMinWindow ? kMinWindow : (w > kMaxWindow ? kMaxWindow : w));
    }
    // Waiting makes sense only while an acknowledgement is due: a window
    // that shrank below what is on the line since the last mark sends one
    // more subpacket, which marks, instead of waiting for nothing.
    bool full(DWORD sent) const { return active && sent - acked >= size && lastMark > acked; }
    // How long to wait for an acknowledgement before starting again from
    // what the receiver has confirmed (ms): a lost one costs a few round
    // trips, not seconds.
    DWORD patience() const {
        if (!minRoundTrip) return 5000;
        const unsigned long long ms = static_cast<unsigned long long>(minRoundTrip) * 4 + lineTime(size);
        return ms < 250 ? 250 : (ms > 5000 ? 5000 : static_cast<DWORD>(ms));
    }
};

// The subpacket length follows the distance between errors: every error
// costs the subpacket it hit and what followed it on the line, every
// subpacket its framing; the power of two just above the square root of the
// distance balances the two (128 at one bit in 100,000, 64 at one in
// 10,000). It shrinks at errors and grows back while the line stays clean.
struct Lengths {
    bool errors = false;    // none yet: the largest
    DWORD gap = 0;          // bytes between errors, averaged
    DWORD restartedAt = 0;  // where the sender last started again
    LONG length(DWORD position, LONG largest) const {
        if (!errors) return largest;
        const DWORD run = position - restartedAt;
        const unsigned long long g = run > gap ? run : gap;
        LONG n = 64;
        while (n * 2 <= largest && static_cast<unsigned long long>(n) * n <= g) n *= 2;
        return n;
    }
    void error(DWORD position) {
        const DWORD run = position > restartedAt ? position - restartedAt : 0;
        gap = errors ? (gap + run) / 2 : run;
        errors = true;
        restartedAt = position;
    }
};

} // namespace

LONG sendFileDataWith(Session &s, FileInput *input);

LONG sendFileData(Session &s) {
    HGLOBAL memory = GlobalAlloc(GMEM_ZEROINIT, sizeof(FileInput));
    FileInput *input = memory ? static_cast<FileInput *>(GlobalLock(memory)) : nullptr;
    LONG r = sendFileDataWith(s, input);
    if (memory) {
        GlobalUnlock(memory);
        GlobalFree(memory);
    }
    return r;
}

LONG sendFileDataWith(Session &s, FileInput *input) {
    TransferRecord *t = s.transfer.load();
    ZmodemLink &z = t->zmodem;
    const LONG largest =
        (z.peerBufferSize >= 1 && z.peerBufferSize <= 1023) ? static_cast<LONG>(z.peerBufferSize) : kMaxSubpacket;
    Lengths lengths;
    lengths.restartedAt = t->sendPosition;

    // Whatever the receiver said before the data is old news.
    while (inputWaiting(s)) {
        if (stopRequested(t)) return cancelledExit(s, t);
        if (readByte(s) < 0) break;
    }

    // Reading a header clears keyedHeaders; the sender keeps the keyed form
    // it was asked for until the next ZRPOS says otherwise.
    bool keyed = z.keyedHeaders != 0;
    Window window;
    window.active = z.peerBufferSize == 0;
    window.begin(t->sendPosition);

    enum Step { kTest, kFrame, kData, kReply, kCanInData, kEndOfFile } step = kTest;
    LONG cans = 0;
    LONG bufferLeft = 0;
    int zeofRepeats = 0;
    // A repositioning request: what is still queued for the line is of no
    // use to the receiver, and the error counts for the subpacket length.
    auto repositioned = [&]() {
        purgeOutput(s);
        lengths.error(t->sendPosition);
        window.begin(t->sendPosition);
        keyed = asksForKeyedHeaders(z);
    };
    // Errors and time-outs while acknowledgements are awaited in the frame,
    // since the receiver last confirmed anything new: a receiver that reads
    // and never answers (stopped, or gone with the carrier kept up) ends
    // the file within the budget of readReceiverReply instead of being fed
    // the same window for ever. The waits are short on a quick line, so
    // the budget is also one of time: what six full waits took.
    int windowErrors = 0;
    DWORD progressMs = GetTickCount(); // when windowErrors was last cleared
    auto windowError = [&]() {
        if (windowErrors == 0) progressMs = GetTickCount();
        if (++windowErrors <= kReplyErrors || GetTickCount() - progressMs < kReplyErrors * 5000u) return false;
        countError(s, kStatusTooManyErrors);
        t->resultCode = kResultRemoteCancel;
        sendCancelSequence(s);
        return true;
    };
    // A header read while the frame is open: a damaged one must not hold the
    // sender for the whole of the usual waits, with the receiver silent.
    auto readInFrame = [&](DWORD ms) {
        const LONG waits = z.headerWaits, chars = z.charTimeout;
        z.headerWaits = 1;
        z.headerMs = ms;
        z.charTimeout = 1;
        const HeaderRead h = readHeader(s, z.rxHeader);
        z.headerWaits = waits;
        z.charTimeout = chars;
        z.headerMs = 0;
        return h;
    };
    // A header that came while a frame is open. kData when the frame goes on.
    auto inFrameHeader = [&](const HeaderRead &h) -> LONG {
        if (h.kind == ZACK) {
            const DWORD before = window.acked;
            window.acknowledge(h.position, t->sendPosition);
            if (window.acked != before) windowErrors = 0;
            return kData;
        }
        if (h.kind == ZRPOS) {
            seekFile(t, h.position);
            t->sendPosition = h.position;
            repositioned();
            windowErrors = 0;
            return kFrame;
        }
        return kReply;
    };
    LONG pending = 0; // a header read in the frame and still to be judged
    for (;;) {
        switch (step) {
        case kTest:
            step = inputWaiting(s) ? kReply : kFrame;
            break;

        case kFrame:
            storePosition(z.txHeader, t->sendPosition);
            bufferLeft = static_cast<LONG>(z.peerBufferSize);
            z.keyedHeaders = keyed;
            sendBinaryHeader(s, ZDATA, z.txHeader);
            step = kData;
            break;

        case kData: {
            if (stopRequested(t)) {
                t->resultCode = kResultCancelled;
                countError(s, kStatusTransferCanceled);
                sendCancelSequence(s);
                return kFailed;
            }
            if (carrierLost(s)) {
                t->resultCode = kResultCarrierLost;
                countError(s, kStatusLostCarrier);
                return kFailed;
            }
            if (window.full(t->sendPosition)) {
                // Wait for acknowledgements with the frame left open.
                const HeaderRead h = readInFrame(window.patience());
                if (h.kind == kReadTimeout && t->resultCode != kResultCarrierLost && !stopRequested(t)) {
                    if (windowError()) return kFailed;
                    // No acknowledgement came (lost, or the receiver is
                    // waiting for a header after an error we did not hear
                    // of): start again from what it has confirmed. A
                    // receiver that has more answers with its own ZRPOS.
                    countError(s, kStatusTimeOut);
                    t->sendPosition = window.acked;
                    lengths.error(t->sendPosition);
                    window.begin(t->sendPosition);
                    step = kFrame;
                    break;
                }
                if (h.kind == kReadError) {
                    // Noise on the way back: keep waiting, within the budget.
                    if (windowError()) return kFailed;
                    break;
                }
                step = static_cast<Step>(inFrameHeader(h));
                if (step == kReply) pending = h.kind;
                break;
            }
            const LONG length = lengths.length(t->sendPosition, largest);
            if (static_cast<DWORD>(length) != window.length) {
                window.length = static_cast<DWORD>(length);
                window.resize();
            }
            // A limited receiver never gets more than its buffer between
            // two ZCRCW ends, whatever the subpacket length is now.
            LONG want = length;
            if (z.peerBufferSize && bufferLeft < want) want = bufferLeft > 0 ? bufferLeft : length;
            LONG n = readFileData(t, input, want);
            if (n < 0) {
                // A file that cannot be read is not announced as complete.
                t->resultCode = kResultCannotOpen;
                countError(s, kStatusCouldNotOpen);
                sendCancelSequence(s);
                return kFailed;
            }
            LONG end;
            if (n < want) {
                end = ZCRCE;
            } else if (z.peerBufferSize == 0) {
                end = ZCRCG;
                const DWORD after = t->sendPosition + static_cast<DWORD>(n);
                if (window.wantsMark(after)) {
                    end = ZCRCQ;
                    window.marked(after, static_cast<DWORD>(n));
                }
            } else {
                const LONG before = bufferLeft;
                bufferLeft -= n;
                end = before <= n ? ZCRCW : ZCRCG;
            }
            sendDataSubpacket(s, n, end);
            t->sendPosition += static_cast<DWORD>(n);
            reportProgress(s, t->sendPosition);
            if (t->aborted) return cancelledExit(s, t);
            if (end == ZCRCW) {
                step = kReply;
                break;
            }
            if (end == ZCRCE) {
                // Replies still on their way are read with the ZEOF's.
                step = kEndOfFile;
                break;
            }
            while (step == kData && inputWaiting(s)) {
                if (stopRequested(t)) return cancelledExit(s, t);
                LONG c = readByte(s);
                if (c == CAN) {
                    step = kCanInData;
                } else if (c == ZPAD) {
                    if (window.active) {
                        // Most likely an acknowledgement: read it in the frame.
                        const HeaderRead h = readInFrame(window.patience());
                        if (h.kind == kReadError ||
                            (h.kind == kReadTimeout && t->resultCode != kResultCarrierLost && !stopRequested(t))) {
                            // A damaged header, or one cut short.
                            if (windowError()) return kFailed;
                            continue;
                        }
                        step = static_cast<Step>(inFrameHeader(h));
                        if (step == kReply) pending = h.kind;
                    } else {
                        countError(s, kStatusUnknownError);
                        sendDataSubpacket(s, 0, ZCRCE);
                        step = kReply;
                    }
                } else if (c < 0) {
                    break;
                }
            }
            break;
        }

        case kCanInData: {
            LONG c = readLineByte(s, 1);
            if (c == CAN) {
                countError(s, kStatusReceiverCanceled);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            countError(s, kStatusUnknownError);
            discardInput(s);
            sendDataSubpacket(s, 0, ZCRCE);
            step = kReply;
            break;
        }

        case kReply: {
            LONG r = pending;
            pending = 0;
            if (r == 0 && window.active) {
                // Streaming, a damaged or missing reply is noise on the way
                // back: the data goes on, and a receiver that needs another
                // position asks again (answering with ZNAK would only make
                // it see one more error).
                const HeaderRead h = readInFrame(window.patience());
                if (h.kind == kReadError ||
                    (h.kind == kReadTimeout && t->resultCode != kResultCarrierLost && !stopRequested(t))) {
                    if (windowError()) return kFailed;
                    step = kFrame;
                    break;
                }
                r = h.kind;
                if (r == ZRPOS) {
                    seekFile(t, h.position);
                    t->sendPosition = h.position;
                }
            }
            if (r == 0) r = readReceiverReply(s);
            if (r < 1 || r > 16) {
                if (t->resultCode == kResultCancelled) return kFailed;
                if (t->resultCode != kResultCarrierLost) {
                    countError(s, kStatusTimeOut);
                    t->resultCode = kResultRemoteCancel;
                }
                return kFailed;
            }
            if (r == ZRINIT) {
                // Before our ZEOF a ZRINIT means the receiver gave the file
                // up and waits for the next one: that is no success.
                countError(s, kStatusReceiverCanceled);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            if (r == ZSKIP) return kSkipped;
            if (r == ZABORT || r == ZCAN) {
                countError(s, kStatusReceiverCanceled);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            if (r == ZRPOS) {
                repositioned();
                windowErrors = 0;
            } else if (r == ZACK) {
                const DWORD before = window.acked;
                window.acknowledge(z.peerPosition, t->sendPosition);
                if (window.acked != before) windowErrors = 0;
            } else {
                countError(s, kStatusTimeOut);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            step = kFrame;
            while (inputWaiting(s)) {
                if (stopRequested(t)) return cancelledExit(s, t);
                LONG c = readByte(s);
                if (c == CAN) {
                    if (++cans >= 5) {
                        countError(s, kStatusReceiverCanceled);
                        t->resultCode = kResultRemoteCancel;
                        sendCancelSequence(s);
                        return kFailed;
                    }
                    step = kTest;
                    break;
                }
                if (c == ZPAD) {
                    step = kReply;
                    break;
                }
                if (c < 0) break;
            }
            break;
        }

        case kEndOfFile: {
            storePosition(z.txHeader, t->sendPosition);
            z.keyedHeaders = keyed;
            sendBinaryHeader(s, ZEOF, z.txHeader);
            LONG r = 0;
            if (window.active) {
                // A streaming receiver answers within a few round trips.
                // One that stays silent lost the end of the data and waits
                // for a header: the data goes again from what it confirmed.
                HeaderRead h;
                for (;;) {
                    h = readInFrame(window.patience());
                    if (h.kind == ZACK) window.acknowledge(h.position, t->sendPosition);
                    if (h.kind == ZACK && h.position < t->sendPosition && ++zeofRepeats <= kZeofRepeats) continue;
                    // Noise on the way back: keep waiting, within the budget.
                    if (h.kind == kReadError && !windowError()) continue;
                    if (h.kind == kReadError) return kFailed;
                    break;
                }
                if (h.kind == kReadTimeout && t->resultCode != kResultCarrierLost && !stopRequested(t)) {
                    if (windowError()) return kFailed;
                    countError(s, kStatusTimeOut);
                    if (window.acked < t->sendPosition) {
                        t->sendPosition = window.acked;
                        lengths.error(t->sendPosition);
                        window.begin(t->sendPosition);
                        step = kFrame;
                        break;
                    }
                    // All of it confirmed: the answer was lost; ZEOF again.
                    if (++zeofRepeats <= kZeofRepeats) break;
                }
                if (h.kind == ZRPOS) {
                    seekFile(t, h.position);
                    t->sendPosition = h.position;
                }
                if (h.kind == ZRINIT || h.kind == ZACK || h.kind == ZSKIP || h.kind == ZRPOS) r = h.kind;
                if (h.kind == ZABORT || h.kind == ZFIN || h.kind == ZCAN) r = h.kind;
                if (r == 0 && h.kind >= 0) {
                    // Another header (a ZNAK): judged as the reply reader
                    // judges one, which asks again and waits for the answer.
                    countError(s, kStatusUnknownError);
                    BYTE zero[20] = {};
                    sendBinaryHeader(s, ZNAK, zero);
                }
            }
            if (r == 0) {
                do r = readReceiverReply(s);
                while (r == ZACK && z.peerPosition < t->sendPosition && ++zeofRepeats <= kZeofRepeats);
            }
            if (r == ZRINIT) {
                reportProgress(s, t->sendPosition);
                return 1;
            }
            if (r == ZACK && ++zeofRepeats <= kZeofRepeats) break; // ZEOF again
            if (r == ZSKIP) return kSkipped;
            if (r == ZRPOS) {
                // Judged as any reply: what follows the header on the line
                // (its XON) is dropped, not taken for a further reply that
                // would be waited for in vain.
                pending = ZRPOS;
                step = kReply;
                break;
            }
            if (t->resultCode == kResultCarrierLost || t->resultCode == kResultCancelled) return kFailed;
            countError(s, kStatusTransferCanceled);
            t->resultCode = kResultCancelled;
            sendCancelSequence(s);
            return kFailed;
        }
        }
    }
}

LONG sendZmodemFile(Session &s, LPCSTR name, LONG index) {
    TransferRecord *t = s.transfer.load();
    if (!t) return 1;
    ZmodemLink &z = t->zmodem;
    t->errorCount = 0;
    t->sendPosition = 0;
    z.peerPosition = 0;
    z.keyedHeaders = 0;
    std::memset(z.txHeader, 0, sizeof z.txHeader);

    bool failing = false;
    enum { kRun, kCancel, kFail, kBatchEnd } next = kRun;

    // Read during the pause, kept until the receiver's ZRINIT has been read.
    LineInput early;
    if (index == 0) {
        reportStatusText(s, kStatusWaitingForReceiver, 0);
        attachLineInput(s, &early);
        waitForReceiver(s, t, early);
        if (stopRequested(t)) next = kCancel;
        if (next == kRun) {
            sendRaw(s, "rz\r", 3);
            z.variableHeaders = 0;
            z.headerLength = 4;
        }
    }
    if (next == kRun) {
        reportStatusText(s, kStatusSendingZrqinit, 0);
        if (stopRequested(t)) next = kCancel;
    }
    if (next == kRun) {
        // After the first file the receiver may have said ZRINIT more than
        // once; an old one taken for the answer would make the ZFILE or the
        // ZFIN go twice, and a receiver that gets a second ZFIN instead of
        // "OO" waits in vain.
        if (index != 0) discardInput(s);
        sendHexHeader(s, ZRQINIT, z.txHeader);
        z.charTimeout = 90;
        z.headerWaits = 18;
        const LONG init = getReceiverInit(s);
        // The data phase reads the port itself; what is left here is old.
        detachLineInput(s);
        if (init != 1) {
            if (t->resultCode != kResultCarrierLost) t->resultCode = kResultRemoteCancel;
            sendCancelSequence(s);
            waitTicks(s, 72, false);
            discardInput(s);
            return 1;
        }
        if (stopRequested(t)) next = kCancel;
    }
    detachLineInput(s);
    if (next == kRun) {
        z.charTimeout = 60;
        z.headerWaits = 12;
        if (index == -1) next = kBatchEnd;
    }

    if (next == kRun) {
        // The ZFILE subpacket: name, NUL, information, NUL; names travel
        // with the standard's slashes.
        char info[80];
        std::snprintf(info, sizeof info, "%lu %lo 0 16200 1 %lu", static_cast<unsigned long>(t->fileSize),
                      static_cast<unsigned long>(t->fileTime), static_cast<unsigned long>(t->fileSize));
        const size_t nameLength = name ? std::strlen(name) : 0;
        const size_t infoLength = std::strlen(info);
        if (nameLength == 0 || nameLength + infoLength + 2 > kMaxSubpacket) {
            t->resultCode = kResultCannotOpen;
            countError(s, kStatusCouldNotOpen);
            next = kFail;
        } else {
            char *d = reinterpret_cast<char *>(t->dataBuffer);
            for (size_t i = 0; i < nameLength; i++) d[i] = name[i] == '\\' ? '/' : name[i];
            d[nameLength] = '\0';
            std::memcpy(d + nameLength + 1, info, infoLength + 1);
        }
        const LONG fileInfoLength = static_cast<LONG>(nameLength + infoLength + 2);
        if (next == kRun) reportStatusText(s, kStatusSendingFilename, 0);

        bool gotPosition = false;
        for (int attempt = 0; next == kRun && attempt < 10 && !gotPosition; attempt++) {
            if (stopRequested(t)) {
                next = kCancel;
                break;
            }
            if (carrierLost(s)) {
                t->resultCode = kResultCarrierLost;
                countError(s, kStatusLostCarrier);
                next = kFail;
                break;
            }
            std::memset(z.txHeader, 0, sizeof z.txHeader);
            z.txHeader[ZP0] = 5;
            // Old input goes before the offer, so that a quick answer is kept.
            discardInput(s);
            sendBinaryHeader(s, ZFILE, z.txHeader);
            sendDataSubpacket(s, fileInfoLength, ZCRCW);
            LONG r = readHeader(s, z.rxHeader).kind;
            int rereads = 0;
            for (;;) {
                if (r == ZRINIT && ++rereads <= kReplyErrors) {
                    // The receiver has not seen the ZFILE yet: wait for its
                    // next header (a receiver that only repeats its ZRINIT,
                    // or a line of noise, gets the offer again).
                    LONG c;
                    LONG skipped = 0;
                    do c = readLineByte(s, 5);
                    while (c > 0 && c != ZPAD && ++skipped < kNoiseBytes && !stopRequested(t));
                    if (c != ZPAD) break;
                    r = readHeader(s, z.rxHeader).kind;
                    continue;
                }
                if (r == kReadTimeout) {
                    if (t->resultCode != kResultCarrierLost) t->resultCode = kResultNoAnswer;
                    countError(s, kStatusTimeOut);
                    next = kFail;
                } else if (r == ZSKIP || r == ZABORT || r == ZFIN || r == ZCRC || r == ZCAN) {
                    t->resultCode = kResultRemoteCancel;
                    countError(s, kStatusTransferCanceled);
                    next = kFail;
                } else if (r == ZRPOS) {
                    gotPosition = true;
                }
                break;
            }
        }
        if (next == kRun && !gotPosition) {
            t->resultCode = kResultNoAnswer;
            countError(s, kStatusTimeOut);
            next = kFail;
        }
        if (next == kRun) {
            // Data phase.
            if (z.peerPosition != 0) {
                seekFile(t, z.peerPosition);
                t->sendPosition = z.peerPosition;
            }
            if (asksForKeyedHeaders(z)) z.keyedHeaders = 1;
            reportStatusText(s, kStatusSendingFile, 0);
            reportProgress(s, t->sendPosition);
            discardInput(s);
            startClock(s);
            if (stopRequested(t)) {
                t->resultCode = kResultCancelled;
                sendCancelSequence(s);
                next = kFail;
            } else {
                if (sendFileData(s) == 1) return 0;
                next = kFail;
            }
        }
    }

    if (next == kCancel) {
        t->resultCode = kResultCancelled;
        countError(s, kStatusTransferCanceled);
        sendCancelSequence(s);
        next = kFail;
    }
    if (next == kFail) {
        failing = true;
        waitTicks(s, 72, false);
        if (index != -1) return 1;
    }

    // End of the batch: ZFIN until the receiver answers with its own, then
    // "OO", which must reach the line before anyone closes the port.
    for (int n = 0; n < kZfinTries; n++) {
        std::memset(z.txHeader, 0, sizeof z.txHeader);
        sendBinaryHeader(s, ZFIN, z.txHeader);
        const LONG r = readHeader(s, z.rxHeader).kind;
        if (r == kReadTimeout) break;
        if (r == ZFIN) {
            sendRaw(s, "OO", 2);
            drainOutput(s, 5000);
            break;
        }
        if (r == ZCAN) break;
    }
    if (failing) {
        waitTicks(s, 72, false);
        discardInput(s);
        return 1;
    }
    return 0;
}

} // namespace vorlex
