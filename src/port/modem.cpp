// Modem-control lines, hang-up, break and the modem status.
#include "port.h"

namespace vorlex {
namespace {

DWORD modemStatus(LONG port) {
    PortRecord *r = portRecord(port);
    DWORD status = 0;
    if (!r || !GetCommModemStatus(r->portHandle, &status)) return 0;
    return status;
}

} // namespace
} // namespace vorlex

using namespace vorlex;

extern "C" {

void WINAPI Func056(LONG port, LONG on) {
    if (PortRecord *r = portRecord(port)) EscapeCommFunction(r->portHandle, on ? SETDTR : CLRDTR);
}

void WINAPI Func061(LONG port, LONG on) {
    if (PortRecord *r = portRecord(port)) EscapeCommFunction(r->portHandle, on ? SETRTS : CLRRTS);
}

LONG WINAPI Func055(LONG port) {
    Func056(port, 0);
    return Func012(nullptr, 9);
}

void WINAPI Func063(LONG port) {
    PortRecord *r = portRecord(port);
    if (!r) return;
    Func011(port);
    SetCommBreak(r->portHandle);
    Func012(nullptr, 4);
    ClearCommBreak(r->portHandle);
}

LONG WINAPI Func010(LONG port) { return static_cast<LONG>(modemStatus(port)); }
LONG WINAPI Func052(LONG port) { return (modemStatus(port) & MS_RLSD_ON) ? 1 : 0; }
LONG WINAPI Func053(LONG port) { return (modemStatus(port) & 0x44) ? 1 : 0; }

} // extern "C"
