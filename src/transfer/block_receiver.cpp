// The Xmodem and Ymodem receiver: asks for the file with "C", NAK or "G",
// takes the blocks, acknowledges them and writes them to disk; Ymodem
// takes a batch, each file announced by its file-name block.
#include "blocks.h"

#include "crc.h"
#include "port/port_api.h"
#include "transfer_files.h"

#include <cstring>

#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif

namespace vorlex {

namespace {

constexpr DWORD kDrainMs = 10000;

// Exactly n bytes into dst (which has room for one more, the NUL that
// readQueued stores): all that is queued in one read, the rest waited for a
// byte at a time, seconds each. Bulk reads never take more than the block
// holds, so the bytes after it stay queued as with single-byte reads.
bool readExact(Session &s, HWND window, BYTE *dst, LONG n, LONG seconds) {
    LONG got = 0;
    while (got < n) {
        LONG queued = readQueued(s, reinterpret_cast<char *>(dst + got), n - got);
        got += queued;
        if (got >= n) break;
        if (queued > 0 && queued < 16 && n - got > 64) {
            // The line is slower than we are: let a few bytes gather
            // instead of waking for each one. The last ones are taken as
            // they come, so the block's end is not delayed.
            Sleep(1);
            continue;
        }
        LONG b = readByteWithin(s, window, seconds);
        if (b < 0) return false;
        dst[got++] = static_cast<BYTE>(b);
    }
    return true;
}

LONG readBlock(Session &s, TransferRecord *t, LONG expected, bool repeatAllowed) {
    HWND window = t->progressWindow.load();
    // A second at a time, so that a cancel or a lost carrier is seen at once.
    LONG first = -1;
    for (LONG i = t->protocol == kProtocolXmodem ? 10 : 6; i > 0 && first < 0; i--) {
        first = readByteWithin(s, window, 1);
        if (first < 0 && (stopRequested(t) || carrierAbsent(s))) break;
    }
    if (first < 0) return kBlockTimeout;
    LONG size;
    switch (first) {
    case kSoh: size = 128; break;
    case kStx: size = 1024; break;
    case kEot: return kBlockEnd;
    case kCan: {
        LONG second = readByteWithin(s, window, 10);
        if (second == kCan) return kBlockCancel;
        return second < 0 ? kBlockTimeout : kBlockStray;
    }
    default: return kBlockStray;
    }

    // number, complement, data, check (+ the NUL of readQueued)
    BYTE frame[2 + 1024 + 2 + 1];
    if (!readExact(s, window, frame, 2, 5)) return kBlockTimeout;
    const BYTE want = static_cast<BYTE>(expected);
    const BYTE previous = static_cast<BYTE>(expected - 1);
    const bool good = frame[0] == want && frame[1] == 255 - want;
    const bool repeated = !good && repeatAllowed && frame[0] == previous && frame[1] == 255 - previous;
    if (!good && !repeated) return kBlockBadNumber;
    if (!readExact(s, window, frame + 2, size + 1, 5)) return kBlockTimeout;
    if (t->blocks.useCrc16 && !readExact(s, window, frame + 3 + size, 1, 2)) return kBlockTimeout;

    const BYTE *data = frame + 2;
    if (t->blocks.useCrc16) {
        uint16_t crc = 0;
        for (LONG i = 0; i < size; i++) crc = crc16Update(crc, data[i]);
        if (crc != ((data[size] << 8) | data[size + 1])) {
            countError(s, kStatusCrcError);
            return kBlockBadCheck;
        }
    } else {
        BYTE sum = 0;
        for (LONG i = 0; i < size; i++) sum = static_cast<BYTE>(sum + data[i]);
        if (sum != data[size]) {
            countError(s, kStatusChecksumError);
            return kBlockBadCheck;
        }
    }
    if (repeated) return kBlockRepeated;
    std::memcpy(t->dataBuffer, data, static_cast<size_t>(size));
    return size == 128 ? kBlockShort : kBlockLong;
}

bool isBlock(LONG r) { return r == kBlockShort || r == kBlockLong || r == kBlockEnd; }

void sendByte(Session &s, BYTE b) { putByte(s, b); }

// The start byte of a file, and the re-asking after a failed attempt.
BYTE startByte(const TransferRecord *t) { return t->blocks.streaming ? kAskStream : kAskCrc; }

// Ends the receive with a result: cancel sequence when asked, file closed.
LONG finish(Session &s, TransferRecord *t, LONG result, LONG status, bool cancel) {
    t->resultCode = result;
    if (status >= 0) countError(s, status);
    if (cancel) sendCancelSequence(s);
    closeFile(&t->fileHandle);
    return result;
}

// A file that cannot be opened, or a name that is refused: nothing written.
LONG openFailed(Session &s, TransferRecord *t, LPCSTR path, DWORD error) {
    showFileError(s, "Download", path, error);
    t->resultCode = kResultCannotOpen;
    sendCancelSequence(s);
    countError(s, kStatusCouldNotOpen);
    waitTicks(s, 72, false);
    return kResultCannotOpen;
}

// The length after the name in a file-name block: decimal, unsigned 32-bit.
// 0 (unknown) when absent; false when it is 4 GiB or more.
bool sentLength(const BYTE *data, LONG size, DWORD *length) {
    *length = 0;
    LONG i = 0;
    while (i < size && data[i]) i++;
    i++;
    if (i >= size || data[i] == 0) return true;
    while (i < size && data[i] == ' ') i++;
    unsigned long long value = 0;
    bool digits = false;
    for (; i < size && data[i] >= '0' && data[i] <= '9'; i++) {
        value = value * 10 + (data[i] - '0');
        if (value > 0xFFFFFFFFull) return false;
        digits = true;
    }
    if (digits) *length = static_cast<DWORD>(value);
    return true;
}

LONG receiveFiles(Session &s, TransferRecord *t, LPCSTR directory, LPCSTR name) {
    const LONG tries = transferSeconds(s) / 6;
    t->blocks.useCrc16 = 1;
    DWORD bytes = 0;
    t->fileSize = 0;
    announceFile(s, name);
    if (t->aborted) return finish(s, t, kResultRemoteCancel, -1, true);

    for (;;) {
        // A file starts.
        sendByte(s, startByte(t));
        LONG expected = t->blocks.batchMode ? 0 : 1;
        LONG r = kBlockTimeout;
        bool started = false;
        for (LONG attempt = 1; attempt <= tries; attempt++) {
            r = receiveBlock(s, expected, false);
            if (r == kBlockCancel) return finish(s, t, kResultCancelled, kStatusSenderCanceled, false);
            if (r == kBlockNoCarrier || r == kBlockCancelled) return t->resultCode;
            if (r == kBlockEnd && t->blocks.batchMode) {
                // The last file's EOT again: the sender missed our ACK.
                sendByte(s, kAck);
                sendByte(s, startByte(t));
                continue;
            }
            if (isBlock(r)) {
                started = true;
                break;
            }
            reportStatusText(s, kStatusNoResponseToNak, t->errorCount);
            if (r == kBlockStray || r == kBlockBadNumber) waitForQuiet(s);
            if (t->protocol == kProtocolXmodem) {
                if (attempt == 1) {
                    sendByte(s, kAskCrc);
                } else {
                    sendByte(s, kNak);
                    t->blocks.useCrc16 = 0;
                }
            } else {
                sendByte(s, startByte(t));
            }
        }
        if (!started) return finish(s, t, kResultNoAnswer, kStatusTimeOut, true);

        char fileName[256];
        if (t->blocks.batchMode) {
            const LONG size = r == kBlockLong ? 1024 : 128;
            if (t->dataBuffer[0] == 0) {
                // The empty file-name block ends the batch.
                sendByte(s, kAck);
                return 0;
            }
            DWORD error = 0;
            const char *sent = reinterpret_cast<const char *>(t->dataBuffer);
            if (!receivedName(sent, static_cast<size_t>(size), fileName, sizeof fileName, &error)) {
                // Shown as sent (cut to what the block holds).
                char shown[256];
                size_t n = 0;
                while (n < sizeof shown - 1 && n < static_cast<size_t>(size) && sent[n]) n++;
                std::memcpy(shown, sent, n);
                shown[n] = '\0';
                return openFailed(s, t, shown, error);
            }
            DWORD length = 0;
            if (!sentLength(t->dataBuffer, size, &length)) return openFailed(s, t, fileName, ERROR_FILE_TOO_LARGE);
            t->fileSize = length;
        } else {
            if (!joinPath(fileName, sizeof fileName, nullptr, name))
                return openFailed(s, t, name, ERROR_FILENAME_EXCED_RANGE);
        }

        if (!joinPath(t->filePath, sizeof t->filePath, directory, fileName))
            return openFailed(s, t, fileName, ERROR_FILENAME_EXCED_RANGE);
        announceFile(s, fileName);
        if (t->aborted) return finish(s, t, kResultRemoteCancel, -1, true);
        DWORD error = 0;
        t->fileHandle = createReceivedFile(t->filePath, &error);
        if (t->fileHandle == INVALID_HANDLE_VALUE) return openFailed(s, t, t->filePath, error);
        t->filePosition = 0;
        reportStatusText(s, kStatusReceivingFile, 0);
        startClock(s);

        if (t->blocks.batchMode) {
            // The file-name block is taken: ask for the data.
            t->blocks.useCrc16 = 1;
            sendByte(s, kAck);
            sendByte(s, startByte(t));
            expected = 1;
            started = false;
            for (LONG attempt = 1; attempt <= tries; attempt++) {
                r = receiveBlock(s, 1, true);
                if (r == kBlockCancel) return finish(s, t, kResultCancelled, kStatusSenderCanceled, false);
                if (r == kBlockNoCarrier || r == kBlockCancelled) return finish(s, t, t->resultCode, -1, true);
                if (isBlock(r)) {
                    started = true;
                    break;
                }
                if (r == kBlockRepeated) sendByte(s, kAck); // the file-name block again
                if (r == kBlockStray || r == kBlockBadNumber) waitForQuiet(s);
                sendByte(s, startByte(t));
            }
            if (!started) return finish(s, t, kResultNoAnswer, kStatusTimeOut, true);
        }

        // The data blocks, r holding the latest.
        for (;;) {
            if (r == kBlockEnd) {
                reportStatusText(s, kStatusCompleted, 0);
                sendByte(s, kAck);
                // The sender's length removes the padding of the last block.
                if (t->blocks.batchMode && t->fileSize != 0) cutFile(t->fileHandle, t->fileSize);
                closeFile(&t->fileHandle);
                if (!t->blocks.batchMode) return 0;
                t->blocks.blockSize = 1024;
                t->blocks.useCrc16 = 1;
                bytes = 0;
                t->fileSize = 0;
                announceFile(s, name);
                if (t->aborted) return finish(s, t, kResultRemoteCancel, -1, true);
                break; // next file
            }
            const LONG size = r == kBlockLong ? 1024 : 128;
            bytes += static_cast<DWORD>(size);
            reportProgress(s, bytes);
            if (t->aborted) return finish(s, t, kResultRemoteCancel, -1, true);
            if (writeToFile(t->fileHandle, t->dataBuffer, static_cast<DWORD>(size)) < static_cast<DWORD>(size))
                return finish(s, t, kResultWriteFailed, kStatusWriteError, true);
            t->filePosition += static_cast<DWORD>(size);
            expected = (expected + 1) & 0xFF;
            if (!t->blocks.streaming) sendByte(s, kAck);

            bool got = false;
            for (LONG attempt = 0; attempt < 10 && !got; attempt++) {
                r = receiveBlock(s, expected, !t->blocks.streaming);
                if (isBlock(r)) {
                    got = true;
                    break;
                }
                switch (r) {
                case kBlockNoCarrier:
                case kBlockCancelled: return finish(s, t, t->resultCode, -1, true);
                case kBlockCancel: return finish(s, t, kResultCancelled, kStatusSenderCanceled, false);
                case kBlockTimeout:
                    countError(s, kStatusTimeOut);
                    // Asks again in case our ACK was lost on the way.
                    if (!t->blocks.streaming) sendByte(s, kNak);
                    break;
                case kBlockRepeated:
                    // Our ACK was lost and the sender repeats the block
                    // we have: acknowledge it again, keep it once.
                    countError(s, kStatusBadBlock);
                    if (t->blocks.streaming) return finish(s, t, kResultBlockErrors, -1, true);
                    sendByte(s, kAck);
                    break;
                default: // bad number, stray byte, bad check
                    if (r != kBlockBadCheck) countError(s, kStatusBadBlock);
                    else countError(s, t->blocks.useCrc16 ? kStatusCrcError : kStatusChecksumError);
                    // A -G transfer cannot repeat a block.
                    if (t->blocks.streaming) return finish(s, t, kResultBlockErrors, -1, true);
                    if (r != kBlockBadCheck) waitForQuiet(s);
                    sendByte(s, kNak);
                    break;
                }
            }
            if (!got) return finish(s, t, kResultNoAnswer, kStatusTimeOut, true);
        }
    }
}

} // namespace

LONG receiveBlock(Session &s, LONG expected, bool repeatAllowed) {
    TransferRecord *t = s.transfer.load();
    if (!t) return kBlockCancelled;
    LONG r = readBlock(s, t, expected, repeatAllowed);
    if (stopRequested(t)) {
        t->resultCode = kResultRemoteCancel;
        countError(s, kStatusReceiverCanceled);
        sendCancelSequence(s);
        waitTicks(s, 72, true);
        purgeInput(s);
        return kBlockCancelled;
    }
    if (carrierAbsent(s)) {
        t->resultCode = kResultCarrierLost;
        countError(s, kStatusLostCarrier);
        return kBlockNoCarrier;
    }
    return r;
}

void waitForQuiet(Session &s, DWORD maxMs) {
    TransferRecord *t = s.transfer.load();
    HWND window = t ? t->progressWindow.load() : nullptr;
    const DWORD start = GetTickCount();
    char junk[1024 + 1];
    for (;;) {
        while (readQueued(s, junk, 1024) > 0) {
        }
        if (GetTickCount() - start >= maxMs) return;
        if (readByteWithin(s, window, 1) < 0) return;
    }
}

LONG receiveBlocks(Session &s, LPCSTR directory, LPCSTR name) {
    TransferRecord *t = s.transfer.load();
    if (!t) return 0;
    LONG r = receiveFiles(s, t, directory, name);
    closeFile(&t->fileHandle);
    // The final ACK (or the cancel) must reach the sender even when the
    // port is closed right after.
    drainOutput(s, kDrainMs);
    return r;
}

} // namespace vorlex
