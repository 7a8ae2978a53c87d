// The transfer table and record, the status texts, the reporting
// operations that every engine calls, the tick wait, and the worker thread.
#include "transfer.h"

#include "progress_window.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace vorlex {

namespace {

// The dialog is shown and still there: reports go to it.
HWND shownWindow(const TransferRecord *t) {
    if (!t->showWindow || t->cancelled) return nullptr;
    return t->progressWindow.load();
}

void callBack(Session &s, TransferRecord *t, VorlexProgressCallback callback) {
    LONG stop = callback(s.port, static_cast<LONG>(t->reportNameLength), t->reportNamePointer, t->reportFileSize,
                         t->reportBytes, t->reportCps, t->reportErrors, t->reportStatus);
    t->aborted = stop ? 1 : 0;
}

VorlexProgressCallback callbackOf(Session &s) { return s.rec().progressCallback; }

// The zero-filled record in the port's slot. Null when there is no memory.
TransferRecord *createTransferRecord(Session &s) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kTransferRecordBytes);
    if (!memory) return nullptr;
    void *block = GlobalLock(memory);
    if (!block) {
        GlobalFree(memory);
        return nullptr;
    }
    auto *t = new (block) TransferRecord{};
    t->memoryHandle = memory;
    t->fileHandle = INVALID_HANDLE_VALUE;
    t->reportNamePointer = t->reportName;
    t->showWindow = s.rec().noProgressWindow ? 0 : 1;
    s.transfer.store(t);
    return t;
}

} // namespace

void freeTransferRecord(Session &s) {
    TransferRecord *t = s.transfer.exchange(nullptr);
    if (!t) return;
    if (t->fileHandle != INVALID_HANDLE_VALUE && t->fileHandle) CloseHandle(t->fileHandle);
    HGLOBAL memory = t->memoryHandle;
    t->~TransferRecord();
    GlobalUnlock(memory);
    GlobalFree(memory);
}

namespace {

DWORD WINAPI transferThread(LPVOID param) {
    Session &s = *static_cast<Session *>(param);
    TransferRecord *t = s.transfer.load();
    t->threadResult = runJob(s);
    HWND window = t->progressWindow.load();
    if (!t->cancelled && window) PostMessageA(window, kTransferDoneMessage, 0, 0);
    // Last act: from here on the front-end may free the record.
    t->threadHandle.store(nullptr);
    return 0;
}

// 0 started, 1 failed.
LONG startTransferThread(Session &s) {
    TransferRecord *t = s.transfer.load();
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, transferThread, &s, CREATE_SUSPENDED, &id);
    if (!thread) {
        messageBox(nullptr, "Create Thread", MB_ICONHAND, "%s", "Unable To Create Progress Window Thread!");
        return 1;
    }
    t->threadHandle.store(thread);
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    ResumeThread(thread);
    return 0;
}

} // namespace

const char *const statusTexts[kStatusCount] = {
    "Transfer Canceled",     "Receiver Canceled", "Time Out",         "Unknown Error",
    "CRC Error",             "Sender Canceled",   "Long Packet",      "Too Many Errors",
    "Bad File Position",     "Could Not Open File", "Waiting For Receiver", "Sending ZRQINIT",
    "Sending Filename",      "Sending File",      "Waiting For FileName", "Receiving File",
    "Lost Carrier",          "Retransmitting Block", "Transfer Completed", "Bad Block",
    "Checksum Error",        "Error Writing To File", "No Response to NAK",
};

TransferRecord *startTransfer(Session &s, HWND owner, const StartRefusals &refusals, bool tellSender, LONG *refusal) {
    if (!takePortForTransfer(s)) {
        *refusal = refusals.busy;
        return nullptr;
    }
    TransferRecord *t = createTransferRecord(s);
    if (!t) {
        if (tellSender) sendCancelSequence(s);
        givePortBack(s);
        *refusal = refusals.noMemory;
        return nullptr;
    }
    disableOwnerWindow(owner);
    return t;
}

LONG runJob(Session &s) {
    TransferRecord *t = s.transfer.load();
    const bool ascii = t->protocol == 0;
    switch (t->jobKind) {
    case kJobZmodemReceivePathList: return receiveZmodemFiles(s, t->pathList);
    case kJobZmodemReceiveJobName: return receiveZmodemFiles(s, t->jobName);
    case kJobZmodemSend: return sendZmodemFile(s, t->jobName, t->jobIndex);
    case kJobBlockReceive:
        return ascii ? receiveAscii(s, t->pathList, t->jobName) : receiveBlocks(s, t->pathList, t->jobName);
    case kJobBlockReceiveInto:
        return ascii ? receiveAscii(s, t->jobName, t->pathList) : receiveBlocks(s, t->jobName, t->pathList);
    case kJobBlockSend: return ascii ? sendAscii(s) : sendBlocks(s, t->jobName);
    default: return 0;
    }
}

LONG runTransferJob(Session &s) {
    TransferRecord *t = s.transfer.load();
    if (!t->showWindow) return runJob(s);
    if (startTransferThread(s)) {
        // Without a worker the transfer cannot run.
        t->threadResult = kResultCancelled;
        t->resultCode = kResultCancelled;
        return t->threadResult;
    }
    HANDLE thread = t->threadHandle.load();
    // The progress window lives on this thread: dispatch its messages (the
    // worker's field updates among them) until the worker has ended. Its
    // end message, or the window's on destruction, only wakes this loop.
    // The record is freed only after that.
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        DWORD w = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        if (w != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Stop the worker; the quit stays for the application's loop.
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                t->cancelled = 1;
                t->aborted = 1;
                continue;
            }
            dispatchTransferMessage(s, &msg);
        }
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (quit) PostQuitMessage(quitCode);
    return t->threadResult;
}

void endTransfer(Session &s, HWND owner) {
    // The owner first, so that it takes the activation back when the
    // progress window goes.
    enableOwnerWindow(owner);
    if (!s.closing()) givePortBack(s);
    closeProgressWindow(s);
    freeTransferRecord(s);
    if (owner && IsWindow(owner)) SetFocus(owner);
}

void reportStatusText(Session &s, LONG index, LONG errors) {
    TransferRecord *t = s.transfer.load();
    if (!t || index < 0 || index >= kStatusCount) return;
    if (HWND window = shownWindow(t)) {
        if (errors != 0) setProgressNumber(window, kControlErrors, errors, true);
        setProgressText(window, kControlStatus, statusTexts[index]);
    }
    VorlexProgressCallback callback = callbackOf(s);
    if (callback && !t->aborted) {
        t->reportErrors = static_cast<DWORD>(errors);
        t->reportStatus = index + 2;
        callBack(s, t, callback);
    }
}

void countError(Session &s, LONG index) {
    TransferRecord *t = s.transfer.load();
    if (!t) return;
    t->errorCount++;
    reportStatusText(s, index, t->errorCount);
}

void reportProgress(Session &s, DWORD bytes) {
    TransferRecord *t = s.transfer.load();
    if (!t) return;
    // Nothing for the first second; then bytes over the time to the
    // millisecond, not over whole seconds (which would overstate the
    // speed by up to half in the second second).
    const DWORD ms = GetTickCount() - t->startTicks;
    const DWORD speed = ms >= 1000 ? static_cast<DWORD>(static_cast<unsigned long long>(bytes) * 1000 / ms) : 0;
    if (HWND window = shownWindow(t)) {
        setProgressNumber(window, kControlBytes, static_cast<LONG>(bytes), false);
        setProgressNumber(window, kControlCps, static_cast<LONG>(speed), false);
        if (t->fileSize != 0) setProgressBar(t->progressBar.load(), t->fileSize > 100 ? bytes / 100 : bytes);
    }
    VorlexProgressCallback callback = callbackOf(s);
    if (callback && !t->aborted) {
        t->reportBytes = bytes;
        t->reportCps = speed;
        callBack(s, t, callback);
    }
}

void announceFile(Session &s, LPCSTR name) {
    TransferRecord *t = s.transfer.load();
    if (!t) return;
    if (HWND window = shownWindow(t)) {
        setProgressText(window, kControlFileName, name ? name : " ");
        setProgressText(window, kControlBytes, " ");
        setProgressText(window, kControlErrors, " ");
        setProgressText(window, kControlStatus, " ");
        setProgressText(window, kControlCps, " ");
        if (t->fileSize)
            setProgressNumber(window, kControlFileSize, static_cast<LONG>(t->fileSize), false);
        else
            setProgressText(window, kControlFileSize, " ");
        if (t->fileSize) {
            t->progressScale = t->fileSize > 100 ? t->fileSize / 100 : t->fileSize;
            setProgressRange(t->progressBar.load(), t->progressScale);
        }
    }
    VorlexProgressCallback callback = callbackOf(s);
    if (callback) {
        // Told even after a stop, so that the application sees every file.
        const char *text = name ? name : "";
        size_t n = std::strlen(text);
        if (n >= sizeof t->reportName) n = sizeof t->reportName - 1;
        std::memcpy(t->reportName, text, n);
        t->reportName[n] = '\0';
        t->reportNameLength = static_cast<DWORD>(n);
        t->reportFileSize = t->fileSize;
        t->reportBytes = 0;
        t->reportCps = 0;
        t->reportErrors = 0;
        t->reportStatus = 1;
        callBack(s, t, callback);
    }
}

void pollCallback(Session &s) {
    TransferRecord *t = s.transfer.load();
    if (!t) return;
    VorlexProgressCallback callback = callbackOf(s);
    if (callback && !t->aborted) callBack(s, t, callback);
}

void startClock(Session &s) {
    if (TransferRecord *t = s.transfer.load()) t->startTicks = GetTickCount();
}

LONG waitTicks(Session &s, LONG ticks, bool force) {
    TransferRecord *t = s.transfer.load();
    if (!t) return 0;
    const HANDLE stop = s.rec().stopEvent;
    HWND window = t->progressWindow.load();
    if (!force && (t->cancelled || (t->showWindow && !window))) return 0;
    if (force || !window || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        return tickWait(window, ticks, stop);
    // The worker thread: the window's messages go to the front-end, so a
    // cancel is seen here only through the flag, looked at every tick.
    for (LONG i = 0; i < ticks; i++) {
        if (t->cancelled) return 1;
        if (tickWait(nullptr, 1, stop)) return 1;
    }
    return 0;
}

} // namespace vorlex
