// Line settings, flow control, the receive-event mask and the transfer options.
#include "port/port_api.h"

namespace vorlex {

namespace {

void applyFlow(DCB &d, LONG rtsCts, LONG xonXoff, LONG dtrDsr) {
    d.fOutxCtsFlow = rtsCts ? 1 : 0;
    d.fRtsControl = rtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    d.fOutX = xonXoff ? 1 : 0;
    d.fInX = xonXoff ? 1 : 0;
    d.fOutxDsrFlow = dtrDsr ? 1 : 0;
    d.fDtrControl = dtrDsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
}

WORD baudCode(DWORD baud) {
    switch (baud) {
    case 1200: return 1;
    case 2400: return 2;
    case 4800: return 3;
    case 9600: return 4;
    case 19200: return 5;
    case 38400: return 6;
    case 56000:
    case 57600: return 7;
    case 115200: return 8;
    default: return 0;
    }
}

} // namespace

LONG setLine(Session &s, LONG baud, LONG parity, LONG dataBits, LONG stopBits) {
    PortRecord *r = &s.rec();
    DCB d{};
    d.DCBlength = sizeof(DCB);
    if (!GetCommState(r->portHandle, &d)) return static_cast<LONG>(GetLastError());
    if (baud < 10 || baud > 256000 || parity < NOPARITY || parity > SPACEPARITY || dataBits < 4 || dataBits > 8 ||
        (stopBits != 1 && stopBits != 2))
        return VORLEX_LINE_REFUSED;
    d.BaudRate = static_cast<DWORD>(baud);
    d.Parity = static_cast<BYTE>(parity);
    d.ByteSize = static_cast<BYTE>(dataBits);
    d.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    // RTS/CTS and DTR/DSR flow are never both on after this call.
    if (r->rtsCtsFlow) r->dtrDsrFlow = 0;
    applyFlow(d, r->rtsCtsFlow, r->xonXoffFlow, r->dtrDsrFlow);
    d.XonLim = 100;
    d.XoffLim = 100;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    d.fBinary = 1;
    d.fParity = 1;
    return SetCommState(r->portHandle, &d) ? VORLEX_LINE_OK : VORLEX_LINE_REFUSED;
}

LONG setReceiveEvents(Session &s, bool on) {
    if (!SetCommMask(s.handle(), on ? EV_RXCHAR : 0)) return 1;
    s.rec().eventThreadRun = on ? 1 : 0;
    return 0;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func001(LONG port, LONG baud, LONG parity, LONG dataBits, LONG stopBits) {
    PortHold h(port);
    return h ? setLine(*h, baud, parity, dataBits, stopBits) : VORLEX_LINE_BAD_PORT;
}

void WINAPI Func032(LONG port, LONG rtsCts, LONG xonXoff, LONG dtrDsr) {
    PortHold h(port);
    if (!h) return;
    PortRecord *r = &h.rec();
    DCB d{};
    d.DCBlength = sizeof(DCB);
    if (!GetCommState(r->portHandle, &d)) return;
    r->rtsCtsFlow = rtsCts ? 1 : 0;
    r->xonXoffFlow = xonXoff ? 1 : 0;
    r->dtrDsrFlow = dtrDsr ? 1 : 0;
    applyFlow(d, r->rtsCtsFlow, r->xonXoffFlow, r->dtrDsrFlow);
    SetCommState(r->portHandle, &d);
}

LONG WINAPI Func039(LONG port, LineSettings *s) {
    PortHold h(port);
    return h ? readLine(*h, s) : 1;
}

} // extern "C"

LONG vorlex::readLine(Session &session, LineSettings *s) {
    PortRecord *r = &session.rec();
    DCB d{};
    d.DCBlength = sizeof(DCB);
    if (!GetCommState(r->portHandle, &d)) return 2;
    if (!s) return 0;
    s->baudRate = d.BaudRate;
    s->baudCode = baudCode(d.BaudRate);
    s->dataBits = d.ByteSize;
    s->stopBits = d.StopBits == TWOSTOPBITS ? 2 : 1;
    s->parity = d.Parity;
    return 0;
}

extern "C" {

LONG WINAPI Func077(LONG port, HWND window, LONG events) {
    (void)window; // notifications go to the terminal's own window
    PortHold h(port);
    return h ? setReceiveEvents(*h, events != 0) : 1;
}

void WINAPI Func116(LONG port, LONG pause) {
    if (PortHold h{port}) pauseReceiveEvents(*h, pause != 0);
}

void WINAPI Func090(LONG port, LONG noProgressWindow, LONG resume, LONG fullPathNames, LONG ignoreCarrier,
                    LONG transferTimeout) {
    PortHold h(port);
    if (!h) return;
    PortRecord *r = &h.rec();
    r->noProgressWindow = noProgressWindow;
    r->resume = resume;
    r->fullPathNames = fullPathNames;
    r->ignoreCarrier = ignoreCarrier;
    r->transferTimeout = transferTimeout >= 60 ? transferTimeout : 60;
}

void WINAPI Func070(LONG port, LONG resume, LONG fullPathNames, LONG textMode) {
    PortHold h(port);
    if (!h) return;
    PortRecord *r = &h.rec();
    r->resume = resume;
    r->fullPathNames = fullPathNames;
    r->textMode = textMode;
}

} // extern "C"

namespace vorlex {

void pauseReceiveEvents(Session &s, bool pause) { SetCommMask(s.handle(), pause ? 0 : EV_RXCHAR); }

bool takePortForTransfer(Session &s) {
    LONG expected = 0;
    if (!s.rec().transferActive.compare_exchange_strong(expected, 1)) return false;
    s.readerBefore = s.reader.exchange(Reader::transfer);
    pauseReceiveEvents(s, true);
    return true;
}

void givePortBack(Session &s) {
    if (s.reader.load() != Reader::transfer) return;
    pauseReceiveEvents(s, false);
    s.reader.store(s.readerBefore);
    // A terminal's comm event thread that stood aside reads again.
    if (HANDLE e = s.readerReturned.load()) SetEvent(e);
    s.rec().transferActive = 0;
}

} // namespace vorlex
