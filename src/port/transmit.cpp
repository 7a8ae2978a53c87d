// Transmitting: bytes, blocks, CRC-guarded blocks, texts, modem command
// texts, caret notation, queue counts and the cancel sequence.
#include "port.h"

namespace vorlex {

namespace {

// One write on the port's write block, waited for to its end.
DWORD writeBytes(LONG port, PortRecord *r, const void *data, DWORD count) {
    DWORD written = 0;
    if (WriteFile(r->portHandle, data, count, &written, &r->writeOverlapped)) return written;
    if (GetLastError() == ERROR_IO_PENDING) {
        for (;;) {
            if (GetOverlappedResult(r->portHandle, &r->writeOverlapped, &written, TRUE)) return written;
            if (GetLastError() != ERROR_IO_INCOMPLETE) break;
        }
    }
    clearErrors(port, r, nullptr);
    return written;
}

// Multi-byte send results: all, nothing, or minus what went.
LONG sendResult(LONG asked, LONG sent) { return sent == asked ? asked : -sent; }

bool tracingBlock(PortRecord *r) { return r->traceTransmit && !r->transferActive; }

void traceBlock(LONG port, PortRecord *r, const char *bytes, LONG count) {
    if (count > 0) {
        Func004(port, "<O: ");
        Func087(port, bytes, static_cast<DWORD>(count));
        Func072(port, '>');
    }
    r->traceBlock = 0;
}

} // namespace

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func120(LONG port, LONG byte) {
    PortRecord *r = portRecord(port);
    if (!r) return 0;
    const unsigned char b = static_cast<unsigned char>(byte);
    if (writeBytes(port, r, &b, 1) == 0) {
        // Held by flow control for the whole write time-out.
        DWORD errors = 0;
        COMSTAT st{};
        ClearCommError(r->portHandle, &errors, &st);
        if (st.fCtsHold) errors |= 0x0020;
        if (st.fDsrHold) errors |= 0x0040;
        countCommErrors(port, errors);
        return 0;
    }
    if (r->traceTransmit && !r->transferActive && !r->traceBlock) {
        Func004(port, "<O: ");
        Func072(port, b);
        Func072(port, '>');
    }
    return 1;
}

LONG WINAPI Func057(LONG port, LPCSTR buffer, LONG count) {
    PortRecord *r = portRecord(port);
    if (!r || !buffer || count <= 0) return 0;
    const bool trace = tracingBlock(r);
    if (trace) r->traceBlock = 1;
    LONG sent = 0;
    while (sent < count && Func120(port, static_cast<unsigned char>(buffer[sent]))) sent++;
    if (trace) traceBlock(port, r, buffer, sent);
    return sendResult(count, sent);
}

LONG WINAPI Func022(LONG port, LPCSTR buffer, LONG count) {
    PortRecord *r = portRecord(port);
    if (!r || !buffer || count <= 0) return 0;
    DWORD written = writeBytes(port, r, buffer, static_cast<DWORD>(count));
    return sendResult(count, static_cast<LONG>(written));
}

LONG WINAPI Func050(LONG port, LPCSTR buffer, LONG count) {
    PortRecord *r = portRecord(port);
    if (!r) return 0;
    DWORD crc = Func042(buffer, count);
    LONG sent = count > 0 ? Func057(port, buffer, count) : 0;
    if (count > 0 && sent != count) return sent; // 0 or minus the data bytes sent; no CRC
    LONG crcSent = 0;
    while (crcSent < 4 && Func120(port, static_cast<LONG>((crc >> (8 * crcSent)) & 0xFF))) crcSent++;
    LONG total = (count > 0 ? count : 0) + crcSent;
    return crcSent == 4 ? total : -total;
}

LONG WINAPI Func003(LONG port, LPCSTR text) { return Func057(port, text, text ? lstrlenA(text) : 0); }

LONG WINAPI Func038(LONG port, LPCSTR command) {
    PortRecord *r = portRecord(port);
    if (!r || !command) return 0;
    const bool trace = tracingBlock(r);
    if (trace) r->traceBlock = 1;
    LONG sent = 0;
    bool failed = false;
    for (const char *p = command; *p && !failed; p++) {
        LONG out;
        if (*p == '{') {
            out = 0x0D;
        } else if (*p == '^' && p[1] == 'M') {
            out = 0x0D;
            p++;
        } else if (*p == '~') {
            if (Func012(nullptr, 9)) break;
            continue;
        } else {
            out = static_cast<unsigned char>(*p);
        }
        if (Func120(port, out))
            sent++;
        else
            failed = true;
    }
    // The record holds the first characters of the text as given, one per byte sent.
    if (trace) traceBlock(port, r, command, sent);
    return failed && sent ? -sent : sent;
}

LONG WINAPI Func112(LONG port, LPCSTR text) {
    PortRecord *r = portRecord(port);
    if (!r || !text) return 0;
    LONG sent = 0;
    for (const char *p = text; *p; p++) {
        unsigned char out = static_cast<unsigned char>(*p);
        bool last = false;
        if (*p == '^') {
            unsigned char x = static_cast<unsigned char>(*++p);
            if (x == 0) {
                out = 0;
                last = true;
            } else if (x == '[') {
                if (p[1] == '<') {
                    out = 0x7F;
                    p++;
                } else {
                    out = 0x1B;
                }
            } else {
                if (x >= 0x61) x = static_cast<unsigned char>(x - 0x20);
                if (x >= 0x41 && x <= 0x5B) x = static_cast<unsigned char>(x - 0x40);
                out = x;
            }
        }
        if (!Func120(port, out)) return sent ? -sent : 0;
        sent++;
        if (last) break;
    }
    return sent;
}

LONG WINAPI Func086(LONG port) {
    PortRecord *r = portRecord(port);
    COMSTAT st;
    if (!queueStatus(port, st)) return 0;
    // Writes waiting beyond the queue leave no free space, never a negative one.
    return st.cbOutQue >= r->outQueueSize ? 0 : static_cast<LONG>(r->outQueueSize - st.cbOutQue);
}

LONG WINAPI Func117(LONG port) {
    COMSTAT st;
    return queueStatus(port, st) ? static_cast<LONG>(st.cbOutQue) : 0;
}

void WINAPI Func011(LONG port) { clearAndPurge(port, PURGE_TXABORT | PURGE_TXCLEAR); }

LONG WINAPI Func005(LONG port) {
    Func129(port);
    LONG result = 0;
    for (int i = 0; i < 10; i++)
        if (!(result = Func120(port, 0x18))) return result;
    for (int i = 0; i < 10; i++)
        if (!(result = Func120(port, 0x08))) break;
    return result;
}

} // extern "C"
