// Modem-control lines, hang-up, break and the modem status.
#include "port/port_api.h"

namespace vorlex {

DWORD modemStatus(Session &s) {
    DWORD status = 0;
    return GetCommModemStatus(s.handle(), &status) ? status : 0;
}

bool carrierPresent(Session &s) { return (modemStatus(s) & MS_RLSD_ON) != 0; }

void setDtr(Session &s, bool on) { EscapeCommFunction(s.handle(), on ? SETDTR : CLRDTR); }

} // namespace vorlex

using namespace vorlex;

namespace {
DWORD statusOf(LONG port) {
    PortHold h(port);
    return h ? modemStatus(*h) : 0;
}
} // namespace

extern "C" {

void WINAPI Func056(LONG port, LONG on) {
    if (PortHold h{port}) setDtr(*h, on != 0);
}

void WINAPI Func061(LONG port, LONG on) {
    if (PortHold h{port}) EscapeCommFunction(h->handle(), on ? SETRTS : CLRRTS);
}

LONG WINAPI Func055(LONG port) { return dropDtrAndPause(port); }

} // extern "C"

LONG vorlex::dropDtrAndPause(LONG port) {
    PortHold h(port);
    h.allowNesting(); // the pause dispatches messages
    if (h) EscapeCommFunction(h->handle(), CLRDTR);
    return tickWait(nullptr, 9, h ? h.rec().stopEvent : nullptr);
}

extern "C" {

void WINAPI Func063(LONG port) {
    PortHold h(port);
    if (!h) return;
    h.allowNesting(); // the break's length dispatches messages
    purgeOutput(*h);
    SetCommBreak(h->handle());
    tickWait(nullptr, 4, h.rec().stopEvent);
    ClearCommBreak(h->handle());
}

LONG WINAPI Func010(LONG port) { return static_cast<LONG>(statusOf(port)); }
LONG WINAPI Func052(LONG port) { return (statusOf(port) & MS_RLSD_ON) ? 1 : 0; }
LONG WINAPI Func053(LONG port) { return (statusOf(port) & 0x44) ? 1 : 0; }

} // extern "C"
