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
bool asksForKeyedHeaders(const TransferRecord *t) {
    return t->variableHeaders && t->useCrc32 && t->headerLength > 4 && t->headerLength <= 20 &&
           t->rxHeader[t->headerLength - 1] == 1;
}

LONG cancelledExit(LONG port, TransferRecord *t) {
    t->resultCode = kResultCancelled;
    Func005(port);
    return kFailed;
}

} // namespace

LONG getReceiverInit(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kFailed;
    for (int n = 0; n < 10; n++) {
        LONG r = readHeader(port, t->rxHeader);
        switch (r) {
        case ZRINIT: {
            t->useCrc32 = (t->rxHeader[ZF0] & 32) ? 1 : 0;
            setEscapeControls(port, (t->rxHeader[ZF0] & kEscapeControls) != 0);
            if (t->rxHeader[ZF1] & 1) t->variableHeaders = 1;
            DWORD size = t->rxHeader[ZP0] + 256u * t->rxHeader[ZP1];
            t->peerBufferSize = size > kMaxSubpacket ? kMaxSubpacket : size;
            return 1;
        }
        case ZRQINIT:
            if (t->rxHeader[ZF0] != ZCOMMAND) sendHexHeader(port, ZNAK, t->txHeader);
            break;
        case ZCHALLENGE: {
            BYTE answer[20] = {};
            storePosition(answer, t->peerPosition);
            sendHexHeader(port, ZACK, answer);
            break;
        }
        case ZCOMMAND: {
            BYTE zero[20] = {};
            sendHexHeader(port, ZRQINIT, zero);
            break;
        }
        case kReadTimeout:
            countError(port, kStatusTimeOut);
            t->resultCode = kResultNoAnswer;
            return kFailed;
        case ZCAN:
            countError(port, kStatusReceiverCanceled);
            t->resultCode = kResultRemoteCancel;
            return kFailed;
        default:
            sendHexHeader(port, ZNAK, t->txHeader);
            break;
        }
    }
    return kFailed;
}

LONG readReceiverReply(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kFailed;
    int errors = 0;
    for (;;) {
        if (stopRequested(t)) {
            t->resultCode = kResultCancelled;
            return kFailed;
        }
        LONG r = readHeader(port, t->rxHeader);
        switch (r) {
        case kReadTimeout:
            // A lost carrier will not come back within the retries.
            if (t->resultCode == kResultCarrierLost) return kReadTimeout;
            if (++errors > 6) {
                countError(port, kStatusTooManyErrors);
                return kReadTimeout;
            }
            countError(port, kStatusTimeOut);
            break;
        case ZRINIT:
        case ZACK:
        case ZSKIP:
        case ZABORT:
        case ZFIN:
        case ZCAN: return r;
        case ZRPOS:
            seekFile(t, t->peerPosition);
            t->sendPosition = t->peerPosition;
            return ZRPOS;
        default: {
            countError(port, kStatusUnknownError);
            BYTE zero[20] = {};
            sendBinaryHeader(port, ZNAK, zero);
            if (++errors > 6) {
                countError(port, kStatusTooManyErrors);
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
// bytes on the line, sized to about a tenth of a second of what the line
// has carried (4 KiB at least). Without it every error would cost everything the transmit queue
// and the device held at the time.
constexpr DWORD kMinWindow = 4096;
constexpr DWORD kMaxWindow = 1u << 20;

struct Window {
    bool active = false;
    DWORD start = 0;     // position where the data phase began
    DWORD startMs = 0;
    DWORD acked = 0;     // the receiver has this much
    DWORD size = kMinWindow;
    DWORD nextMark = 0;  // the subpacket reaching this position ends with ZCRCQ
    DWORD lastMark = 0;  // the end of the last ZCRCQ subpacket sent

    void begin(DWORD position) {
        start = acked = lastMark = position;
        startMs = GetTickCount();
        size = kMinWindow;
        nextMark = position + size / 4;
    }
    // The subpacket that ends at end fills the window, or reaches the mark:
    // it asks for an acknowledgement.
    bool marks(DWORD end) const { return end >= nextMark || end - acked >= size; }
    void acknowledge(DWORD position, DWORD sent) {
        if (position > sent || position <= acked) return;
        acked = position;
        DWORD ms = GetTickCount() - startMs;
        if (ms < 1) ms = 1;
        unsigned long long rate = static_cast<unsigned long long>(acked - start) * 1000 / ms;
        unsigned long long w = rate / 10;
        size = static_cast<DWORD>(w < kMinWindow ? kMinWindow : (w > kMaxWindow ? kMaxWindow : w));
    }
    // Waiting makes sense only while an acknowledgement is due: a window
    // that shrank below what is on the line since the last mark sends one
    // more subpacket, which marks, instead of waiting for nothing.
    bool full(DWORD sent) const { return active && sent - acked >= size && lastMark > acked; }
};

} // namespace

LONG sendFileDataWith(LONG port, FileInput *input);

LONG sendFileData(LONG port) {
    HGLOBAL memory = GlobalAlloc(GMEM_ZEROINIT, sizeof(FileInput));
    FileInput *input = memory ? static_cast<FileInput *>(GlobalLock(memory)) : nullptr;
    LONG r = sendFileDataWith(port, input);
    if (memory) {
        GlobalUnlock(memory);
        GlobalFree(memory);
    }
    return r;
}

LONG sendFileDataWith(LONG port, FileInput *input) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kFailed;
    const LONG largest =
        (t->peerBufferSize >= 1 && t->peerBufferSize <= 1023) ? static_cast<LONG>(t->peerBufferSize) : kMaxSubpacket;
    LONG length = largest;
    LONG threshold = 1;
    LONG good = 0;

    // Whatever the receiver said before the data is old news.
    while (inputWaiting(port)) {
        if (stopRequested(t)) return cancelledExit(port, t);
        if (Func026(port) < 0) break;
    }

    // Reading a header clears keyedHeaders; the sender keeps the keyed form
    // it was asked for until the next ZRPOS says otherwise.
    bool keyed = t->keyedHeaders != 0;
    Window window;
    window.active = t->peerBufferSize == 0;
    window.begin(t->sendPosition);

    enum Step { kTest, kFrame, kData, kReply, kCanInData, kEndOfFile } step = kTest;
    LONG cans = 0;
    LONG bufferLeft = 0;
    int zeofRepeats = 0;
    // A repositioning request: shorter subpackets, slower growth.
    auto repositioned = [&]() {
        length = ((length & ~3) > 256) ? length / 4 : 64;
        good = 0;
        threshold = threshold * 2 + 1;
        window.begin(t->sendPosition);
        keyed = asksForKeyedHeaders(t);
    };
    // A header that came while a frame is open. kData when the frame goes on.
    auto inFrameHeader = [&](LONG r) -> LONG {
        if (r == ZACK) {
            window.acknowledge(t->peerPosition, t->sendPosition);
            return kData;
        }
        if (r == ZRPOS) {
            seekFile(t, t->peerPosition);
            t->sendPosition = t->peerPosition;
            repositioned();
            return kFrame;
        }
        return kReply;
    };
    LONG pending = 0; // a header read in the frame and still to be judged
    for (;;) {
        switch (step) {
        case kTest:
            step = inputWaiting(port) ? kReply : kFrame;
            break;

        case kFrame:
            storePosition(t->txHeader, t->sendPosition);
            bufferLeft = static_cast<LONG>(t->peerBufferSize);
            t->keyedHeaders = keyed;
            sendBinaryHeader(port, ZDATA, t->txHeader);
            step = kData;
            break;

        case kData: {
            if (stopRequested(t)) {
                t->resultCode = kResultCancelled;
                countError(port, kStatusTransferCanceled);
                Func005(port);
                return kFailed;
            }
            if (carrierLost(port)) {
                t->resultCode = kResultCarrierLost;
                countError(port, kStatusLostCarrier);
                return kFailed;
            }
            if (window.full(t->sendPosition)) {
                // Wait for acknowledgements with the frame left open.
                const LONG waits = t->headerWaits;
                t->headerWaits = 1;
                LONG r = readHeader(port, t->rxHeader);
                t->headerWaits = waits;
                if (r == kReadTimeout && t->resultCode != kResultCarrierLost && !stopRequested(t)) {
                    // No acknowledgement came (lost, or the receiver is
                    // waiting for a header after an error we did not hear
                    // of): start again from what it has confirmed. A
                    // receiver that has more answers with its own ZRPOS.
                    countError(port, kStatusTimeOut);
                    t->sendPosition = window.acked;
                    window.begin(t->sendPosition);
                    step = kFrame;
                    break;
                }
                if (r == kReadError) break; // noise on the way back; keep waiting
                step = static_cast<Step>(inFrameHeader(r));
                if (step == kReply) pending = r;
                break;
            }
            // A limited receiver never gets more than its buffer between
            // two ZCRCW ends, whatever the subpacket length is now.
            LONG want = length;
            if (t->peerBufferSize && bufferLeft < want) want = bufferLeft > 0 ? bufferLeft : length;
            LONG n = readFileData(t, input, want);
            if (n < 0) {
                // A file that cannot be read is not announced as complete.
                t->resultCode = kResultCannotOpen;
                countError(port, kStatusCouldNotOpen);
                Func005(port);
                return kFailed;
            }
            LONG end;
            if (n < want) {
                end = ZCRCE;
            } else if (t->peerBufferSize == 0) {
                end = ZCRCG;
                const DWORD after = t->sendPosition + static_cast<DWORD>(n);
                if (window.marks(after)) {
                    end = ZCRCQ;
                    window.lastMark = after;
                    window.nextMark = after + window.size / 4;
                }
            } else {
                const LONG before = bufferLeft;
                bufferLeft -= n;
                end = before <= n ? ZCRCW : ZCRCG;
            }
            sendDataSubpacket(port, n, end);
            t->sendPosition += static_cast<DWORD>(n);
            if (length < largest && ++good > threshold) {
                length = length * 2 > largest ? largest : length * 2;
                good = 0;
            }
            reportProgress(port, t->sendPosition);
            if (t->aborted) return cancelledExit(port, t);
            if (end == ZCRCW) {
                step = kReply;
                break;
            }
            if (end == ZCRCE) {
                // Replies still on their way are read with the ZEOF's.
                step = kEndOfFile;
                break;
            }
            while (step == kData && inputWaiting(port)) {
                if (stopRequested(t)) return cancelledExit(port, t);
                LONG c = Func026(port);
                if (c == CAN) {
                    step = kCanInData;
                } else if (c == ZPAD) {
                    if (window.active) {
                        // Most likely an acknowledgement: read it in the frame.
                        LONG r = readHeader(port, t->rxHeader);
                        if (r == kReadError) continue;
                        step = static_cast<Step>(inFrameHeader(r));
                        if (step == kReply) pending = r;
                    } else {
                        countError(port, kStatusUnknownError);
                        sendDataSubpacket(port, 0, ZCRCE);
                        step = kReply;
                    }
                } else if (c < 0) {
                    break;
                }
            }
            break;
        }

        case kCanInData: {
            LONG c = readLineByte(port, 1);
            if (c == CAN) {
                countError(port, kStatusReceiverCanceled);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            countError(port, kStatusUnknownError);
            discardInput(port);
            sendDataSubpacket(port, 0, ZCRCE);
            step = kReply;
            break;
        }

        case kReply: {
            LONG r = pending;
            pending = 0;
            if (r == 0) r = readReceiverReply(port);
            if (r < 1 || r > 16) {
                if (t->resultCode == kResultCancelled) return kFailed;
                if (t->resultCode != kResultCarrierLost) {
                    countError(port, kStatusTimeOut);
                    t->resultCode = kResultRemoteCancel;
                }
                return kFailed;
            }
            if (r == ZRINIT) {
                // Before our ZEOF a ZRINIT means the receiver gave the file
                // up and waits for the next one: that is no success.
                countError(port, kStatusReceiverCanceled);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            if (r == ZSKIP) return kSkipped;
            if (r == ZABORT || r == ZCAN) {
                countError(port, kStatusReceiverCanceled);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            if (r == ZRPOS) {
                repositioned();
            } else if (r == ZACK) {
                window.acknowledge(t->peerPosition, t->sendPosition);
            } else {
                countError(port, kStatusTimeOut);
                t->resultCode = kResultRemoteCancel;
                return kFailed;
            }
            step = kFrame;
            while (inputWaiting(port)) {
                if (stopRequested(t)) return cancelledExit(port, t);
                LONG c = Func026(port);
                if (c == CAN) {
                    if (++cans >= 5) {
                        countError(port, kStatusReceiverCanceled);
                        t->resultCode = kResultRemoteCancel;
                        Func005(port);
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
            storePosition(t->txHeader, t->sendPosition);
            t->keyedHeaders = keyed;
            sendBinaryHeader(port, ZEOF, t->txHeader);
            LONG r;
            do r = readReceiverReply(port);
            while (r == ZACK && t->peerPosition < t->sendPosition && ++zeofRepeats <= kZeofRepeats);
            if (r == ZRINIT) {
                reportProgress(port, t->sendPosition);
                return 1;
            }
            if (r == ZACK && ++zeofRepeats <= kZeofRepeats) break; // ZEOF again
            if (r == ZSKIP) return kSkipped;
            if (r == ZRPOS) {
                repositioned();
                step = kTest;
                break;
            }
            if (t->resultCode == kResultCarrierLost || t->resultCode == kResultCancelled) return kFailed;
            countError(port, kStatusTransferCanceled);
            t->resultCode = kResultCancelled;
            Func005(port);
            return kFailed;
        }
        }
    }
}

LONG sendZmodemFile(LONG port, LPCSTR name, LONG index) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 1;
    t->errorCount = 0;
    t->sendPosition = 0;
    t->peerPosition = 0;
    t->keyedHeaders = 0;
    std::memset(t->txHeader, 0, sizeof t->txHeader);

    bool failing = false;
    enum { kRun, kCancel, kFail, kBatchEnd } next = kRun;

    if (index == 0) {
        reportStatusText(port, kStatusWaitingForReceiver, 0);
        waitTicks(port, 72, false);
        if (stopRequested(t)) next = kCancel;
        if (next == kRun) {
            sendRaw(port, "rz\r", 3);
            t->variableHeaders = 0;
            t->headerLength = 4;
        }
    }
    if (next == kRun) {
        reportStatusText(port, kStatusSendingZrqinit, 0);
        if (stopRequested(t)) next = kCancel;
    }
    if (next == kRun) {
        // After the first file the receiver may have said ZRINIT more than
        // once; an old one taken for the answer would make the ZFILE or the
        // ZFIN go twice, and a receiver that gets a second ZFIN instead of
        // "OO" waits in vain.
        if (index != 0) discardInput(port);
        sendHexHeader(port, ZRQINIT, t->txHeader);
        t->charTimeout = 90;
        t->headerWaits = 18;
        if (getReceiverInit(port) != 1) {
            if (t->resultCode != kResultCarrierLost) t->resultCode = kResultRemoteCancel;
            Func005(port);
            waitTicks(port, 72, false);
            discardInput(port);
            return 1;
        }
        if (stopRequested(t)) next = kCancel;
    }
    if (next == kRun) {
        t->charTimeout = 60;
        t->headerWaits = 12;
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
            countError(port, kStatusCouldNotOpen);
            next = kFail;
        } else {
            char *d = reinterpret_cast<char *>(t->dataBuffer);
            for (size_t i = 0; i < nameLength; i++) d[i] = name[i] == '\\' ? '/' : name[i];
            d[nameLength] = '\0';
            std::memcpy(d + nameLength + 1, info, infoLength + 1);
        }
        const LONG fileInfoLength = static_cast<LONG>(nameLength + infoLength + 2);
        if (next == kRun) reportStatusText(port, kStatusSendingFilename, 0);

        bool gotPosition = false;
        for (int attempt = 0; next == kRun && attempt < 10 && !gotPosition; attempt++) {
            if (stopRequested(t)) {
                next = kCancel;
                break;
            }
            if (carrierLost(port)) {
                t->resultCode = kResultCarrierLost;
                countError(port, kStatusLostCarrier);
                next = kFail;
                break;
            }
            std::memset(t->txHeader, 0, sizeof t->txHeader);
            t->txHeader[ZP0] = 5;
            // Old input goes before the offer, so that a quick answer is kept.
            discardInput(port);
            sendBinaryHeader(port, ZFILE, t->txHeader);
            sendDataSubpacket(port, fileInfoLength, ZCRCW);
            LONG r = readHeader(port, t->rxHeader);
            for (;;) {
                if (r == ZRINIT) {
                    // The receiver has not seen the ZFILE yet: wait for its
                    // next header.
                    LONG c;
                    do c = readLineByte(port, 5);
                    while (c > 0 && c != ZPAD);
                    if (c != ZPAD) break;
                    r = readHeader(port, t->rxHeader);
                    continue;
                }
                if (r == kReadTimeout) {
                    if (t->resultCode != kResultCarrierLost) t->resultCode = kResultNoAnswer;
                    countError(port, kStatusTimeOut);
                    next = kFail;
                } else if (r == ZSKIP || r == ZABORT || r == ZFIN || r == ZCRC || r == ZCAN) {
                    t->resultCode = kResultRemoteCancel;
                    countError(port, kStatusTransferCanceled);
                    next = kFail;
                } else if (r == ZRPOS) {
                    gotPosition = true;
                }
                break;
            }
        }
        if (next == kRun && !gotPosition) {
            t->resultCode = kResultNoAnswer;
            countError(port, kStatusTimeOut);
            next = kFail;
        }
        if (next == kRun) {
            // Data phase.
            if (t->peerPosition != 0) {
                seekFile(t, t->peerPosition);
                t->sendPosition = t->peerPosition;
            }
            if (asksForKeyedHeaders(t)) t->keyedHeaders = 1;
            reportStatusText(port, kStatusSendingFile, 0);
            reportProgress(port, t->sendPosition);
            discardInput(port);
            startClock(port);
            if (stopRequested(t)) {
                t->resultCode = kResultCancelled;
                Func005(port);
                next = kFail;
            } else {
                if (sendFileData(port) == 1) return 0;
                next = kFail;
            }
        }
    }

    if (next == kCancel) {
        t->resultCode = kResultCancelled;
        countError(port, kStatusTransferCanceled);
        Func005(port);
        next = kFail;
    }
    if (next == kFail) {
        failing = true;
        waitTicks(port, 72, false);
        if (index != -1) return 1;
    }

    // End of the batch: ZFIN until the receiver answers with its own, then
    // "OO", which must reach the line before anyone closes the port.
    for (int n = 0; n < kZfinTries; n++) {
        std::memset(t->txHeader, 0, sizeof t->txHeader);
        sendBinaryHeader(port, ZFIN, t->txHeader);
        LONG r = readHeader(port, t->rxHeader);
        if (r == kReadTimeout) break;
        if (r == ZFIN) {
            sendRaw(port, "OO", 2);
            drainTransmitQueue(port, 5000);
            break;
        }
        if (r == ZCAN) break;
    }
    if (failing) {
        waitTicks(port, 72, false);
        discardInput(port);
        return 1;
    }
    return 0;
}

} // namespace vorlex
