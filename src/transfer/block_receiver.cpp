// The Xmodem and Ymodem receiver: asks for the file with "C", NAK or "G",
// takes the blocks, acknowledges them and writes them to disk; Ymodem
// takes a batch, each file announced by its file-name block.
#include "blocks.h"

#include "crc.h"
#include "port/port.h"
#include "transfer_files.h"

#include <cstring>

#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif

namespace vorlex {

namespace {

constexpr DWORD kDrainMs = 10000;

// Exactly n bytes into dst (which has room for one more, the NUL that
// Func015 stores): all that is queued in one read, the rest waited for a
// byte at a time, seconds each. Bulk reads never take more than the block
// holds, so the bytes after it stay queued as with single-byte reads.
bool readExact(LONG port, HWND window, BYTE *dst, LONG n, LONG seconds) {
    LONG got = 0;
    while (got < n) {
        LONG queued = Func015(port, reinterpret_cast<LPSTR>(dst + got), n - got);
        got += queued;
        if (got >= n) break;
        if (queued > 0 && queued < 16 && n - got > 64) {
            // The line is slower than we are: let a few bytes gather
            // instead of waking for each one. The last ones are taken as
            // they come, so the block's end is not delayed.
            Sleep(1);
            continue;
        }
        LONG b = Func110(port, window, seconds);
        if (b < 0) return false;
        dst[got++] = static_cast<BYTE>(b);
    }
    return true;
}

LONG readBlock(LONG port, TransferRecord *t, LONG expected, bool repeatAllowed) {
    HWND window = t->progressWindow.load();
    // A second at a time, so that a cancel or a lost carrier is seen at once.
    LONG first = -1;
    for (LONG s = t->protocol == kProtocolXmodem ? 10 : 6; s > 0 && first < 0; s--) {
        first = Func110(port, window, 1);
        if (first < 0 && (stopRequested(t) || carrierAbsent(port))) break;
    }
    if (first < 0) return kBlockTimeout;
    LONG size;
    switch (first) {
    case kSoh: size = 128; break;
    case kStx: size = 1024; break;
    case kEot: return kBlockEnd;
    case kCan: {
        LONG second = Func110(port, window, 10);
        if (second == kCan) return kBlockCancel;
        return second < 0 ? kBlockTimeout : kBlockStray;
    }
    default: return kBlockStray;
    }

    // number, complement, data, check (+ the NUL of Func015)
    BYTE frame[2 + 1024 + 2 + 1];
    if (!readExact(port, window, frame, 2, 5)) return kBlockTimeout;
    const BYTE want = static_cast<BYTE>(expected);
    const BYTE previous = static_cast<BYTE>(expected - 1);
    const bool good = frame[0] == want && frame[1] == 255 - want;
    const bool repeated = !good && repeatAllowed && frame[0] == previous && frame[1] == 255 - previous;
    if (!good && !repeated) return kBlockBadNumber;
    if (!readExact(port, window, frame + 2, size + 1, 5)) return kBlockTimeout;
    if (t->useCrc16 && !readExact(port, window, frame + 3 + size, 1, 2)) return kBlockTimeout;

    const BYTE *data = frame + 2;
    if (t->useCrc16) {
        uint16_t crc = 0;
        for (LONG i = 0; i < size; i++) crc = crc16Update(crc, data[i]);
        if (crc != ((data[size] << 8) | data[size + 1])) {
            countError(port, kStatusCrcError);
            return kBlockBadCheck;
        }
    } else {
        BYTE sum = 0;
        for (LONG i = 0; i < size; i++) sum = static_cast<BYTE>(sum + data[i]);
        if (sum != data[size]) {
            countError(port, kStatusChecksumError);
            return kBlockBadCheck;
        }
    }
    if (repeated) return kBlockRepeated;
    std::memcpy(t->dataBuffer, data, static_cast<size_t>(size));
    return size == 128 ? kBlockShort : kBlockLong;
}

bool isBlock(LONG r) { return r == kBlockShort || r == kBlockLong || r == kBlockEnd; }

void sendByte(LONG port, BYTE b) { Func120(port, b); }

// The start byte of a file, and the re-asking after a failed attempt.
BYTE startByte(const TransferRecord *t) { return t->streaming ? kAskStream : kAskCrc; }

// Ends the receive with a result: cancel sequence when asked, file closed.
LONG finish(LONG port, TransferRecord *t, LONG result, LONG status, bool cancel) {
    t->resultCode = result;
    if (status >= 0) countError(port, status);
    if (cancel) Func005(port);
    closeFile(&t->fileHandle);
    return result;
}

// A file that cannot be opened, or a name that is refused: nothing written.
LONG openFailed(LONG port, TransferRecord *t, LPCSTR path, DWORD error) {
    showFileError(port, "Download", path, error);
    t->resultCode = kResultCannotOpen;
    Func005(port);
    countError(port, kStatusCouldNotOpen);
    waitTicks(port, 72, false);
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

LONG receiveFiles(LONG port, TransferRecord *t, LPCSTR directory, LPCSTR name) {
    const LONG tries = transferSeconds(port) / 6;
    t->useCrc16 = 1;
    DWORD bytes = 0;
    t->fileSize = 0;
    announceFile(port, name);
    if (t->aborted) return finish(port, t, kResultRemoteCancel, -1, true);

    for (;;) {
        // A file starts.
        sendByte(port, startByte(t));
        LONG expected = t->batchMode ? 0 : 1;
        LONG r = kBlockTimeout;
        bool started = false;
        for (LONG attempt = 1; attempt <= tries; attempt++) {
            r = receiveBlock(port, expected, false);
            if (r == kBlockCancel) return finish(port, t, kResultCancelled, kStatusSenderCanceled, false);
            if (r == kBlockNoCarrier || r == kBlockCancelled) return t->resultCode;
            if (r == kBlockEnd && t->batchMode) {
                // The last file's EOT again: the sender missed our ACK.
                sendByte(port, kAck);
                sendByte(port, startByte(t));
                continue;
            }
            if (isBlock(r)) {
                started = true;
                break;
            }
            reportStatusText(port, kStatusNoResponseToNak, t->errorCount);
            if (r == kBlockStray || r == kBlockBadNumber) waitForQuiet(port);
            if (t->protocol == kProtocolXmodem) {
                if (attempt == 1) {
                    sendByte(port, kAskCrc);
                } else {
                    sendByte(port, kNak);
                    t->useCrc16 = 0;
                }
            } else {
                sendByte(port, startByte(t));
            }
        }
        if (!started) return finish(port, t, kResultNoAnswer, kStatusTimeOut, true);

        char fileName[256];
        if (t->batchMode) {
            const LONG size = r == kBlockLong ? 1024 : 128;
            if (t->dataBuffer[0] == 0) {
                // The empty file-name block ends the batch.
                sendByte(port, kAck);
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
                return openFailed(port, t, shown, error);
            }
            DWORD length = 0;
            if (!sentLength(t->dataBuffer, size, &length)) return openFailed(port, t, fileName, ERROR_FILE_TOO_LARGE);
            t->fileSize = length;
        } else {
            if (!joinPath(fileName, sizeof fileName, nullptr, name))
                return openFailed(port, t, name, ERROR_FILENAME_EXCED_RANGE);
        }

        if (!joinPath(t->filePath, sizeof t->filePath, directory, fileName))
            return openFailed(port, t, fileName, ERROR_FILENAME_EXCED_RANGE);
        announceFile(port, fileName);
        if (t->aborted) return finish(port, t, kResultRemoteCancel, -1, true);
        DWORD error = 0;
        t->fileHandle = createReceivedFile(t->filePath, &error);
        if (t->fileHandle == INVALID_HANDLE_VALUE) return openFailed(port, t, t->filePath, error);
        t->filePosition = 0;
        reportStatusText(port, kStatusReceivingFile, 0);
        startClock(port);

        if (t->batchMode) {
            // The file-name block is taken: ask for the data.
            t->useCrc16 = 1;
            sendByte(port, kAck);
            sendByte(port, startByte(t));
            expected = 1;
            started = false;
            for (LONG attempt = 1; attempt <= tries; attempt++) {
                r = receiveBlock(port, 1, true);
                if (r == kBlockCancel) return finish(port, t, kResultCancelled, kStatusSenderCanceled, false);
                if (r == kBlockNoCarrier || r == kBlockCancelled) return finish(port, t, t->resultCode, -1, true);
                if (isBlock(r)) {
                    started = true;
                    break;
                }
                if (r == kBlockRepeated) sendByte(port, kAck); // the file-name block again
                if (r == kBlockStray || r == kBlockBadNumber) waitForQuiet(port);
                sendByte(port, startByte(t));
            }
            if (!started) return finish(port, t, kResultNoAnswer, kStatusTimeOut, true);
        }

        // The data blocks, r holding the latest.
        for (;;) {
            if (r == kBlockEnd) {
                reportStatusText(port, kStatusCompleted, 0);
                sendByte(port, kAck);
                // The sender's length removes the padding of the last block.
                if (t->batchMode && t->fileSize != 0) cutFile(t->fileHandle, t->fileSize);
                closeFile(&t->fileHandle);
                if (!t->batchMode) return 0;
                t->blockSize = 1024;
                t->useCrc16 = 1;
                bytes = 0;
                t->fileSize = 0;
                announceFile(port, name);
                if (t->aborted) return finish(port, t, kResultRemoteCancel, -1, true);
                break; // next file
            }
            const LONG size = r == kBlockLong ? 1024 : 128;
            bytes += static_cast<DWORD>(size);
            reportProgress(port, bytes);
            if (t->aborted) return finish(port, t, kResultRemoteCancel, -1, true);
            if (writeToFile(t->fileHandle, t->dataBuffer, static_cast<DWORD>(size)) < static_cast<DWORD>(size))
                return finish(port, t, kResultWriteFailed, kStatusWriteError, true);
            t->filePosition += static_cast<DWORD>(size);
            expected = (expected + 1) & 0xFF;
            if (!t->streaming) sendByte(port, kAck);

            bool got = false;
            for (LONG attempt = 0; attempt < 10 && !got; attempt++) {
                r = receiveBlock(port, expected, !t->streaming);
                if (isBlock(r)) {
                    got = true;
                    break;
                }
                switch (r) {
                case kBlockNoCarrier:
                case kBlockCancelled: return finish(port, t, t->resultCode, -1, true);
                case kBlockCancel: return finish(port, t, kResultCancelled, kStatusSenderCanceled, false);
                case kBlockTimeout:
                    countError(port, kStatusTimeOut);
                    // Asks again in case our ACK was lost on the way.
                    if (!t->streaming) sendByte(port, kNak);
                    break;
                case kBlockRepeated:
                    // Our ACK was lost and the sender repeats the block
                    // we have: acknowledge it again, keep it once.
                    countError(port, kStatusBadBlock);
                    if (t->streaming) return finish(port, t, kResultBlockErrors, -1, true);
                    sendByte(port, kAck);
                    break;
                default: // bad number, stray byte, bad check
                    if (r != kBlockBadCheck) countError(port, kStatusBadBlock);
                    else countError(port, t->useCrc16 ? kStatusCrcError : kStatusChecksumError);
                    // A -G transfer cannot repeat a block.
                    if (t->streaming) return finish(port, t, kResultBlockErrors, -1, true);
                    if (r != kBlockBadCheck) waitForQuiet(port);
                    sendByte(port, kNak);
                    break;
                }
            }
            if (!got) return finish(port, t, kResultNoAnswer, kStatusTimeOut, true);
        }
    }
}

} // namespace

LONG receiveBlock(LONG port, LONG expected, bool repeatAllowed) {
    TransferRecord *t = transferRecord(port);
    if (!t) return kBlockCancelled;
    LONG r = readBlock(port, t, expected, repeatAllowed);
    if (stopRequested(t)) {
        t->resultCode = kResultRemoteCancel;
        countError(port, kStatusReceiverCanceled);
        Func005(port);
        waitTicks(port, 72, true);
        Func023(port);
        return kBlockCancelled;
    }
    if (carrierAbsent(port)) {
        t->resultCode = kResultCarrierLost;
        countError(port, kStatusLostCarrier);
        return kBlockNoCarrier;
    }
    return r;
}

void waitForQuiet(LONG port, DWORD maxMs) {
    TransferRecord *t = transferRecord(port);
    HWND window = t ? t->progressWindow.load() : nullptr;
    const DWORD start = GetTickCount();
    char junk[1024 + 1];
    for (;;) {
        while (Func015(port, junk, 1024) > 0) {
        }
        if (GetTickCount() - start >= maxMs) return;
        if (Func110(port, window, 1) < 0) return;
    }
}

LONG receiveBlocks(LONG port, LPCSTR directory, LPCSTR name) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 0;
    LONG r = receiveFiles(port, t, directory, name);
    closeFile(&t->fileHandle);
    // The final ACK (or the cancel) must reach the sender even when the
    // port is closed right after.
    drainTransmitQueue(port, kDrainMs);
    return r;
}

} // namespace vorlex
