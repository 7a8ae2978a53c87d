// Transmitting: bytes, blocks, CRC-guarded blocks, texts, modem command
// texts, caret notation, queue counts and the cancel sequence.
#include "port/port_api.h"

#include "port/capture.h"
#include "transfer/crc.h"

namespace vorlex {

namespace {

// One write on the port's write block, waited for to its end.
DWORD writeBytes(PortRecord &r, const void *data, DWORD count) {
    DWORD written = 0;
    if (WriteFile(r.portHandle, data, count, &written, &r.writeOverlapped)) return written;
    if (GetLastError() == ERROR_IO_PENDING) {
        for (;;) {
            if (GetOverlappedResult(r.portHandle, &r.writeOverlapped, &written, TRUE)) return written;
            if (GetLastError() != ERROR_IO_INCOMPLETE) break;
        }
    }
    clearErrors(r, nullptr);
    return written;
}

// Multi-byte send results: all, nothing, or minus what went.
LONG sendResult(LONG asked, LONG sent) { return sent == asked ? asked : -sent; }

// A block is traced as one record "<O: " bytes ">", its bytes untraced one by one.
bool startBlockTrace(PortRecord &r) {
    const bool trace = r.traceTransmit && !r.transferActive;
    if (trace) r.traceBlock = 1;
    return trace;
}

void endBlockTrace(Session &s, const char *bytes, LONG count) {
    if (count > 0) {
        captureText(s.port, "<O: ");
        captureBytes(s.port, bytes, static_cast<DWORD>(count));
        captureText(s.port, ">");
    }
    s.rec().traceBlock = 0;
}

} // namespace

bool putByte(Session &s, BYTE b) {
    PortRecord &r = s.rec();
    if (writeBytes(r, &b, 1) == 0) {
        // Held by flow control for the whole write time-out.
        DWORD errors = 0;
        COMSTAT st{};
        ClearCommError(r.portHandle, &errors, &st);
        if (st.fCtsHold) errors |= 0x0020;
        if (st.fDsrHold) errors |= 0x0040;
        countCommErrors(r, errors);
        return false;
    }
    if (r.traceTransmit && !r.transferActive && !r.traceBlock) {
        captureText(s.port, "<O: ");
        captureBytes(s.port, &b, 1);
        captureText(s.port, ">");
    }
    return true;
}

LONG putBytes(Session &s, const void *bytes, LONG count) {
    if (!bytes || count <= 0) return 0;
    DWORD written = writeBytes(s.rec(), bytes, static_cast<DWORD>(count));
    return sendResult(count, static_cast<LONG>(written));
}

LONG putEach(Session &s, const char *bytes, LONG count) {
    if (!bytes || count <= 0) return 0;
    const bool trace = startBlockTrace(s.rec());
    LONG sent = 0;
    while (sent < count && putByte(s, static_cast<BYTE>(bytes[sent]))) sent++;
    if (trace) endBlockTrace(s, bytes, sent);
    return sendResult(count, sent);
}

LONG sendCancelSequence(Session &s) {
    purgeAll(s);
    for (int i = 0; i < 10; i++)
        if (!putByte(s, 0x18)) return 0;
    for (int i = 0; i < 10; i++)
        if (!putByte(s, 0x08)) return 0;
    return 1;
}

DWORD outputCount(Session &s) {
    COMSTAT st;
    clearErrors(s.rec(), &st);
    return st.cbOutQue;
}

void purgeOutput(Session &s) {
    clearErrors(s.rec(), nullptr);
    PurgeComm(s.handle(), PURGE_TXABORT | PURGE_TXCLEAR);
}

void drainOutput(Session &s, DWORD timeoutMs) {
    // Checked every few milliseconds; gives up early when the queue stops
    // shrinking for a second (held by flow control).
    const DWORD start = GetTickCount();
    DWORD lastChange = start;
    DWORD last = outputCount(s);
    while (last > 0) {
        DWORD now = GetTickCount();
        if (now - start >= timeoutMs || now - lastChange >= 1000) return;
        Sleep(2);
        DWORD left = outputCount(s);
        if (left != last) {
            last = left;
            lastChange = GetTickCount();
        }
    }
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func120(LONG port, LONG byte) {
    PortHold h(port);
    return h && putByte(*h, static_cast<BYTE>(byte)) ? 1 : 0;
}

LONG WINAPI Func057(LONG port, LPCSTR buffer, LONG count) {
    PortHold h(port);
    return h ? putEach(*h, buffer, count) : 0;
}

LONG WINAPI Func022(LONG port, LPCSTR buffer, LONG count) {
    PortHold h(port);
    return h ? putBytes(*h, buffer, count) : 0;
}

LONG WINAPI Func050(LONG port, LPCSTR buffer, LONG count) {
    PortHold h(port);
    if (!h) return 0;
    DWORD crc = crc32Of(buffer, count);
    LONG sent = count > 0 ? putEach(*h, buffer, count) : 0;
    if (count > 0 && sent != count) return sent; // 0 or minus the data bytes sent; no CRC
    LONG crcSent = 0;
    while (crcSent < 4 && putByte(*h, static_cast<BYTE>((crc >> (8 * crcSent)) & 0xFF))) crcSent++;
    LONG total = (count > 0 ? count : 0) + crcSent;
    return crcSent == 4 ? total : -total;
}

LONG WINAPI Func003(LONG port, LPCSTR text) {
    PortHold h(port);
    return h ? putEach(*h, text, text ? lstrlenA(text) : 0) : 0;
}

LONG WINAPI Func038(LONG port, LPCSTR command) {
    PortHold h(port);
    if (!h || !command) return 0;
    const bool trace = startBlockTrace(h.rec());
    LONG sent = 0;
    bool failed = false;
    for (const char *p = command; *p && !failed; p++) {
        BYTE out;
        if (*p == '{') {
            out = 0x0D;
        } else if (*p == '^' && p[1] == 'M') {
            out = 0x0D;
            p++;
        } else if (*p == '~') {
            h.allowNesting(); // the pause dispatches messages
            if (tickWait(nullptr, 9, h.rec().stopEvent)) break;
            continue;
        } else {
            out = static_cast<BYTE>(*p);
        }
        if (putByte(*h, out))
            sent++;
        else
            failed = true;
    }
    // The record holds the first characters of the text as given, one per byte sent.
    if (trace) endBlockTrace(*h, command, sent);
    return failed && sent ? -sent : sent;
}

LONG WINAPI Func112(LONG port, LPCSTR text) {
    PortHold h(port);
    if (!h || !text) return 0;
    LONG sent = 0;
    for (const char *p = text; *p; p++) {
        BYTE out = static_cast<BYTE>(*p);
        bool last = false;
        if (*p == '^') {
            BYTE x = static_cast<BYTE>(*++p);
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
                if (x >= 0x61) x = static_cast<BYTE>(x - 0x20);
                if (x >= 0x41 && x <= 0x5B) x = static_cast<BYTE>(x - 0x40);
                out = x;
            }
        }
        if (!putByte(*h, out)) return sent ? -sent : 0;
        sent++;
        if (last) break;
    }
    return sent;
}

LONG WINAPI Func086(LONG port) {
    PortHold h(port);
    if (!h) return 0;
    const DWORD queued = outputCount(*h), size = h.rec().outQueueSize;
    // Writes waiting beyond the queue leave no free space, never a negative one.
    return queued >= size ? 0 : static_cast<LONG>(size - queued);
}

LONG WINAPI Func117(LONG port) {
    PortHold h(port);
    return h ? static_cast<LONG>(outputCount(*h)) : 0;
}

void WINAPI Func011(LONG port) {
    if (PortHold h{port}) purgeOutput(*h);
}

LONG WINAPI Func005(LONG port) {
    PortHold h(port);
    return h ? sendCancelSequence(*h) : 0;
}

} // extern "C"
