// Receiving: single bytes with and without waiting, blocks, printable text,
// text up to a terminator, CRC-guarded blocks, queue tests and purges.
#include "port.h"

namespace vorlex {

namespace {

// Ends a read that is still in progress so that it never writes into a
// buffer the caller no longer owns; bytes it had already taken are kept.
DWORD finishPendingRead(PortRecord *r) {
    DWORD got = 0;
    CancelIoEx(r->portHandle, &r->readOverlapped);
    GetOverlappedResult(r->portHandle, &r->readOverlapped, &got, TRUE);
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

} // namespace

DWORD readBytes(PortRecord *r, void *buffer, DWORD count) {
    DWORD got = 0;
    if (ReadFile(r->portHandle, buffer, count, &got, &r->readOverlapped)) return got;
    if (GetLastError() != ERROR_IO_PENDING) return 0;
    if (WaitForSingleObject(r->readOverlapped.hEvent, 1000) == WAIT_OBJECT_0 &&
        GetOverlappedResult(r->portHandle, &r->readOverlapped, &got, FALSE))
        return got;
    return finishPendingRead(r);
}

void traceReceived(LONG port, PortRecord *r, const char *bytes) {
    if (r->traceReceive && !r->transferActive) Func004(port, bytes);
}

LONG waitForByte(LONG port, PortRecord *r, HWND window, DWORD ms, bool *interrupted) {
    *interrupted = false;
    COMMTIMEOUTS saved;
    if (!GetCommTimeouts(r->portHandle, &saved)) return -1;
    COMMTIMEOUTS wait = anyByteWithin(saved, ms);
    if (!SetCommTimeouts(r->portHandle, &wait)) return -1;
    unsigned char byte = 0;
    DWORD got = 0;
    if (!ReadFile(r->portHandle, &byte, 1, &got, &r->readOverlapped)) {
        got = 0;
        if (GetLastError() == ERROR_IO_PENDING) {
            // Keep the thread's windows alive while the read waits. The limit
            // is kept here as well: a driver need not end a read that waits
            // for its first byte at the total time-out (Wine's does not).
            const DWORD start = GetTickCount();
            for (;;) {
                if (pumpMessages(window)) {
                    *interrupted = true;
                    got = finishPendingRead(r);
                    break;
                }
                const DWORD passed = GetTickCount() - start;
                DWORD w = passed >= ms ? WAIT_TIMEOUT
                                       : MsgWaitForMultipleObjects(1, &r->readOverlapped.hEvent, FALSE, ms - passed,
                                                                   QS_ALLINPUT);
                if (w == WAIT_OBJECT_0) {
                    if (!GetOverlappedResult(r->portHandle, &r->readOverlapped, &got, FALSE)) got = 0;
                    break;
                }
                if (w != WAIT_OBJECT_0 + 1) {
                    got = finishPendingRead(r);
                    break;
                }
            }
        }
    }
    SetCommTimeouts(r->portHandle, &saved);
    return got < 1 ? -1 : byte;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func026(LONG port) {
    PortRecord *r = portRecord(port);
    if (!r) return VORLEX_NO_BYTE;
    unsigned char byte;
    DWORD got = 0;
    if (!ReadFile(r->portHandle, &byte, 1, &got, &r->readOverlapped)) {
        // A read that went pending is ended here; a byte it caught is not lost.
        if (GetLastError() != ERROR_IO_PENDING || finishPendingRead(r) < 1) return VORLEX_NO_BYTE;
        got = 1;
    }
    if (got < 1) return VORLEX_NO_BYTE;
    if (r->traceReceive && !r->transferActive) Func072(port, byte);
    return byte;
}

LONG WINAPI Func110(LONG port, HWND window, LONG seconds) {
    PortRecord *r = portRecord(port);
    if (!r) return VORLEX_WAIT_TIMEOUT;
    LONG b = Func026(port);
    if (b < 0 && seconds > 0) {
        // seconds x 18 ticks, but a byte ends the wait as soon as it arrives.
        bool interrupted;
        b = waitForByte(port, r, window, static_cast<DWORD>(seconds) * 18 * kTickMs, &interrupted);
        if (b >= 0 && r->traceReceive && !r->transferActive) Func072(port, b);
    }
    // Only a mark for the terminal: no fence needed on this hot path.
    r->renotify.store(1, std::memory_order_release);
    return b < 0 ? VORLEX_WAIT_TIMEOUT : b;
}

LONG WINAPI Func071(LONG port, LPSTR buffer) {
    PortRecord *r = portRecord(port);
    if (!r) {
        if (buffer) buffer[0] = '\0';
        return 0;
    }
    if (!buffer) return 0;
    COMSTAT st;
    clearErrors(port, r, &st);
    DWORD got = 0;
    if (st.cbInQue) got = readBytes(r, buffer, st.cbInQue);
    buffer[got] = '\0';
    if (got) traceReceived(port, r, buffer);
    return static_cast<LONG>(got);
}

LONG WINAPI Func015(LONG port, LPSTR buffer, LONG maximum) {
    PortRecord *r = portRecord(port);
    if (!r || !buffer) return 0;
    COMSTAT st;
    clearErrors(port, r, &st);
    DWORD want = st.cbInQue;
    if (maximum <= 0)
        want = 0;
    else if (want > static_cast<DWORD>(maximum))
        want = static_cast<DWORD>(maximum);
    DWORD got = want ? readBytes(r, buffer, want) : 0;
    buffer[got] = '\0';
    if (got) traceReceived(port, r, buffer);
    return static_cast<LONG>(got);
}

LONG WINAPI Func014(LONG port, LPSTR text) {
    PortRecord *r = portRecord(port);
    if (!r || !text) return 0;
    COMSTAT st{};
    DWORD errors;
    ClearCommError(r->portHandle, &errors, &st);
    text[0] = '\0';
    if (st.cbInQue == 0) return 0;
    char raw[512] = {};
    DWORD got = readBytes(r, raw, st.cbInQue >= 512 ? 510 : st.cbInQue);
    if (got == 0) return 0;
    traceReceived(port, r, raw);
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
    PortRecord *r = portRecord(port);
    if (!r || !buffer) return 0;
    COMSTAT st;
    clearErrors(port, r, &st);
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
        ClearCommError(r->portHandle, &errors, &st);
        bool interrupted;
        LONG b = waitForByte(port, r, nullptr, kTickMs, &interrupted);
        if (b >= 0) {
            if (static_cast<unsigned char>(b) == term) break;
            buffer[n++] = static_cast<char>(b);
        }
        if (interrupted) break;
    }
    buffer[n] = '\0';
    traceReceived(port, r, buffer);
    return n;
}

LONG WINAPI Func016(LONG port, LPSTR buffer, LONG dataLength) {
    if (!buffer || dataLength < 0 || dataLength > 0x7FFFFFF0) return VORLEX_NO_BYTE;
    LONG want = dataLength + 4;
    if (Func015(port, buffer, want) != want) return VORLEX_NO_BYTE;
    if (~Func042(buffer, want) != 0xDEBB20E3u) return VORLEX_NO_BYTE;
    buffer[dataLength] = '\0';
    return dataLength;
}

LONG WINAPI Func058(LONG port) {
    COMSTAT st;
    return !queueStatus(port, st) || st.cbInQue == 0 ? 1 : 0;
}

LONG WINAPI Func062(LONG port) {
    COMSTAT st;
    return queueStatus(port, st) ? static_cast<LONG>(st.cbInQue) : 0;
}

void WINAPI Func129(LONG port) { clearAndPurge(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR); }

void WINAPI Func023(LONG port) { clearAndPurge(port, PURGE_RXABORT | PURGE_RXCLEAR); }

LONG WINAPI Func130(LONG port, LONG, LONG, LONG, LONG, LONG, LONG) {
    PortRecord *r = portRecord(port);
    if (!r) return 0;
    unsigned char scratch;
    DWORD got;
    if (!ReadFile(r->portHandle, &scratch, 1, &got, &r->readOverlapped) && GetLastError() == ERROR_IO_PENDING)
        finishPendingRead(r);
    return 0;
}

} // extern "C"
