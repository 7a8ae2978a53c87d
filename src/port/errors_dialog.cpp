// The Communications Errors dialog (template 122): the port's error
// counters and its modem status.
#include "port/port_api.h"

#include "resources/resources.h"
#include "services/startup.h"
#include "services/window_utils.h"

namespace vorlex {
namespace {

void showCounters(HWND dialog, LONG port) {
    DWORD counters[5] = {};
    DWORD status = 0;
    if (PortHold h{port}) {
        const PortRecord &r = h.rec();
        const DWORD values[] = {r.ctsTimeouts, r.dsrTimeouts, r.overrunErrors, r.rxQueueOverruns, r.txQueueFull};
        for (int i = 0; i < 5; i++) counters[i] = values[i];
        status = modemStatus(*h);
    }
    for (int i = 0; i < 5; i++) SetDlgItemInt(dialog, 102 + i, counters[i], FALSE);

    char text[64];
    wsprintfA(text, "Modem Status : %Xh - %s %s %s %s", static_cast<unsigned>(status),
              (status & MS_CTS_ON) ? "CTS " : "", (status & MS_DSR_ON) ? "DSR " : "",
              (status & MS_RING_ON) ? "RI " : "", (status & MS_RLSD_ON) ? "CD" : "");
    SetDlgItemTextA(dialog, 107, text);
}

} // namespace
} // namespace vorlex

using namespace vorlex;

extern "C" {

void WINAPI Func013(LONG port, HWND parent) { showCommErrors(port, parent); }

} // extern "C"

void vorlex::showCommErrors(LONG port, HWND parent) {
    if (!PortHold(port)) return;
    DialogBoxParamA(libraryInstance, MAKEINTRESOURCEA(resources::kDialogCommErrors), parent, Func002, port);
}

extern "C" {

INT_PTR WINAPI Func002(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        HWND parent = GetParent(dialog);
        centreOver(parent ? parent : GetDesktopWindow(), dialog);
        showCounters(dialog, static_cast<LONG>(lParam));
        return 1;
    }
    case WM_COMMAND:
        if (wParam != IDOK) return 0;
        EndDialog(dialog, 1);
        return 1;
    }
    return 0;
}

} // extern "C"
