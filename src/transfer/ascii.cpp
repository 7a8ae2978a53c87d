// ASCII send and receive: the file as a plain byte stream, ended by a SUB
// from the sender, or by silence or a CAN on the line.
#include "blocks.h"

#include "port/port.h"
#include "transfer_files.h"

namespace vorlex {

namespace {

constexpr DWORD kDrainMs = 10000;
// Bytes that keep arriving after a send are dropped for at most this long.
constexpr DWORD kQuietMaxMs = 30000;

LONG sendFileAscii(LONG port, TransferRecord *t) {
    t->errorCount = 0;
    reportStatusText(port, kStatusSendingFile, 0);
    startClock(port);
    waitTicks(port, 5, false);
    const DWORD chunk = t->blockSize > 0 && t->blockSize <= 1024 ? static_cast<DWORD>(t->blockSize) : 1024;
    DWORD sent = 0;
    while (!stopRequested(t)) {
        DWORD n = readFromFile(t->fileHandle, t->dataBuffer, chunk);
        const bool last = n < chunk;
        if (n) Func022(port, reinterpret_cast<LPCSTR>(t->dataBuffer), static_cast<LONG>(n));
        if (t->cancelled) break;
        if (carrierAbsent(port)) {
            t->resultCode = kResultCarrierLost;
            countError(port, kStatusLostCarrier);
            return kResultCarrierLost;
        }
        if (Func026(port) == kCan) {
            t->resultCode = kResultRemoteCancel;
            countError(port, kStatusReceiverCanceled);
            return kResultRemoteCancel;
        }
        sent += n;
        reportProgress(port, sent);
        waitTicks(port, 1, false);
        if (last) {
            Func120(port, kSub);
            reportStatusText(port, kStatusCompleted, 0);
            return 0;
        }
    }
    t->resultCode = kResultCancelled;
    countError(port, kStatusSenderCanceled);
    waitTicks(port, 72, true);
    Func129(port);
    Func120(port, kSub);
    return kResultCancelled;
}

LONG cancelReceive(LONG port, TransferRecord *t) {
    t->resultCode = kResultRemoteCancel;
    countError(port, kStatusReceiverCanceled);
    Func005(port);
    waitTicks(port, 72, true);
    Func023(port);
    closeFile(&t->fileHandle);
    return kResultRemoteCancel;
}

LONG receiveFileAscii(LONG port, TransferRecord *t, LPCSTR directory, LPCSTR name) {
    const bool fits = joinPath(t->filePath, sizeof t->filePath, directory, name);
    announceFile(port, name);
    if (t->aborted) {
        t->resultCode = kResultRemoteCancel;
        Func005(port);
        return kResultRemoteCancel;
    }
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (fits) t->fileHandle = createReceivedFile(t->filePath, &error);
    if (!fits || t->fileHandle == INVALID_HANDLE_VALUE) {
        showFileError(port, "Download", fits ? t->filePath : name, error);
        t->resultCode = kResultCannotOpen;
        Func005(port);
        countError(port, kStatusCouldNotOpen);
        if (t->showWindow)
            waitTicks(port, 72, false);
        else
            showFileErrorAlone(port, "ASCII Download");
        return kResultCannotOpen;
    }
    reportStatusText(port, kStatusReceivingFile, 0);
    startClock(port);
    Func120(port, 0x0D);

    HWND window = t->progressWindow.load();
    LONG b = Func110(port, window, 10);
    if (b < 0) {
        // Nothing came: an empty file.
        closeFile(&t->fileHandle);
        reportStatusText(port, kStatusCompleted, 0);
        return 0;
    }
    if (stopRequested(t)) return cancelReceive(port, t);
    // The first byte is data whatever it is, SUB and CAN included.
    BYTE *buffer = t->dataBuffer;
    DWORD count = 0;
    buffer[count++] = static_cast<BYTE>(b);
    DWORD bytes = 0;
    bool ended = false;
    for (;;) {
        while (!ended && count < 1024) {
            b = Func110(port, window, 4);
            if (b < 0 || b == kCan) {
                ended = true;
                break;
            }
            buffer[count++] = static_cast<BYTE>(b);
            if (b == kSub) ended = true;
            if (t->cancelled) return cancelReceive(port, t);
        }
        bytes += count;
        reportProgress(port, bytes);
        if (t->aborted) return cancelReceive(port, t);
        if (writeToFile(t->fileHandle, buffer, count) < count) {
            t->resultCode = kResultWriteFailed;
            countError(port, kStatusWriteError);
            closeFile(&t->fileHandle);
            return kResultWriteFailed;
        }
        if (carrierAbsent(port)) {
            t->resultCode = kResultCarrierLost;
            countError(port, kStatusLostCarrier);
            closeFile(&t->fileHandle);
            return kResultCarrierLost;
        }
        if (ended) {
            closeFile(&t->fileHandle);
            reportStatusText(port, kStatusCompleted, 0);
            return 0;
        }
        count = 0;
    }
}

} // namespace

LONG sendAscii(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 0;
    LONG r = sendFileAscii(port, t);
    // What the other side keeps sending must not reach the terminal.
    waitForQuiet(port, kQuietMaxMs);
    drainTransmitQueue(port, kDrainMs);
    return r;
}

LONG receiveAscii(LONG port, LPCSTR directory, LPCSTR name) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 0;
    LONG r = receiveFileAscii(port, t, directory, name);
    closeFile(&t->fileHandle);
    drainTransmitQueue(port, kDrainMs);
    return r;
}

} // namespace vorlex
