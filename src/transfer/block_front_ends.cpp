// The interactive exports of the ASCII, Xmodem and Ymodem transfers:
// Func079 sends the files chosen in an open dialog (several for Ymodem),
// Func047 receives into a file chosen in a save dialog, or for Ymodem into
// a folder chosen in the folder browser.
#include "blocks.h"

#include "file_choice.h"
#include "front_ends.h"
#include "interactive.h"
#include "terminal/directories.h"
#include "transfer_files.h"

namespace vorlex {

namespace {

// Sends the chosen files in turn; 0, or the result of the file that failed.
LONG sendChosenFiles(Session &s, TransferRecord *t, char *first) {
    for (char *name = first; name;) {
        char path[sizeof t->pathList + 2];
        const bool fits = joinPath(path, sizeof path, t->pathList, name);
        LONG result = openBlockFileToSend(s, t, fits ? path : nullptr, name);
        if (result == 0) result = runBlockEngine(s, t, kJobBlockSend, name) ? t->resultCode : 0;
        closeFile(&t->fileHandle);
        if (result) return result;
        if (!t->blocks.batchMode) return 0;
        char *next = nextSelected(name);
        if (stopRequested(t) || !next) {
            // The receiver waits for the next name: the empty one ends the batch.
            sendBlocks(s, nullptr);
            return 0;
        }
        t->blocks.blockSize = 1024;
        name = next;
    }
    return 0;
}

} // namespace

LONG blockUploadChosen(LONG port, HWND owner, LONG protocol) {
    char sendDir[kTerminalDirectorySize], receiveDir[kTerminalDirectorySize];
    terminalDirectories(port, sendDir, receiveDir);
    PortHold h(port);
    if (!h) return VORLEX_SEND_BAD_PORT;
    h.allowNesting(); // its message loop and callback run the application\'s code
    Session &s = *h;
    LONG result = 0;
    TransferRecord *t = startTransfer(s, owner, {VORLEX_SEND_BAD_PORT, VORLEX_SEND_NO_MEMORY, VORLEX_SEND_NO_MEMORY},
                                      false, &result);
    if (!t) return result;
    char *first = nullptr;
    if (!setupProtocol(t, protocol)) {
        t->resultCode = VORLEX_SEND_BAD_PROTOCOL;
        result = VORLEX_SEND_BAD_PROTOCOL;
    } else if (chooseFilesToSend(owner, t,
                                 t->blocks.batchMode ? "Select A File Or Group Of Files To Upload" : "Select A File To Upload",
                                 protocol == kProtocolAscii, t->blocks.batchMode != 0, &first, sendDir) &&
               first) {
        if (t->showWindow && !openProgressWindow(s, owner, kTemplateSend, blockSendTitle(protocol)))
            result = VORLEX_SEND_NO_MEMORY;
        else
            result = sendChosenFiles(s, t, first);
    }
    endTransfer(s, owner);
    return result;
}

LONG blockDownloadChosen(LONG port, HWND owner, LONG protocol) {
    char sendDir[kTerminalDirectorySize], receiveDir[kTerminalDirectorySize];
    terminalDirectories(port, sendDir, receiveDir);
    PortHold h(port);
    if (!h) return VORLEX_RECEIVE_DIALOG_BAD_PORT;
    h.allowNesting(); // its message loop and callback run the application\'s code
    Session &s = *h;
    LONG result = 0;
    TransferRecord *t = startTransfer(
        s, owner, {VORLEX_RECEIVE_DIALOG_BAD_PORT, VORLEX_RECEIVE_NO_MEMORY, VORLEX_RECEIVE_NO_MEMORY}, false, &result);
    if (!t) return result;
    bool chosen = false;
    char *name = nullptr; // Ymodem: the names come from the sender
    if (!setupProtocol(t, protocol)) {
        t->resultCode = VORLEX_RECEIVE_BAD_PROTOCOL;
        result = VORLEX_RECEIVE_BAD_PROTOCOL;
    } else if (t->blocks.batchMode) {
        chosen = chooseFolderToReceive(owner, t, receiveDir);
    } else {
        name = chooseFileToReceive(owner, t, blockReceiveTitle(protocol), protocol == kProtocolAscii, receiveDir);
        chosen = name != nullptr;
    }
    if (chosen) {
        if (t->showWindow && !openProgressWindow(s, owner, kTemplateReceive, blockReceiveTitle(protocol)))
            result = VORLEX_RECEIVE_NO_MEMORY;
        else
            result = runBlockEngine(s, t, kJobBlockReceive, name) ? t->resultCode : 0;
    }
    endTransfer(s, owner);
    return result;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func079(LONG port, HWND owner, LONG protocol) { return blockUploadChosen(port, owner, protocol); }
LONG WINAPI Func047(LONG port, HWND owner, LONG protocol) { return blockDownloadChosen(port, owner, protocol); }

} // extern "C"
