// Receiving: single bytes with and without waiting, blocks, printable text,
// text up to a terminator, CRC-guarded blocks, queue tests and purges.
#include "port/port_api.h"

#include "port/capture.h"
#include "transfer/crc.h"

namespace vorlex {

namespace {

// Ends a read that is still in progress so that it never writes into a
// buffer the caller no longer owns; bytes it had already taken are kept.
DWORD finishPendingRead(PortRecord &r, OVERLAPPED *ov = nullptr) {
    if (!ov) ov = &r.readOverlapped;
    DWORD got = 0;
    CancelIoEx(r.portHandle, ov);
    GetOverlappedResult(r.portHandle, ov, &got, TRUE);
    return got;
}

COMMTIMEOUTS anyByteWithin(const COMMTIMEOUTS &base, DWORD ms) {
    // Returns at once with what is queued, else with the first byte that
    // arrives, or with nothing after ms.
    COMMTIMEOUTS t = base;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = ms ? ms : 1;
    return t;
}

// One read on the port's read block, completed as the receive exports do.
DWORD readBytes(PortRecord &r, void *buffer, DWORD count) {
    DWORD got = 0;
    if (ReadFile(r.portHandle, buffer, count, &got, &r.readOverlapped)) return got;
    if (GetLastError() != ERROR_IO_PENDING) return 0;
    if (WaitForSingleObject(r.readOverlapped.hEvent, 1000) == WAIT_OBJECT_0 &&
        GetOverlappedResult(r.portHandle, &r.readOverlapped, &got, FALSE))
        return got;
    return finishPendingRead(r);
}

// Waits up to ms for one byte, dispatching messages; the byte (not traced),
// or -1 when none came. *interrupted tells whether the message pump or a
// close ended the wait.
LONG waitForByte(PortRecord &r, HWND window, DWORD ms, bool *interrupted) {
    *interrupted = false;
    COMMTIMEOUTS saved;
    if (!GetCommTimeouts(r.portHandle, &saved)) return -1;
    COMMTIMEOUTS wait = anyByteWithin(saved, ms);
    if (!SetCommTimeouts(r.portHandle, &wait)) return -1;
    unsigned char byte = 0;
    DWORD got = 0;
    if (!ReadFile(r.portHandle, &byte, 1, &got, &r.readOverlapped)) {
        got = 0;
        if (GetLastError() == ERROR_IO_PENDING) {
            // Keep the thread's windows alive while the read waits. The limit
            // is kept here as well: a driver need not end a read that waits
            // for its first byte at the total time-out (Wine's does not).
            const HANDLE events[2] = {r.readOverlapped.hEvent, r.stopEvent};
            const DWORD start = GetTickCount();
            for (;;) {
                if (pumpMessages(window)) {
                    *interrupted = true;
                    got = finishPendingRead(r);
                    break;
                }
                const DWORD passed = GetTickCount() - start;
                DWORD w = passed >= ms ? WAIT_TIMEOUT
                                       : MsgWaitForMultipleObjects(2, events, FALSE, ms - passed, QS_ALLINPUT);
                if (w == WAIT_OBJECT_0) {
                    if (!GetOverlappedResult(r.portHandle, &r.readOverlapped, &got, FALSE)) got = 0;
                    break;
                }
                if (w != WAIT_OBJECT_0 + 2) {
                    *interrupted = w == WAIT_OBJECT_0 + 1;
                    got = finishPendingRead(r);
                    break;
                }
            }
        }
    }
    SetCommTimeouts(r.portHandle, &saved);
    return got < 1 ? -1 : byte;
}

bool tracingReceive(Session &s) { return s.rec().traceReceive && !s.rec().transferActive; }

void traceByte(Session &s, BYTE b) {
    if (tracingReceive(s)) captureBytes(s.port, &b, 1);
}

} // namespace

void traceReceived(Session &s, const char *text) {
    // As text: the record ends at a received NUL.
    if (tracingReceive(s)) captureText(s.port, text);
}

LONG readByte(Session &s) {
    PortRecord &r = s.rec();
    unsigned char byte;
    DWORD got = 0;
    // The read returns at once with what is queued (the port's time-outs),
    // so it needs no event: the one-byte reads save setting it.
    OVERLAPPED now{};
    if (!ReadFile(r.portHandle, &byte, 1, &got, &now)) {
        // A read that went pending is ended here; a byte it caught is not lost.
        if (GetLastError() != ERROR_IO_PENDING || finishPendingRead(r, &now) < 1) return VORLEX_NO_BYTE;
        got = 1;
    }
    if (got < 1) return VORLEX_NO_BYTE;
    traceByte(s, byte);
    return byte;
}

LONG readByteWithinMs(Session &s, HWND window, DWORD ms) {
    PortRecord &r = s.rec();
    LONG b = readByte(s);
    if (b < 0 && ms > 0) {
        // A byte ends the wait as soon as it arrives.
        bool interrupted;
        b = waitForByte(r, window, ms, &interrupted);
        if (b >= 0) traceByte(s, static_cast<BYTE>(b));
    }
    // Only a mark for the terminal: no fence needed on this hot path.
    r.renotify.store(1, std::memory_order_release);
    return b < 0 ? VORLEX_WAIT_TIMEOUT : b;
}

LONG readByteWithin(Session &s, HWND window, LONG seconds) {
    // seconds x 18 ticks
    return readByteWithinMs(s, window, seconds > 0 ? static_cast<DWORD>(seconds) * 18 * kTickMs : 0);
}

LONG readQueued(Session &s, char *buffer, LONG maximum) {
    PortRecord &r = s.rec();
    COMSTAT st;
    clearErrors(r, &st);
    DWORD want = st.cbInQue;
    if (maximum <= 0)
        want = 0;
    else if (want > static_cast<DWORD>(maximum))
        want = static_cast<DWORD>(maximum);
    DWORD got = want ? readBytes(r, buffer, want) : 0;
    buffer[got] = '\0';
    if (got) traceReceived(s, buffer);
    return static_cast<LONG>(got);
}

DWORD inputCount(Session &s) {
    COMSTAT st;
    clearErrors(s.rec(), &st);
    return st.cbInQue;
}

void purgeInput(Session &s) {
    clearErrors(s.rec(), nullptr);
    PurgeComm(s.handle(), PURGE_RXABORT | PURGE_RXCLEAR);
}

void purgeAll(Session &s) {
    clearErrors(s.rec(), nullptr);
    PurgeComm(s.handle(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func026(LONG port) {
    PortHold h(port);
    return h ? readByte(*h) : VORLEX_NO_BYTE;
}

LONG WINAPI Func110(LONG port, HWND window, LONG seconds) {
    PortHold h(port);
    if (!h) return VORLEX_WAIT_TIMEOUT;
    const LONG b = readByte(*h);
    if (b >= 0 || seconds <= 0) {
        h.rec().renotify.store(1, std::memory_order_release);
        return b < 0 ? VORLEX_WAIT_TIMEOUT : b;
    }
    // Only the wait runs the application's code (its messages).
    h.allowNesting();
    return readByteWithin(*h, window, seconds);
}

LONG WINAPI Func071(LONG port, LPSTR buffer) {
    PortHold h(port);
    if (!h) {
        if (buffer) buffer[0] = '\0';
        return 0;
    }
    if (!buffer) return 0;
    return readQueued(*h, buffer, 0x7FFFFFFF);
}

LONG WINAPI Func015(LONG port, LPSTR buffer, LONG maximum) {
    PortHold h(port);
    return h && buffer ? readQueued(*h, buffer, maximum) : 0;
}

LONG WINAPI Func014(LONG port, LPSTR text) {
    PortHold h(port);
    if (!h || !text) return 0;
    PortRecord &r = h.rec();
    COMSTAT st{};
    DWORD errors;
    ClearCommError(r.portHandle, &errors, &st);
    text[0] = '\0';
    if (st.cbInQue == 0) return 0;
    char raw[512] = {};
    DWORD got = readBytes(r, raw, st.cbInQue >= 512 ? 510 : st.cbInQue);
    if (got == 0) return 0;
    traceReceived(*h, raw);
    LONG n = 0;
    for (DWORD i = 0; i < got; i++) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        if (c >= 0x20 && c <= 0x7E)
            text[n++] = static_cast<char>(c);
        else if (c == 0x0D)
            text[n++] = ' ';
    }
    text[n] = '\0';
    return n;
}

LONG WINAPI Func009(LONG port, LPSTR buffer, LONG terminator) {
    PortHold h(port);
    if (!h || !buffer) return 0;
    h.allowNesting(); // its waits dispatch messages
    PortRecord &r = h.rec();
    COMSTAT st;
    clearErrors(r, &st);
    buffer[0] = '\0';
    if (st.cbInQue == 0) return 0;
    const unsigned char term = static_cast<unsigned char>(terminator);
    LONG n = 0;
    // The buffer holds VORLEX_TERMINATED_MAX bytes with the NUL.
    while (n < VORLEX_TERMINATED_MAX - 1) {
        unsigned char c;
        if (readBytes(r, &c, 1) == 1) {
            if (c == term) break;
            buffer[n++] = static_cast<char>(c);
            continue;
        }
        DWORD errors;
        ClearCommError(r.portHandle, &errors, &st);
        bool interrupted;
        LONG b = waitForByte(r, nullptr, kTickMs, &interrupted);
        if (b >= 0) {
            if (static_cast<unsigned char>(b) == term) break;
            buffer[n++] = static_cast<char>(b);
        }
        if (interrupted) break;
    }
    buffer[n] = '\0';
    traceReceived(*h, buffer);
    return n;
}

LONG WINAPI Func016(LONG port, LPSTR buffer, LONG dataLength) {
    if (!buffer || dataLength < 0 || dataLength > 0x7FFFFFF0) return VORLEX_NO_BYTE;
    PortHold h(port);
    if (!h) return VORLEX_NO_BYTE;
    LONG want = dataLength + 4;
    if (readQueued(*h, buffer, want) != want) return VORLEX_NO_BYTE;
    if (~crc32Of(buffer, want) != 0xDEBB20E3u) return VORLEX_NO_BYTE;
    buffer[dataLength] = '\0';
    return dataLength;
}

LONG WINAPI Func058(LONG port) {
    PortHold h(port);
    return !h || inputCount(*h) == 0 ? 1 : 0;
}

LONG WINAPI Func062(LONG port) {
    PortHold h(port);
    return h ? static_cast<LONG>(inputCount(*h)) : 0;
}

void WINAPI Func129(LONG port) {
    if (PortHold h{port}) purgeAll(*h);
}

void WINAPI Func023(LONG port) {
    if (PortHold h{port}) purgeInput(*h);
}

LONG WINAPI Func130(LONG port, LONG, LONG, LONG, LONG, LONG, LONG) {
    PortHold h(port);
    if (!h) return 0;
    PortRecord &r = h.rec();
    unsigned char scratch;
    DWORD got;
    if (!ReadFile(r.portHandle, &scratch, 1, &got, &r.readOverlapped) && GetLastError() == ERROR_IO_PENDING)
        finishPendingRead(r);
    return 0;
}

} // extern "C"
