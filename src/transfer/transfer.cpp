// The transfer table and record, the status texts, the reporting
// operations that every engine calls, the tick wait, and the worker thread.
#include "transfer.h"

#include "port/port.h"
#include "progress_window.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace vorlex {

namespace {

std::atomic<TransferRecord *> g_transfers[kPortCount];

// The dialog is shown and still there: reports go to it.
HWND shownWindow(const TransferRecord *t) {
    if (!t->showWindow || t->cancelled) return nullptr;
    return t->progressWindow.load();
}

void callBack(LONG port, TransferRecord *t, VorlexProgressCallback callback) {
    LONG stop = callback(port, static_cast<LONG>(t->reportNameLength), t->reportNamePointer, t->reportFileSize,
                         t->reportBytes, t->reportCps, t->reportErrors, t->reportStatus);
    t->aborted = stop ? 1 : 0;
}

VorlexProgressCallback callbackOf(LONG port) {
    PortRecord *r = portRecord(port);
    return r ? r->progressCallback : nullptr;
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

TransferRecord *transferRecord(LONG port) {
    if (port < 0 || port >= kPortCount) return nullptr;
    return g_transfers[port].load(std::memory_order_acquire);
}

TransferRecord *createTransferRecord(LONG port) {
    PortRecord *r = portRecord(port);
    if (!r || transferRecord(port)) return nullptr;
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
    t->showWindow = r->noProgressWindow ? 0 : 1;
    g_transfers[port].store(t, std::memory_order_release);
    return t;
}

void freeTransferRecord(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    g_transfers[port].store(nullptr, std::memory_order_release);
    if (t->fileHandle != INVALID_HANDLE_VALUE && t->fileHandle) CloseHandle(t->fileHandle);
    HGLOBAL memory = t->memoryHandle;
    t->~TransferRecord();
    GlobalUnlock(memory);
    GlobalFree(memory);
}

void holdOwner(LONG port, HWND owner) {
    // Keeps the terminal from reading the port while the engine does.
    Func116(port, 1);
    disableOwnerWindow(owner);
}

TransferRecord *startTransfer(LONG port, HWND owner, const StartRefusals &refusals, bool tellSender, LONG *refusal) {
    PortRecord *r = portRecord(port);
    if (!r) {
        *refusal = refusals.badPort;
        return nullptr;
    }
    if (transferRecord(port)) {
        *refusal = refusals.busy;
        return nullptr;
    }
    r->transferActive = 1;
    TransferRecord *t = createTransferRecord(port);
    if (!t) {
        if (tellSender) Func005(port);
        r->transferActive = 0;
        *refusal = refusals.noMemory;
        return nullptr;
    }
    holdOwner(port, owner);
    return t;
}

void releaseOwner(LONG port, HWND owner) {
    enableOwnerWindow(owner);
    Func116(port, 0);
}

LONG runJob(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 0;
    const bool ascii = t->protocol == 0;
    switch (t->jobKind) {
    case kJobZmodemReceivePathList: return receiveZmodemFiles(port, t->pathList);
    case kJobZmodemReceiveJobName: return receiveZmodemFiles(port, t->jobName);
    case kJobZmodemSend: return sendZmodemFile(port, t->jobName, t->jobIndex);
    case kJobBlockReceive:
        return ascii ? receiveAscii(port, t->pathList, t->jobName) : receiveBlocks(port, t->pathList, t->jobName);
    case kJobBlockReceiveInto:
        return ascii ? receiveAscii(port, t->jobName, t->pathList) : receiveBlocks(port, t->jobName, t->pathList);
    case kJobBlockSend: return ascii ? sendAscii(port) : sendBlocks(port, t->jobName);
    default: return 0;
    }
}

DWORD WINAPI transferThread(LPVOID param) {
    const LONG port = static_cast<LONG>(reinterpret_cast<INT_PTR>(param));
    TransferRecord *t = transferRecord(port);
    if (!t) return 0;
    t->threadResult = runJob(port);
    HWND window = t->progressWindow.load();
    if (!t->cancelled && window) PostMessageA(window, kTransferDoneMessage, 0, 0);
    // Last act: from here on the front-end may free the record.
    t->threadHandle.store(nullptr);
    return 0;
}

LONG startTransferThread(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 1;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, transferThread, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(port)),
                                 CREATE_SUSPENDED, &id);
    if (!thread) {
        Func033(nullptr, "Create Thread", MB_ICONHAND, "%s", "Unable To Create Progress Window Thread!");
        return 1;
    }
    t->threadHandle.store(thread);
    SetThreadPriority(thread, THREAD_PRIORITY_NORMAL);
    ResumeThread(thread);
    return 0;
}

LONG runTransferJob(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 0;
    if (!t->showWindow) return runJob(port);
    if (startTransferThread(port)) {
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
            dispatchTransferMessage(port, &msg);
        }
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (quit) PostQuitMessage(quitCode);
    return t->threadResult;
}

void endTransfer(LONG port, HWND owner) {
    // The owner first, so that it takes the activation back when the
    // progress window goes.
    releaseOwner(port, owner);
    closeProgressWindow(port);
    freeTransferRecord(port);
    if (owner && IsWindow(owner)) SetFocus(owner);
    if (PortRecord *r = portRecord(port)) r->transferActive = 0;
}

void reportStatusText(LONG port, LONG index, LONG errors) {
    TransferRecord *t = transferRecord(port);
    if (!t || index < 0 || index >= kStatusCount) return;
    if (HWND window = shownWindow(t)) {
        if (errors != 0) setProgressNumber(window, kControlErrors, errors, true);
        setProgressText(window, kControlStatus, statusTexts[index]);
    }
    VorlexProgressCallback callback = callbackOf(port);
    if (callback && !t->aborted) {
        t->reportErrors = static_cast<DWORD>(errors);
        t->reportStatus = index + 2;
        callBack(port, t, callback);
    }
}

void countError(LONG port, LONG index) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    t->errorCount++;
    reportStatusText(port, index, t->errorCount);
}

void reportProgress(LONG port, DWORD bytes) {
    TransferRecord *t = transferRecord(port);
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
    VorlexProgressCallback callback = callbackOf(port);
    if (callback && !t->aborted) {
        t->reportBytes = bytes;
        t->reportCps = speed;
        callBack(port, t, callback);
    }
}

void announceFile(LONG port, LPCSTR name) {
    TransferRecord *t = transferRecord(port);
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
    VorlexProgressCallback callback = callbackOf(port);
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
        callBack(port, t, callback);
    }
}

void pollCallback(LONG port) {
    TransferRecord *t = transferRecord(port);
    if (!t) return;
    VorlexProgressCallback callback = callbackOf(port);
    if (callback && !t->aborted) callBack(port, t, callback);
}

void startClock(LONG port) {
    if (TransferRecord *t = transferRecord(port)) t->startTicks = GetTickCount();
}

LONG waitTicks(LONG port, LONG ticks, bool force) {
    TransferRecord *t = transferRecord(port);
    if (!t) return 0;
    HWND window = t->progressWindow.load();
    if (!force && (t->cancelled || (t->showWindow && !window))) return 0;
    if (force || !window || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        return Func012(window, ticks);
    // The worker thread: the window's messages go to the front-end, so a
    // cancel is seen here only through the flag, looked at every tick.
    for (LONG i = 0; i < ticks; i++) {
        if (t->cancelled) return 1;
        if (Func012(nullptr, 1)) return 1;
    }
    return 0;
}

void drainTransmitQueue(LONG port, DWORD timeoutMs) {
    // Checked every few milliseconds; gives up early when the queue stops
    // shrinking for a second (held by flow control).
    const DWORD start = GetTickCount();
    DWORD lastChange = start;
    LONG last = Func117(port);
    while (last > 0) {
        DWORD now = GetTickCount();
        if (now - start >= timeoutMs || now - lastChange >= 1000) return;
        Sleep(2);
        LONG left = Func117(port);
        if (left != last) {
            last = left;
            lastChange = GetTickCount();
        }
    }
}

} // namespace vorlex
