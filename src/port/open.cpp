// Opening, attaching, closing and detaching ports; time-outs; the debug trace.
#include "port.h"

#include <new>

namespace vorlex {

namespace {

const DWORD kDefaultInQueue = 32640;
const DWORD kDefaultOutQueue = 8192;

// Steps shared by the opens: check the slot, take the record and lock it
// into the slot. 0 or the open result code.
LONG takeRecord(LONG port, PortRecord **out) {
    if (port < 0 || port >= kPortCount) return VORLEX_OPEN_BAD_PORT;
    if (portRecord(port)) return VORLEX_OPEN_ALREADY_OPEN;
    HGLOBAL mem = GlobalAlloc(GMEM_ZEROINIT, sizeof(PortRecord));
    if (!mem) return VORLEX_OPEN_NO_MEMORY;
    void *p = GlobalLock(mem);
    if (!p) {
        GlobalFree(mem);
        return VORLEX_OPEN_NO_MEMORY;
    }
    auto *r = new (p) PortRecord{};
    r->recordMemory = mem;
    setPortRecord(port, r);
    *out = r;
    return 0;
}

void freeRecord(LONG port, PortRecord *r) {
    setPortRecord(port, nullptr);
    HGLOBAL mem = r->recordMemory;
    r->~PortRecord();
    GlobalUnlock(mem);
    GlobalFree(mem);
}

void closeEvents(PortRecord *r) {
    if (r->writeOverlapped.hEvent) {
        CloseHandle(r->writeOverlapped.hEvent);
        r->writeOverlapped.hEvent = nullptr;
    }
    if (r->readOverlapped.hEvent) {
        CloseHandle(r->readOverlapped.hEvent);
        r->readOverlapped.hEvent = nullptr;
    }
}

bool createEvents(PortRecord *r) {
    r->writeOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (r->writeOverlapped.hEvent) r->readOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (r->writeOverlapped.hEvent && r->readOverlapped.hEvent) return true;
    closeEvents(r);
    return false;
}

void formatDeviceName(LONG port, char *name) {
    if (port <= 8)
        wsprintfA(name, "COM%d", static_cast<int>(port + 1));
    else
        wsprintfA(name, "\\\\.\\COM%d", static_cast<int>(port + 1));
}

LONG openPort(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff, LONG dtrDsr) {
    PortRecord *r;
    if (LONG code = takeRecord(port, &r)) return code;
    char name[16];
    formatDeviceName(port, name);
    if (!createEvents(r)) {
        freeRecord(port, r);
        return VORLEX_OPEN_NO_MEMORY;
    }
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, &sa, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        LONG code = err == ERROR_FILE_NOT_FOUND ? VORLEX_OPEN_NO_UART
                    : err == ERROR_ACCESS_DENIED ? VORLEX_OPEN_IN_USE
                                                 : VORLEX_OPEN_BAD_PARAMETERS;
        lastOpenError.store(err);
        closeEvents(r);
        freeRecord(port, r);
        return code;
    }
    r->ownerId = ownerId;
    r->rtsCtsFlow = rtsCts;
    r->xonXoffFlow = xonXoff;
    r->dtrDsrFlow = dtrDsr;
    r->resume = 1;
    r->portHandle = h;
    r->inQueueSize = inQueue;
    r->outQueueSize = outQueue;
    r->transferTimeout = 60;
    SetupComm(h, inQueue, outQueue);
    Func118(port, 5000);
    return VORLEX_OPEN_OK;
}

// Starts the debug trace of a port that has just opened.
void startTrace(LONG port, LONG traceReceive, LONG traceTransmit, LPCSTR file) {
    if (!traceReceive && !traceTransmit) return;
    PortRecord *r = portRecord(port);
    r->traceOn = 1;
    char name[256];
    if (file && file[0] != '\0' && file[0] != ' ') {
        lstrcpynA(name, file, sizeof name); // trace names are at most 255 characters
    } else {
        wsprintfA(name, "debug%d.cap", static_cast<int>(port + 1));
    }
    r->traceReceive = traceReceive;
    r->traceTransmit = traceTransmit;
    r->transferActive = 0;
    Func067(port, 1);
    Func068(port, name);
}

DWORD queueSize(DWORD requested, DWORD fallback) {
    DWORD v = requested & 0xFFFF;
    return v < 128 ? fallback : v;
}

} // namespace

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func041(LONG port, DWORD ownerId) {
    return openPort(port, ownerId, kDefaultInQueue, kDefaultOutQueue, 1, 0, 0);
}

LONG WINAPI Func025(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff, LONG dtrDsr) {
    return openPort(port, ownerId, queueSize(inQueue, kDefaultInQueue), queueSize(outQueue, kDefaultOutQueue), rtsCts,
                    xonXoff, dtrDsr);
}

LONG WINAPI Func076(LONG port, DWORD ownerId, HANDLE handle) {
    PortRecord *r;
    if (LONG code = takeRecord(port, &r)) return code;
    r->portHandle = handle;
    if (!createEvents(r)) {
        freeRecord(port, r);
        return VORLEX_OPEN_NO_MEMORY;
    }
    Func118(port, 5000);
    r->ownerId = ownerId;
    r->rtsCtsFlow = 1;
    r->resume = 1;
    r->inQueueSize = kDefaultInQueue;
    r->outQueueSize = kDefaultOutQueue;
    r->transferTimeout = 60;
    return VORLEX_OPEN_OK;
}

LONG WINAPI Func113(LONG port, DWORD ownerId, LONG traceReceive, LONG traceTransmit, LPCSTR traceFile) {
    LONG code = Func041(port, ownerId);
    if (code == VORLEX_OPEN_OK) startTrace(port, traceReceive, traceTransmit, traceFile);
    return code;
}

LONG WINAPI Func075(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff, LONG dtrDsr,
                    LONG traceReceive, LONG traceTransmit, LPCSTR traceFile) {
    LONG code = Func025(port, ownerId, inQueue, outQueue, rtsCts, xonXoff, dtrDsr);
    if (code == VORLEX_OPEN_OK) startTrace(port, traceReceive, traceTransmit, traceFile);
    return code;
}

LONG WINAPI Func122(LONG port, DWORD ownerId) {
    if (port < 0 || port >= kPortCount) return VORLEX_CLOSE_BAD_PORT;
    PortRecord *r = portRecord(port);
    if (!r) return VORLEX_CLOSE_NOT_OPEN;
    if (r->ownerId != ownerId) return VORLEX_CLOSE_WRONG_OWNER;
    if (r->traceOn) Func067(port, 0);
    PurgeComm(r->portHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    closeEvents(r);
    LONG result = CloseHandle(r->portHandle) ? VORLEX_CLOSE_OK : VORLEX_CLOSE_HANDLE_FAILED;
    freeRecord(port, r);
    return result;
}

void WINAPI Func060(LONG port, DWORD ownerId) {
    PortRecord *r = portRecord(port);
    if (!r || r->ownerId != ownerId) return;
    PurgeComm(r->portHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    closeEvents(r);
    freeRecord(port, r);
}

LONG WINAPI Func118(LONG port, DWORD writeTimeoutMs) {
    PortRecord *r = portRecord(port);
    if (!r) return 0;
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, writeTimeoutMs};
    return SetCommTimeouts(r->portHandle, &t) ? 1 : 0;
}

} // extern "C"
