// The Xmodem and Ymodem sender: waits for the receiver's start byte, sends
// the Ymodem file-name block, the file in numbered blocks and the EOT.
#include "blocks.h"

#include "crc.h"
#include "port/port_api.h"
#include "transfer_files.h"

#include <cstdio>
#include <cstring>

namespace vorlex {

namespace {

// How long the last bytes may take to leave the transmit queue.
constexpr DWORD kDrainMs = 10000;

// The checks: 0 to go on, else the result (stored in resultCode).
LONG stopCheck(Session &s, TransferRecord *t) {
    if (!stopRequested(t)) return 0;
    t->resultCode = kResultCancelled;
    countError(s, kStatusSenderCanceled);
    sendCancelSequence(s);
    return kResultCancelled;
}

LONG checks(Session &s, TransferRecord *t) {
    if (LONG r = stopCheck(s, t)) return r;
    if (carrierAbsent(s)) {
        t->resultCode = kResultCarrierLost;
        countError(s, kStatusLostCarrier);
        return kResultCarrierLost;
    }
    return 0;
}

LONG fail(Session &s, TransferRecord *t, LONG result, LONG status) {
    t->resultCode = result;
    countError(s, status);
    return result;
}

// A reply within seconds, waited for a second at a time with the checks
// between, so that a cancel or a lost carrier ends the wait at once.
// The byte, or -1 with *failure the checks' result (0: nothing came).
LONG replyByte(Session &s, TransferRecord *t, LONG seconds, LONG *failure) {
    *failure = 0;
    for (LONG i = 0; i < seconds; i++) {
        // A reply already queued counts even when the line dropped after it.
        LONG b = readByteWithin(s, t->progressWindow.load(), 1);
        if (b >= 0) return b;
        if ((*failure = checks(s, t)) != 0) return -1;
    }
    return -1;
}

// The answer to EOT: -2 when none came within a minute. No checks are
// counted here; a lost carrier or a stop only ends the wait (-1).
LONG endReply(Session &s, TransferRecord *t) {
    for (LONG i = 0; i < 60; i++) {
        LONG b = readByteWithin(s, t->progressWindow.load(), 1);
        if (b >= 0) return b;
        if (stopRequested(t) || carrierAbsent(s)) return -1;
    }
    return -2;
}

// The -G variants fall back to their acknowledged protocol.
void stopStreaming(TransferRecord *t) {
    if (!t->blocks.streaming) return;
    t->protocol = t->protocol == kProtocolYmodemG ? kProtocolYmodem : kProtocolXmodem1k;
    t->blocks.streaming = 0;
}

LONG sendFile(Session &s, TransferRecord *t, LPCSTR name) {
    t->errorCount = 0;
    if (t->blocks.batchMode && name && !buildNameBlock(t->dataBuffer + 3, bareName(name), t->fileSize, t->fileTime)) {
        // Refused before anything is sent rather than cut into another name.
        return fail(s, t, kResultCannotOpen, kStatusCouldNotOpen);
    }
    if (LONG r = waitForReceiver(s)) return r;
    reportStatusText(s, kStatusSendingFile, 0);
    if (t->blocks.batchMode) {
        if (LONG r = sendBlockZero(s, name)) return r;
        if (!name) return 0;
    }

    BYTE number = 1;
    LONG retries = 0;
    DWORD sent = 0;
    startClock(s);
    BYTE *block = t->dataBuffer;
    for (;;) {
        LONG size = t->blocks.blockSize;
        if (retries == 0) {
            DWORD remaining = t->fileSize > t->sendPosition ? t->fileSize - t->sendPosition : 0;
            if (t->blocks.blockSize == 1024 && remaining < 1024) t->blocks.blockSize = 128;
            size = t->blocks.blockSize;
            if (readBlockData(s, size)) break;
            block[0] = size == 128 ? kSoh : kStx;
            block[1] = number;
            block[2] = static_cast<BYTE>(255 - number);
            LONG end = 3 + size;
            if (t->blocks.useCrc16) {
                uint16_t crc = 0;
                for (LONG i = 3; i < end; i++) crc = crc16Update(crc, block[i]);
                block[end] = static_cast<BYTE>(crc >> 8);
                block[end + 1] = static_cast<BYTE>(crc);
            } else {
                BYTE sum = 0;
                for (LONG i = 3; i < end; i++) sum = static_cast<BYTE>(sum + block[i]);
                block[end] = sum;
            }
        }
        const LONG length = 3 + size + (t->blocks.useCrc16 ? 2 : 1);
        putBytes(s, block, length);

        if (t->blocks.streaming) {
            if (LONG r = checks(s, t)) return r;
            sent += static_cast<DWORD>(size);
            reportProgress(s, sent);
            if (LONG r = stopCheck(s, t)) return r;
            if (inputCount(s) != 0 && readByte(s) == kCan && readByteWithin(s, t->progressWindow.load(), 18) == kCan)
                return fail(s, t, kResultRemoteCancel, kStatusReceiverCanceled);
            number++;
            continue;
        }

        bool canSeen = false;
        for (;;) {
            LONG failure;
            LONG b = replyByte(s, t, 60, &failure);
            if (b < 0) return failure ? failure : fail(s, t, kResultNoAnswer, kStatusTimeOut);
            if (LONG r = stopCheck(s, t)) return r;
            if (b == kAck) {
                sent += static_cast<DWORD>(size);
                reportProgress(s, sent);
                if (LONG r = stopCheck(s, t)) return r;
                number++;
                retries = 0;
                break;
            }
            if (b == kNak) {
                countError(s, kStatusRetransmitting);
                if (++retries > 10) {
                    fail(s, t, kResultBlockErrors, kStatusTooManyErrors);
                    sendCancelSequence(s);
                    return kResultBlockErrors;
                }
                break;
            }
            if (b == kCan) {
                if (canSeen) return fail(s, t, kResultRemoteCancel, kStatusReceiverCanceled);
                canSeen = true;
                continue;
            }
            canSeen = false;
        }
    }

    // End of file: at most two EOTs; success whatever the answer.
    for (int i = 0; i < 2; i++) {
        putByte(s, kEot);
        LONG b = endReply(s, t);
        if (b == kAck || b == -1) break;
    }
    reportStatusText(s, kStatusCompleted, 0);
    return 0;
}

} // namespace

bool setupProtocol(TransferRecord *t, LONG protocol) {
    if (protocol < kProtocolAscii || protocol > kProtocolYmodemG) return false;
    t->protocol = protocol;
    t->blocks.blockSize = protocol == kProtocolXmodem ? 128 : 1024;
    t->blocks.batchMode = protocol == kProtocolYmodem || protocol == kProtocolYmodemG;
    t->blocks.streaming = protocol == kProtocolXmodem1kG || protocol == kProtocolYmodemG;
    return true;
}

bool carrierAbsent(Session &s) { return !s.rec().ignoreCarrier && !carrierPresent(s); }

LONG transferSeconds(Session &s) { return s.rec().transferTimeout >= 60 ? s.rec().transferTimeout : 60; }

bool buildNameBlock(BYTE *data, LPCSTR name, DWORD size, DWORD time) {
    std::memset(data, 0, 128);
    if (!name) return true;
    char numbers[32];
    int n = std::snprintf(numbers, sizeof numbers, "%lu %lo", static_cast<unsigned long>(size),
                          static_cast<unsigned long>(time));
    size_t nameLength = std::strlen(name);
    if (nameLength == 0 || nameLength + 1 + static_cast<size_t>(n) + 1 > 128) return false;
    std::memcpy(data, name, nameLength);
    std::memcpy(data + nameLength + 1, numbers, static_cast<size_t>(n));
    return true;
}

LONG waitForReceiver(Session &s) {
    TransferRecord *t = s.transfer.load();
    if (!t) return kResultNoAnswer;
    const LONG seconds = transferSeconds(s);
    bool canSeen = false;
    for (;;) {
        LONG b = -1;
        for (LONG i = 0; i < seconds && b < 0; i++) {
            b = readByteWithin(s, t->progressWindow.load(), 1);
            if (b < 0)
                if (LONG r = checks(s, t)) return r;
        }
        if (b < 0) return fail(s, t, kResultNoAnswer, kStatusTimeOut);
        if (LONG r = checks(s, t)) return r;
        switch (b) {
        case kNak:
            // A checksum receiver acknowledges every block: no streaming to it.
            t->blocks.useCrc16 = 0;
            stopStreaming(t);
            return 0;
        case kAskCrc:
            t->blocks.useCrc16 = 1;
            stopStreaming(t);
            return 0;
        case kAskStream:
            if (t->protocol == kProtocolXmodem1kG || t->protocol == kProtocolYmodemG) {
                t->blocks.useCrc16 = 1;
                return 0;
            }
            break;
        case kCan:
            if (canSeen) return fail(s, t, kResultRemoteCancel, kStatusReceiverCanceled);
            canSeen = true;
            continue;
        default:
            canSeen = false;
            break;
        }
    }
}

LONG sendBlockZero(Session &s, LPCSTR name) {
    TransferRecord *t = s.transfer.load();
    if (!t) return kResultNoAnswer;
    BYTE *block = t->dataBuffer;
    if (!buildNameBlock(block + 3, name ? bareName(name) : nullptr, t->fileSize, t->fileTime))
        return fail(s, t, kResultCannotOpen, kStatusCouldNotOpen);
    block[0] = kSoh;
    block[1] = 0x00;
    block[2] = 0xFF;
    uint16_t crc = 0;
    for (int i = 3; i < 131; i++) crc = crc16Update(crc, block[i]);
    block[131] = static_cast<BYTE>(crc >> 8);
    block[132] = static_cast<BYTE>(crc);
    LONG naks = 0;
    for (;;) {
        putBytes(s, block, 133);
        if (t->blocks.streaming) return name ? waitForReceiver(s) : 0;
        bool canSeen = false;
        for (;;) {
            LONG failure;
            LONG b = replyByte(s, t, 60, &failure);
            if (b < 0) return failure ? failure : fail(s, t, kResultNoAnswer, kStatusTimeOut);
            if (LONG r = checks(s, t)) return r;
            if (b == kAck) return name ? waitForReceiver(s) : 0;
            if (b == kNak) {
                // Bounded like the data blocks: a receiver that refuses
                // the block for ever must not keep the sender here.
                if (++naks > 10) {
                    fail(s, t, kResultBlockErrors, kStatusTooManyErrors);
                    sendCancelSequence(s);
                    return kResultBlockErrors;
                }
                countError(s, kStatusRetransmitting);
                break;
            }
            if (b == kCan) {
                if (canSeen) return fail(s, t, kResultRemoteCancel, kStatusReceiverCanceled);
                canSeen = true;
                continue;
            }
            canSeen = false;
        }
    }
}

LONG readBlockData(Session &s, LONG size) {
    TransferRecord *t = s.transfer.load();
    if (!t) return 1;
    BYTE *data = t->dataBuffer + 3;
    DWORD got = readFromFile(t->fileHandle, data, static_cast<DWORD>(size));
    if (got == 0) return 1;
    if (got < static_cast<DWORD>(size)) std::memset(data + got, kSub, static_cast<size_t>(size) - got);
    t->sendPosition += got;
    return 0;
}

LONG sendBlocks(Session &s, LPCSTR name) {
    TransferRecord *t = s.transfer.load();
    if (!t) return 0;
    LONG r = sendFile(s, t, name);
    // The last block, EOT or cancel must reach the receiver even when the
    // port is closed right after.
    drainOutput(s, kDrainMs);
    return r;
}

} // namespace vorlex
