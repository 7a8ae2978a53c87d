// Opening, attaching, closing and detaching ports; time-outs; the debug trace.
#include "port/port_api.h"

#include "port/capture.h"

namespace vorlex {

namespace {

const DWORD kDefaultInQueue = 32640;
const DWORD kDefaultOutQueue = 8192;

void formatDeviceName(LONG port, char *name) {
    if (port <= 8)
        wsprintfA(name, "COM%d", static_cast<int>(port + 1));
    else
        wsprintfA(name, "\\\\.\\COM%d", static_cast<int>(port + 1));
}

bool setWriteTimeout(HANDLE handle, DWORD writeTimeoutMs) {
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, writeTimeoutMs};
    return SetCommTimeouts(handle, &t) != FALSE;
}

LONG openPort(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff, LONG dtrDsr) {
    PortRecord *r;
    if (LONG code = installPortRecord(port, &r)) return code;
    char name[16];
    formatDeviceName(port, name);
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, &sa, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        LONG code = err == ERROR_FILE_NOT_FOUND ? VORLEX_OPEN_NO_UART
                    : err == ERROR_ACCESS_DENIED ? VORLEX_OPEN_IN_USE
                                                 : VORLEX_OPEN_BAD_PARAMETERS;
        lastOpenError.store(err);
        discardPortRecord(port);
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
    setWriteTimeout(h, 5000);
    publishPortRecord(port);
    return VORLEX_OPEN_OK;
}

// Starts the debug trace of a port that has just opened.
void startTrace(LONG port, LONG traceReceive, LONG traceTransmit, LPCSTR file) {
    if (!traceReceive && !traceTransmit) return;
    PortHold h(port);
    if (!h) return;
    PortRecord *r = &h.rec();
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
    captureOn(port);
    captureToFile(port, name);
}

DWORD queueSize(DWORD requested, DWORD fallback) {
    DWORD v = requested & 0xFFFF;
    return v < 128 ? fallback : v;
}

} // namespace

LONG openPortDefault(LONG port, DWORD ownerId) {
    return openPort(port, ownerId, kDefaultInQueue, kDefaultOutQueue, 1, 0, 0);
}

LONG closePort(LONG port, DWORD ownerId) {
    if (!validPort(port)) return VORLEX_CLOSE_BAD_PORT;
    LONG traceOn;
    {
        PortHold h(port);
        if (!h) return VORLEX_CLOSE_NOT_OPEN;
        if (h.rec().ownerId != ownerId) return VORLEX_CLOSE_WRONG_OWNER;
        traceOn = h.rec().traceOn;
    }
    if (traceOn) captureOff(port);
    return closeSession(sessionAt(port), false) ? VORLEX_CLOSE_OK : VORLEX_CLOSE_HANDLE_FAILED;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func041(LONG port, DWORD ownerId) { return openPortDefault(port, ownerId); }

LONG WINAPI Func025(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff, LONG dtrDsr) {
    return openPort(port, ownerId, queueSize(inQueue, kDefaultInQueue), queueSize(outQueue, kDefaultOutQueue), rtsCts,
                    xonXoff, dtrDsr);
}

LONG WINAPI Func076(LONG port, DWORD ownerId, HANDLE handle) {
    PortRecord *r;
    if (LONG code = installPortRecord(port, &r)) return code;
    r->portHandle = handle;
    setWriteTimeout(handle, 5000);
    r->ownerId = ownerId;
    r->rtsCtsFlow = 1;
    r->resume = 1;
    r->inQueueSize = kDefaultInQueue;
    r->outQueueSize = kDefaultOutQueue;
    r->transferTimeout = 60;
    publishPortRecord(port);
    return VORLEX_OPEN_OK;
}

LONG WINAPI Func113(LONG port, DWORD ownerId, LONG traceReceive, LONG traceTransmit, LPCSTR traceFile) {
    LONG code = openPort(port, ownerId, kDefaultInQueue, kDefaultOutQueue, 1, 0, 0);
    if (code == VORLEX_OPEN_OK) startTrace(port, traceReceive, traceTransmit, traceFile);
    return code;
}

LONG WINAPI Func075(LONG port, DWORD ownerId, DWORD inQueue, DWORD outQueue, LONG rtsCts, LONG xonXoff, LONG dtrDsr,
                    LONG traceReceive, LONG traceTransmit, LPCSTR traceFile) {
    LONG code = openPort(port, ownerId, queueSize(inQueue, kDefaultInQueue), queueSize(outQueue, kDefaultOutQueue),
                         rtsCts, xonXoff, dtrDsr);
    if (code == VORLEX_OPEN_OK) startTrace(port, traceReceive, traceTransmit, traceFile);
    return code;
}

LONG WINAPI Func122(LONG port, DWORD ownerId) { return closePort(port, ownerId); }

void WINAPI Func060(LONG port, DWORD ownerId) {
    {
        PortHold h(port);
        if (!h || h.rec().ownerId != ownerId) return;
    }
    closeSession(sessionAt(port), true);
}

LONG WINAPI Func118(LONG port, DWORD writeTimeoutMs) {
    PortHold h(port);
    return h && setWriteTimeout(h.rec().portHandle, writeTimeoutMs) ? 1 : 0;
}

} // extern "C"
