// The programmatic exports of the ASCII, Xmodem and Ymodem transfers:
// Func069 sends named files (a Ymodem batch file by file), Func123
// receives into a named file or directory.
#include "blocks.h"

#include "front_ends.h"
#include "port/port.h"
#include "transfer_files.h"

#include <cstring>

namespace vorlex {

namespace {

bool blank(LPCSTR text) { return !text || !*text || *text == ' '; }

} // namespace

LPCSTR blockSendTitle(LONG protocol) {
    if (protocol == kProtocolAscii) return "ASCII Send";
    return protocol >= kProtocolYmodem ? "Ymodem Send" : "Xmodem Send";
}

LPCSTR blockReceiveTitle(LONG protocol) {
    if (protocol == kProtocolAscii) return "ASCII Receive";
    return protocol >= kProtocolYmodem ? "Ymodem Receive" : "Xmodem Receive";
}

LONG openBlockFileToSend(LONG port, TransferRecord *t, LPCSTR path, LPCSTR name) {
    DWORD error = 0;
    t->fileSize = 0;
    t->fileTime = 0;
    t->sendPosition = 0;
    t->fileHandle = path ? openFileToSend(path, &t->fileSize, &t->fileTime, &error) : INVALID_HANDLE_VALUE;
    if (t->fileHandle == INVALID_HANDLE_VALUE) {
        if (!path) error = ERROR_FILENAME_EXCED_RANGE;
        showFileError(port, "Upload", path ? path : name, error);
        t->resultCode = kResultCannotOpen;
        announceFile(port, name);
        countError(port, kStatusCouldNotOpen);
        if (t->showWindow)
            waitTicks(port, 36, false);
        else
            showFileErrorAlone(port, "Upload");
        return kResultCannotOpen;
    }
    announceFile(port, name);
    reportStatusText(port, kStatusWaitingForReceiver, 0);
    if (t->aborted) {
        t->resultCode = kResultCancelled;
        return kResultCancelled;
    }
    return 0;
}

LONG runBlockEngine(LONG port, TransferRecord *t, LONG jobKind, LPCSTR jobName) {
    if (t->showWindow) {
        t->jobKind = jobKind;
        t->jobName = jobName;
        return runTransferJob(port);
    }
    t->jobKind = jobKind;
    t->jobName = jobName;
    return runJob(port);
}

bool blockBatchStillOpen(const TransferRecord *t) {
    if (stopRequested(t)) return false;
    switch (t->resultCode) {
    case kResultRemoteCancel:
    case kResultCancelled:
    case kResultNoAnswer:
    case kResultCarrierLost:
    case kResultBlockErrors: return false;
    default: return true;
    }
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func069(LONG port, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName, LONG phase) {
    PortRecord *r = portRecord(port);
    if (!r) return VORLEX_SEND_BAD_PORT;

    if (phase == -1) {
        r->transferActive = 0;
        TransferRecord *t = transferRecord(port);
        if (t && t->batchMode && blockBatchStillOpen(t)) sendBlocks(port, nullptr);
        releaseOwner(port, owner);
        if (!t) return 0;
        closeProgressWindow(port);
        freeTransferRecord(port);
        return 0;
    }

    if (phase == 0) {
        LONG refusal = 0;
        TransferRecord *t = startTransfer(port, owner, {VORLEX_SEND_BAD_PORT, VORLEX_SEND_NO_MEMORY, VORLEX_SEND_NO_MEMORY},
                                          false, &refusal);
        if (!t) return refusal;
        if (!setupProtocol(t, protocol)) {
            // The caller still ends with phase -1, which gives its window back.
            freeTransferRecord(port);
            return VORLEX_SEND_BAD_PROTOCOL;
        }
        if (t->showWindow && !openProgressWindow(port, owner, kTemplateSend, blockSendTitle(protocol))) {
            endTransfer(port, owner);
            return VORLEX_SEND_NO_MEMORY;
        }
        Func129(port);
    }

    TransferRecord *t = transferRecord(port);
    if (!t) return VORLEX_SEND_NO_BATCH;
    t->resultCode = 0;
    char path[MAX_PATH];
    const bool fits = joinPath(path, sizeof path, directory, fileName ? fileName : "");
    LONG result = openBlockFileToSend(port, t, fits ? path : nullptr, fileName ? fileName : "");
    if (result == 0) {
        t->jobIndex = phase;
        result = runBlockEngine(port, t, kJobBlockSend, fileName) ? t->resultCode : 0;
    }
    closeFile(&t->fileHandle);
    t->blockSize = 1024;
    return result;
}

LONG WINAPI Func123(LONG port, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName) {
    LONG result = 0;
    TransferRecord *t = startTransfer(
        port, owner, {VORLEX_RECEIVE_BAD_PORT, VORLEX_RECEIVE_NO_MEMORY, VORLEX_RECEIVE_NO_MEMORY}, false, &result);
    if (!t) return result;
    if (!setupProtocol(t, protocol)) {
        t->resultCode = VORLEX_RECEIVE_BAD_PROTOCOL;
        result = VORLEX_RECEIVE_BAD_PROTOCOL;
    } else if (protocol < kProtocolYmodem && blank(fileName)) {
        result = VORLEX_RECEIVE_NO_NAME;
    } else if (protocol < kProtocolYmodem && std::strlen(fileName) >= sizeof t->pathList) {
        // Never cut into another name.
        t->resultCode = kResultCannotOpen;
        result = kResultCannotOpen;
    } else if (t->showWindow && !openProgressWindow(port, owner, kTemplateReceive, blockReceiveTitle(protocol))) {
        result = VORLEX_RECEIVE_NO_MEMORY;
    } else {
        if (protocol < kProtocolYmodem) std::strcpy(t->pathList, fileName);
        if (protocol != kProtocolAscii) Func129(port);
        LPCSTR into = blank(directory) ? nullptr : directory;
        result = runBlockEngine(port, t, kJobBlockReceiveInto, into) ? t->resultCode : 0;
    }
    endTransfer(port, owner);
    return result;
}

} // extern "C"
