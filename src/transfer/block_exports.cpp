// The programmatic exports of the ASCII, Xmodem and Ymodem transfers:
// Func069 sends named files (a Ymodem batch file by file), Func123
// receives into a named file or directory.
#include "blocks.h"

#include "front_ends.h"
#include "services/text_utils.h"
#include "transfer_files.h"

#include <cstring>

namespace vorlex {

namespace {



} // namespace

LPCSTR blockSendTitle(LONG protocol) {
    if (protocol == kProtocolAscii) return "ASCII Send";
    return protocol >= kProtocolYmodem ? "Ymodem Send" : "Xmodem Send";
}

LPCSTR blockReceiveTitle(LONG protocol) {
    if (protocol == kProtocolAscii) return "ASCII Receive";
    return protocol >= kProtocolYmodem ? "Ymodem Receive" : "Xmodem Receive";
}

LONG openBlockFileToSend(Session &s, TransferRecord *t, LPCSTR path, LPCSTR name) {
    DWORD error = 0;
    t->fileSize = 0;
    t->fileTime = 0;
    t->sendPosition = 0;
    t->fileHandle = path ? openFileToSend(path, &t->fileSize, &t->fileTime, &error) : INVALID_HANDLE_VALUE;
    if (t->fileHandle == INVALID_HANDLE_VALUE) {
        if (!path) error = ERROR_FILENAME_EXCED_RANGE;
        showFileError(s, "Upload", path ? path : name, error);
        t->resultCode = kResultCannotOpen;
        announceFile(s, name);
        countError(s, kStatusCouldNotOpen);
        if (t->showWindow)
            waitTicks(s, 36, false);
        else
            showFileErrorAlone(s, "Upload");
        return kResultCannotOpen;
    }
    announceFile(s, name);
    reportStatusText(s, kStatusWaitingForReceiver, 0);
    if (t->aborted) {
        t->resultCode = kResultCancelled;
        return kResultCancelled;
    }
    return 0;
}

LONG runBlockEngine(Session &s, TransferRecord *t, LONG jobKind, LPCSTR jobName) {
    if (t->showWindow) {
        t->jobKind = jobKind;
        t->jobName = jobName;
        return runTransferJob(s);
    }
    t->jobKind = jobKind;
    t->jobName = jobName;
    return runJob(s);
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

LONG blockBatchFile(Session &s, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName, LONG phase) {

    if (phase == -1) {
        // The closing block is traced like the application's own bytes.
        s.rec().transferActive = 0;
        TransferRecord *t = s.transfer.load();
        if (t && t->blocks.batchMode && blockBatchStillOpen(t)) sendBlocks(s, nullptr);
        endTransfer(s, owner);
        return 0;
    }

    if (phase == 0) {
        LONG refusal = 0;
        TransferRecord *t = startTransfer(s, owner, {VORLEX_SEND_BAD_PORT, VORLEX_SEND_NO_MEMORY, VORLEX_SEND_NO_MEMORY},
                                          false, &refusal);
        if (!t) return refusal;
        if (!setupProtocol(t, protocol)) {
            // The caller still ends with phase -1, which gives its window back.
            freeTransferRecord(s);
            return VORLEX_SEND_BAD_PROTOCOL;
        }
        if (t->showWindow && !openProgressWindow(s, owner, kTemplateSend, blockSendTitle(protocol))) {
            endTransfer(s, owner);
            return VORLEX_SEND_NO_MEMORY;
        }
        purgeAll(s);
    }

    TransferRecord *t = s.transfer.load();
    if (!t) return VORLEX_SEND_NO_BATCH;
    t->resultCode = 0;
    char path[MAX_PATH];
    const bool fits = joinPath(path, sizeof path, directory, fileName ? fileName : "");
    LONG result = openBlockFileToSend(s, t, fits ? path : nullptr, fileName ? fileName : "");
    if (result == 0) {
        t->jobIndex = phase;
        result = runBlockEngine(s, t, kJobBlockSend, fileName) ? t->resultCode : 0;
    }
    closeFile(&t->fileHandle);
    t->blocks.blockSize = 1024;
    // A port closed meanwhile ends the batch here: no later call can reach it.
    if (s.closing()) endTransfer(s, owner);
    return result;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func069(LONG port, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName, LONG phase) {
    PortHold h(port);
    h.allowNesting();
    return h ? blockBatchFile(*h, owner, protocol, directory, fileName, phase) : VORLEX_SEND_BAD_PORT;
}

LONG WINAPI Func123(LONG port, HWND owner, LONG protocol, LPCSTR directory, LPCSTR fileName) {
    PortHold h(port);
    if (!h) return VORLEX_RECEIVE_BAD_PORT;
    h.allowNesting(); // its message loop and callback run the application\'s code
    Session &s = *h;
    LONG result = 0;
    TransferRecord *t = startTransfer(
        s, owner, {VORLEX_RECEIVE_BAD_PORT, VORLEX_RECEIVE_NO_MEMORY, VORLEX_RECEIVE_NO_MEMORY}, false, &result);
    if (!t) return result;
    if (!setupProtocol(t, protocol)) {
        t->resultCode = VORLEX_RECEIVE_BAD_PROTOCOL;
        result = VORLEX_RECEIVE_BAD_PROTOCOL;
    } else if (protocol < kProtocolYmodem && isBlankText(fileName)) {
        result = VORLEX_RECEIVE_NO_NAME;
    } else if (protocol < kProtocolYmodem && std::strlen(fileName) >= sizeof t->pathList) {
        // Never cut into another name.
        t->resultCode = kResultCannotOpen;
        result = kResultCannotOpen;
    } else if (t->showWindow && !openProgressWindow(s, owner, kTemplateReceive, blockReceiveTitle(protocol))) {
        result = VORLEX_RECEIVE_NO_MEMORY;
    } else {
        if (protocol < kProtocolYmodem) std::strcpy(t->pathList, fileName);
        if (protocol != kProtocolAscii) purgeAll(s);
        LPCSTR into = isBlankText(directory) ? nullptr : directory;
        result = runBlockEngine(s, t, kJobBlockReceiveInto, into) ? t->resultCode : 0;
    }
    endTransfer(s, owner);
    return result;
}

} // extern "C"
