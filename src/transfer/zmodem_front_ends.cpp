// The interactive Zmodem exports: Func065 sends the files chosen in an
// open dialog as one batch, Func114 receives into a folder chosen in the
// folder browser.
#include "zmodem.h"

#include "file_choice.h"
#include "front_ends.h"
#include "interactive.h"
#include "terminal/directories.h"
#include "transfer_files.h"

namespace vorlex {

namespace {

// Sends the chosen files as one batch: 0, or the result of the file that
// failed (the batch then ends without its closing exchange).
LONG sendChosenBatch(Session &s, TransferRecord *t, char *first) {
    LONG index = 0;
    for (char *name = first; name; index++) {
        char path[sizeof t->pathList + 2];
        if (!joinPath(path, sizeof path, t->pathList, name)) path[0] = '\0';
        LONG result = sendZmodemPath(s, path, name, index);
        if (result) return result;
        char *next = nextSelected(name);
        if (stopRequested(t)) break;
        name = next;
    }
    sendZmodemFile(s, nullptr, -1);
    return 0;
}

} // namespace

LONG zmodemUploadChosen(LONG port, HWND window) {
    PortHold h(port);
    if (!h) return VORLEX_ZMODEM_BAD_PORT;
    h.allowNesting(); // its message loop and callback run the application\'s code
    Session &s = *h;
    LONG result = 0;
    TransferRecord *t = startTransfer(s, window, {VORLEX_ZMODEM_BAD_PORT, VORLEX_ZMODEM_BUSY, VORLEX_ZMODEM_NO_MEMORY},
                                      false, &result);
    if (!t) return result;
    setZmodemSendFields(s, t);
    char *first = nullptr;
    char sendDir[kTerminalDirectorySize], receiveDir[kTerminalDirectorySize];
    terminalDirectories(port, sendDir, receiveDir);
    if (chooseFilesToSend(window, t, "Select A File Or Group Of Files To Upload", false, true, &first, sendDir)) {
        if (t->showWindow && !openProgressWindow(s, window, kTemplateSend, "Zmodem Send"))
            result = VORLEX_ZMODEM_NO_WINDOW;
        else
            result = sendChosenBatch(s, t, first);
    }
    endTransfer(s, window);
    return result;
}

LONG zmodemDownloadChosen(LONG port, HWND window) {
    PortHold h(port);
    if (!h) return VORLEX_ZMODEM_DOWNLOAD_BAD_PORT;
    h.allowNesting(); // its message loop and callback run the application\'s code
    Session &s = *h;
    LONG result = 0;
    TransferRecord *t = startTransfer(
        s, window, {VORLEX_ZMODEM_DOWNLOAD_BAD_PORT, VORLEX_ZMODEM_BUSY, VORLEX_ZMODEM_DOWNLOAD_NO_MEMORY}, true, &result);
    if (!t) return result;
    char sendDir[kTerminalDirectorySize], receiveDir[kTerminalDirectorySize];
    terminalDirectories(port, sendDir, receiveDir);
    if (chooseFolderToReceive(window, t, receiveDir)) {
        if (t->showWindow && !openProgressWindow(s, window, kTemplateReceive, "Zmodem Receive")) {
            sendCancelSequence(s);
            result = VORLEX_ZMODEM_NO_WINDOW;
        } else {
            t->jobKind = kJobZmodemReceivePathList;
            result = runTransferJob(s);
        }
    }
    endTransfer(s, window);
    return result;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func065(LONG port, HWND window) { return zmodemUploadChosen(port, window); }
LONG WINAPI Func114(LONG port, HWND window) { return zmodemDownloadChosen(port, window); }

} // extern "C"
