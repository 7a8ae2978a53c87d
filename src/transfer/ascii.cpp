// ASCII send and receive: the file as a plain byte stream, ended by a SUB
// from the sender, or by silence or a CAN on the line.
#include "blocks.h"

#include "port/port_api.h"
#include "transfer_files.h"

namespace vorlex {

namespace {

constexpr DWORD kDrainMs = 10000;
// Bytes that keep arriving after a send are dropped for at most this long.
constexpr DWORD kQuietMaxMs = 30000;

LONG sendFileAscii(Session &s, TransferRecord *t) {
    t->errorCount = 0;
    reportStatusText(s, kStatusSendingFile, 0);
    startClock(s);
    waitTicks(s, 5, false);
    const LONG size = t->blocks.blockSize;
    const DWORD chunk = size > 0 && size <= 1024 ? static_cast<DWORD>(size) : 1024;
    DWORD sent = 0;
    while (!stopRequested(t)) {
        DWORD n = readFromFile(t->fileHandle, t->dataBuffer, chunk);
        const bool last = n < chunk;
        if (n) putBytes(s, t->dataBuffer, static_cast<LONG>(n));
        if (t->cancelled) break;
        if (carrierAbsent(s)) {
            t->resultCode = kResultCarrierLost;
            countError(s, kStatusLostCarrier);
            return kResultCarrierLost;
        }
        if (readByte(s) == kCan) {
            t->resultCode = kResultRemoteCancel;
            countError(s, kStatusReceiverCanceled);
            return kResultRemoteCancel;
        }
        sent += n;
        reportProgress(s, sent);
        waitTicks(s, 1, false);
        if (last) {
            putByte(s, kSub);
            reportStatusText(s, kStatusCompleted, 0);
            return 0;
        }
    }
    t->resultCode = kResultCancelled;
    countError(s, kStatusSenderCanceled);
    waitTicks(s, 72, true);
    purgeAll(s);
    putByte(s, kSub);
    return kResultCancelled;
}

LONG cancelReceive(Session &s, TransferRecord *t) {
    t->resultCode = kResultRemoteCancel;
    countError(s, kStatusReceiverCanceled);
    sendCancelSequence(s);
    waitTicks(s, 72, true);
    purgeInput(s);
    closeFile(&t->fileHandle);
    return kResultRemoteCancel;
}

LONG receiveFileAscii(Session &s, TransferRecord *t, LPCSTR directory, LPCSTR name) {
    const bool fits = joinPath(t->filePath, sizeof t->filePath, directory, name);
    announceFile(s, name);
    if (t->aborted) {
        t->resultCode = kResultRemoteCancel;
        sendCancelSequence(s);
        return kResultRemoteCancel;
    }
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (fits) t->fileHandle = createReceivedFile(t->filePath, &error);
    if (!fits || t->fileHandle == INVALID_HANDLE_VALUE) {
        showFileError(s, "Download", fits ? t->filePath : name, error);
        t->resultCode = kResultCannotOpen;
        sendCancelSequence(s);
        countError(s, kStatusCouldNotOpen);
        if (t->showWindow)
            waitTicks(s, 72, false);
        else
            showFileErrorAlone(s, "ASCII Download");
        return kResultCannotOpen;
    }
    reportStatusText(s, kStatusReceivingFile, 0);
    startClock(s);
    putByte(s, 0x0D);

    HWND window = t->progressWindow.load();
    LONG b = readByteWithin(s, window, 10);
    if (b < 0) {
        // Nothing came: an empty file.
        closeFile(&t->fileHandle);
        reportStatusText(s, kStatusCompleted, 0);
        return 0;
    }
    if (stopRequested(t)) return cancelReceive(s, t);
    // The first byte is data whatever it is, SUB and CAN included.
    BYTE *buffer = t->dataBuffer;
    DWORD count = 0;
    buffer[count++] = static_cast<BYTE>(b);
    DWORD bytes = 0;
    bool ended = false;
    for (;;) {
        while (!ended && count < 1024) {
            b = readByteWithin(s, window, 4);
            if (b < 0 || b == kCan) {
                ended = true;
                break;
            }
            buffer[count++] = static_cast<BYTE>(b);
            if (b == kSub) ended = true;
            if (t->cancelled) return cancelReceive(s, t);
        }
        bytes += count;
        reportProgress(s, bytes);
        if (t->aborted) return cancelReceive(s, t);
        if (writeToFile(t->fileHandle, buffer, count) < count) {
            t->resultCode = kResultWriteFailed;
            countError(s, kStatusWriteError);
            closeFile(&t->fileHandle);
            return kResultWriteFailed;
        }
        if (carrierAbsent(s)) {
            t->resultCode = kResultCarrierLost;
            countError(s, kStatusLostCarrier);
            closeFile(&t->fileHandle);
            return kResultCarrierLost;
        }
        if (ended) {
            closeFile(&t->fileHandle);
            reportStatusText(s, kStatusCompleted, 0);
            return 0;
        }
        count = 0;
    }
}

} // namespace

LONG sendAscii(Session &s) {
    TransferRecord *t = s.transfer.load();
    if (!t) return 0;
    LONG r = sendFileAscii(s, t);
    // What the other side keeps sending must not reach the terminal.
    waitForQuiet(s, kQuietMaxMs);
    drainOutput(s, kDrainMs);
    return r;
}

LONG receiveAscii(Session &s, LPCSTR directory, LPCSTR name) {
    TransferRecord *t = s.transfer.load();
    if (!t) return 0;
    LONG r = receiveFileAscii(s, t, directory, name);
    closeFile(&t->fileHandle);
    drainOutput(s, kDrainMs);
    return r;
}

} // namespace vorlex
