// Received bytes on their way to the screen: the comm event thread that
// only posts WM_COMMNOTIFY, the client window's handler that drains the
// port in chunks into the interpreter, and the emulator's window calls.
#include "terminal/terminal.h"

#include "emulation/interpreter.h"
#include "port/capture.h"
#include "port/port_api.h"

#include <algorithm>
#include <cstring>

namespace vorlex {

namespace {

// How often a flood of text reaches the screen.
constexpr DWORD kFrameMs = 20;

void paintNow(TerminalRecord &t) {
    applyPendingScroll(t);
    UpdateWindow(t.clientWindow);
    t.lastPaint = GetTickCount();
}

void postNotify(HWND client, LONG port) {
    if (client) PostMessageA(client, WM_COMMNOTIFY, static_cast<WPARAM>(port), kCommEvent);
}

HWND clientOf(Session &s) {
    TerminalRecord *t = s.terminal.load();
    return t ? t->clientWindow : nullptr;
}

// The event that wakes a comm event thread standing aside for a transfer;
// made once per port number and kept with the session block.
HANDLE readerReturnedEvent(Session &s) {
    HANDLE e = s.readerReturned.load();
    if (e) return e;
    HANDLE made = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!made) return nullptr;
    if (!s.readerReturned.compare_exchange_strong(e, made)) {
        CloseHandle(made);
        return e;
    }
    return made;
}

// The terminal's comm event thread: waits for received characters and
// tells the client window; it never reads. While a transfer has the port
// (comm mask 0, so the wait fails at once) it stands aside until the port
// comes back or reception stops. It holds the port, so a close stops it
// (the pending wait is cancelled) before the record goes.
DWORD WINAPI terminalThread(LPVOID parameter) {
    const LONG port = static_cast<LONG>(reinterpret_cast<INT_PTR>(parameter));
    PortHold h(port);
    if (!h) return 0;
    Session &s = *h;
    PortRecord &r = h.rec();
    while (r.eventThreadRun.load()) {
        DWORD mask = 0;
        const BOOL ok = WaitCommEvent(r.portHandle, &mask, nullptr);
        if (!r.eventThreadRun.load() || s.closing()) break;
        if (ok) {
            if ((mask & EV_RXCHAR) && s.reader.load() == Reader::terminal) postNotify(clientOf(s), port);
            continue;
        }
        HANDLE wake = s.readerReturned.load();
        if (s.reader.load() != Reader::transfer || !wake) break;
        HANDLE waits[2] = {wake, r.stopEvent};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
        // What came while the transfer had the port is the terminal's now.
        if (r.eventThreadRun.load() && s.reader.load() == Reader::terminal) postNotify(clientOf(s), port);
    }
    return 0;
}

// Waits for a thread to end while handling what other threads send here,
// so that a thread procedure that sends to this thread's windows ends too.
void waitForThread(HANDLE thread) {
    for (;;) {
        const DWORD w = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (w != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
}

void matchAutoStartSlot(BYTE *slots, BYTE b) {
    switch (b) {
    case 'r': slots[0] = 'r'; break;
    case 'z': slots[1] = 'z'; break;
    case '\r': slots[2] = '\r'; break;
    case '*': slots[3] = '*'; break;
    default: slots[0] = 0; break;
    }
}

void checkCarrier(LONG port, TerminalRecord &t, Session &s) {
    const LONG c = carrierPresent(s) ? 1 : 0;
    if (c == t.carrierState) return;
    t.carrierState = c;
    if (t.notifyOwner) {
        PostMessageA(t.frameWindow, c ? TERM_CARRIER_ON : TERM_CARRIER_OFF, 0, 0);
        return;
    }
    const int state = c ? 0 : 2;
    setCommandState(port, kCmdHangUp, state, 1);
    setCommandState(port, kCmdUpload, state, 4);
    setCommandState(port, kCmdDownload, state, 3);
}

} // namespace

// Starts (procedure given) or stops the port's comm event thread.
LONG commEventThread(LONG port, bool start, LPTHREAD_START_ROUTINE procedure) {
    PortHold h(port);
    if (!h) return 1;
    PortRecord &r = h.rec();
    if (!start) {
        r.eventThreadRun = 0;
        SetCommMask(r.portHandle, 0);
        if (HANDLE wake = h->readerReturned.load()) SetEvent(wake);
        if (HANDLE thread = r.eventThread.exchange(nullptr)) {
            waitForThread(thread);
            CloseHandle(thread);
        }
        return 0;
    }
    if (HANDLE running = r.eventThread.load()) {
        // A thread whose wait failed has ended on its own: start afresh.
        if (WaitForSingleObject(running, 0) != WAIT_OBJECT_0) return 2;
        CloseHandle(r.eventThread.exchange(nullptr));
    }
    if (!procedure) return 1;
    r.eventThreadRun = 1;
    SetCommMask(r.portHandle, EV_RXCHAR);
    HANDLE thread = CreateThread(nullptr, 0, procedure, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(port)),
                                 CREATE_SUSPENDED, nullptr);
    if (!thread) {
        r.eventThreadRun = 0;
        messageBox(nullptr, "Create Thread", MB_ICONHAND, "%s", "Unable To Create COMM Event Thread!");
        return 1;
    }
    r.eventThread = thread;
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    ResumeThread(thread);
    return 0;
}

namespace {
LONG receiveEvents(LONG port, bool on) {
    PortHold h(port);
    return h ? setReceiveEvents(*h, on) : 1;
}
} // namespace

LONG startReception(LONG port, bool on) {
    if (!validPort(port)) return 1;
    Session &s = sessionAt(port);
    if (on) {
        if (!readerReturnedEvent(s)) return 1;
        if (receiveEvents(port, true) != 0) return 1;
        Reader app = Reader::application;
        s.reader.compare_exchange_strong(app, Reader::terminal);
        if (commEventThread(port, true, terminalThread) != 0) {
            receiveEvents(port, false);
            Reader mine = Reader::terminal;
            s.reader.compare_exchange_strong(mine, Reader::application);
            return 1;
        }
        return 0;
    }
    receiveEvents(port, false);
    commEventThread(port, false, nullptr);
    Reader mine = Reader::terminal;
    s.reader.compare_exchange_strong(mine, Reader::application);
    return 0;
}

LONG pauseReception(LONG port, bool pause) {
    if (!validPort(port)) return 1;
    Session &s = sessionAt(port);
    if (pause) {
        if (PortHold h{port}) pauseReceiveEvents(*h, true);
        commEventThread(port, false, nullptr);
        Reader mine = Reader::terminal;
        s.reader.compare_exchange_strong(mine, Reader::application);
        return 0;
    }
    if (PortHold h{port}) pauseReceiveEvents(*h, false);
    Reader app = Reader::application;
    s.reader.compare_exchange_strong(app, Reader::terminal);
    if (commEventThread(port, true, terminalThread) != 0) return 1;
    postNotify(clientOf(s), port); // what came during the pause
    return 0;
}

void feedChunk(LONG port, const BYTE *bytes, LONG n) {
    TerminalRecord *t = terminalRecord(port);
    if (!t) return;
    TerminalHost host(port, *t);
    EmulatorState &e = t->emu;
    ++t->feeding;
    // The interpreter may take bytes after its own: the index is read anew.
    for (e.chunkIndex = 0; e.chunkIndex < n && !t->endPending; ++e.chunkIndex) {
        const BYTE b = bytes[e.chunkIndex];
        BYTE *slots = t->autoStartMatch;
        if (b == 0x18 && slots[0] == 'r' && slots[1] == 'z' && slots[2] == '\r' && slots[3] == '*') {
            // A Zmodem sender's request: the receiver started for it answers
            // the request repeated; this CAN and the rest are not shown.
            slots[0] = 0;
            PostMessageA(t->frameWindow, TERM_ZMODEM_START, static_cast<WPARAM>(port), 0);
            break;
        }
        matchAutoStartSlot(slots, b);
        e.currentByte = b;
        processByte(e, host);
    }
    --t->feeding;
}

void onCommNotify(LONG port, WPARAM, LPARAM lParam) {
    TerminalRecord *t = terminalRecord(port);
    if (!t) return;
    {
        PortHold h(port);
        if (!h) return;
        // The interpreter's read-ahead runs the application's messages.
        h.allowNesting();
        ++t->feeding;
        ++t->paintDeferred;
        if (!t->emu.readBusy && (lParam & kCommEvent) && h->reader.load() == Reader::terminal) {
            for (;;) {
                const LONG n = readQueued(*h, reinterpret_cast<char *>(t->emu.chunk), kChunkRead);
                t->emu.chunkLength = n;
                if (n > 0) {
                    if (t->emu.stripEighthBit)
                        for (LONG i = 0; i < n; i++) t->emu.chunk[i] &= 0x7F;
                    feedChunk(port, t->emu.chunk, n);
                    if (t->endPending) break;
                    // A frame's worth of text at a time reaches the screen.
                    if (GetTickCount() - t->lastPaint >= kFrameMs) paintNow(*t);
                }
                if (h->closing() || h->reader.load() != Reader::terminal) break;
                // Go on while bytes wait and no message does, or a full chunk
                // waits; an idle line ends the loop (the thread posts again).
                const DWORD queued = inputCount(*h);
                if (queued == 0) break;
                MSG msg;
                if (queued < DWORD(kChunkRead) && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                    // The rest after those messages: a sender held by flow
                    // control sends nothing that would make the thread post.
                    postNotify(t->clientWindow, port);
                    break;
                }
            }
        }
        if (--t->paintDeferred == 0 && !t->endPending) paintNow(*t);
        if (!t->endPending) checkCarrier(port, *t, *h);
        --t->feeding;
    }
    if (t->endPending && t->feeding == 0)
        endTerminal(port);
    else
        flushEchoes(port, *t);
}

// --- the emulator's window --------------------------------------------------

void TerminalHost::invalidateCells(int row, int firstColumn, int lastColumn) {
    if (t_.pendingScroll) {
        t_.dirtyTop = std::min<LONG>(t_.dirtyTop, row);
        t_.dirtyBottom = std::max<LONG>(t_.dirtyBottom, row);
        return;
    }
    RECT r{t_.cellWidth * firstColumn - t_.scrollX, t_.cellHeight * row - t_.scrollY,
           t_.cellWidth * (lastColumn + 1) - t_.scrollX, t_.cellHeight * (row + 1) - t_.scrollY};
    InvalidateRect(t_.clientWindow, &r, FALSE);
}

void TerminalHost::invalidateAll() {
    t_.pendingScroll = 0; // the whole window is painted again anyway
    InvalidateRect(t_.clientWindow, nullptr, FALSE);
}

void TerminalHost::scrollUp() {
    if (!t_.paintDeferred) {
        ScrollWindowEx(t_.clientWindow, 0, -t_.cellHeight, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
        return;
    }
    if (t_.pendingScroll++ == 0) {
        t_.dirtyTop = kScreenRows;
        t_.dirtyBottom = -1;
    } else if (t_.dirtyTop <= t_.dirtyBottom) {
        // The changed rows moved up with the buffer.
        t_.dirtyTop = std::max<LONG>(t_.dirtyTop - 1, 0);
        --t_.dirtyBottom;
    }
}

void TerminalHost::revealRow(int row) {
    if (row <= t_.lastVisibleRow) return;
    applyPendingScroll(t_);
    SendMessageA(t_.clientWindow, WM_VSCROLL, SB_LINEDOWN, 0);
}

void TerminalHost::updateNow() {
    if (t_.paintDeferred) return;
    applyPendingScroll(t_);
    UpdateWindow(t_.clientWindow);
}

void applyPendingScroll(TerminalRecord &t) {
    if (!t.pendingScroll) return;
    const LONG lines = t.pendingScroll;
    t.pendingScroll = 0;
    if (t.cellHeight <= 0 || lines * t.cellHeight >= t.clientHeight) {
        InvalidateRect(t.clientWindow, nullptr, FALSE);
        return;
    }
    ScrollWindowEx(t.clientWindow, 0, -lines * t.cellHeight, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    if (t.dirtyTop <= t.dirtyBottom) {
        RECT r{0, t.cellHeight * t.dirtyTop - t.scrollY, t.clientWidth + t.cellWidth,
               t.cellHeight * (t.dirtyBottom + 1) - t.scrollY};
        InvalidateRect(t.clientWindow, &r, FALSE);
    }
}

void TerminalHost::resetView() {
    t_.scrollX = t_.scrollY = 0;
    SetScrollPos(t_.clientWindow, SB_HORZ, 0, TRUE);
    SetScrollPos(t_.clientWindow, SB_VERT, 0, TRUE);
}

void TerminalHost::placeCaret(int, int) { updateCaret(t_); }

void TerminalHost::beep() { MessageBeep(0); }

void TerminalHost::reply(const char *text) {
    if (PortHold h{port_}) putEach(*h, text, static_cast<LONG>(std::strlen(text)));
}

void TerminalHost::doorWayChanged(bool on) {
    if (t_.notifyOwner)
        PostMessageA(t_.frameWindow, on ? TERM_DOORWAY_ON : TERM_DOORWAY_OFF, 0, 0);
    else if (HMENU menu = GetMenu(t_.frameWindow))
        CheckMenuItem(menu, kCmdDoorWay, on ? MF_CHECKED : MF_UNCHECKED);
}

void TerminalHost::captureByte(BYTE b) {
    if (!captureIsEnabled(port_)) return;
    {
        // The receive trace already writes every byte into the same file.
        PortHold h(port_);
        if (h && h.rec().traceReceive) return;
    }
    captureBytes(port_, &b, 1);
}

void TerminalHost::beginReadAhead() {
    if (PortHold h{port_}) h.rec().renotify.store(0);
}

void TerminalHost::endReadAhead() {
    PortHold h(port_);
    if (h && h.rec().renotify.exchange(0)) postNotify(t_.clientWindow, port_);
}

int TerminalHost::waitByte(DWORD ms) {
    PortHold h(port_);
    if (!h) return -1;
    h.allowNesting();
    const LONG seconds = static_cast<LONG>((ms + 999) / 1000);
    const LONG b = readByteWithin(*h, t_.frameWindow, seconds);
    return b < 0 ? -1 : b;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func020(LONG port, LONG start, LPTHREAD_START_ROUTINE procedure) {
    return commEventThread(port, start != 0, procedure);
}

LONG WINAPI Func119(LONG port, LONG on) { return startReception(port, on != 0); }

void WINAPI Func097(LONG port, LONG resume) {
    if (!terminalOpen(port)) return;
    TerminalRecord *t = terminalRecord(port);
    if (pauseReception(port, resume == 0) != 0 && t) PostMessageA(t->frameWindow, WM_CLOSE, 0, 0);
    if (t) t->autoStartMatch[0] = t->autoStartMatch[1] = t->autoStartMatch[2] = 0;
}

} // extern "C"
