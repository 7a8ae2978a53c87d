// The port table, the open result texts and their message box, the
// formatted message box, error accounting and the tick wait.
#include "port.h"

namespace vorlex {

namespace {

std::atomic<PortRecord *> g_ports[kPortCount];

const char *const openResultTexts[] = {
    "Communications Port Successfully Opened",
    "1 - No UART Found",
    "2 - Unknown Error",
    "3 - Insufficient Memory For Communications Buffers",
    "4 - Invalid Communications Port Specified",
    "5 - Unable To Open Communications Port",
    "6 - Communications Port Is Already In Use",
    "7 - Communications Port Is Already In Use",
    "8 - Invalid Communications Port Parameters",
};

} // namespace

std::atomic<DWORD> lastOpenError{0};

PortRecord *portRecord(LONG port) {
    if (port < 0 || port >= kPortCount) return nullptr;
    return g_ports[port].load(std::memory_order_acquire);
}

void setPortRecord(LONG port, PortRecord *r) { g_ports[port].store(r, std::memory_order_release); }

void countCommErrors(LONG port, DWORD errors) {
    PortRecord *r = portRecord(port);
    if (!r) return;
    if (errors & 0x0020) r->ctsTimeouts++;
    if (errors & 0x0040) r->dsrTimeouts++;
    if (errors & CE_OVERRUN) r->overrunErrors++;
    if (errors & CE_RXOVER) r->rxQueueOverruns++;
    if (errors & CE_TXFULL) r->txQueueFull++;
}

bool clearErrors(LONG port, PortRecord *r, COMSTAT *stat) {
    DWORD errors = 0;
    COMSTAT local;
    if (!ClearCommError(r->portHandle, &errors, stat ? stat : &local)) {
        if (stat) *stat = COMSTAT{};
        return false;
    }
    countCommErrors(port, errors);
    return true;
}

bool queueStatus(LONG port, COMSTAT &stat) {
    PortRecord *r = portRecord(port);
    if (!r) return false;
    clearErrors(port, r, &stat);
    return true;
}

void clearAndPurge(LONG port, DWORD flags) {
    PortRecord *r = portRecord(port);
    if (!r) return;
    clearErrors(port, r, nullptr);
    PurgeComm(r->portHandle, flags);
}

LONG pumpMessages(HWND window) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return 1;
        }
        if ((msg.message == WM_CLOSE || msg.message == WM_DESTROY) && msg.hwnd == window) {
            // A null window posts to this thread again.
            PostMessageA(window, msg.message, msg.wParam, msg.lParam);
            return 1;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

HANDLE WINAPI Func048(LONG port) {
    PortRecord *r = portRecord(port);
    return r ? r->portHandle : INVALID_HANDLE_VALUE;
}

int __cdecl Func033(HWND owner, LPCSTR caption, UINT style, LPCSTR format, ...) {
    // wvsprintfA writes up to 1024 characters; the box shows at most 511.
    char text[1025];
    va_list args;
    va_start(args, format);
    int n = wvsprintfA(text, format ? format : "", args);
    va_end(args);
    if (n < 0) n = 0;
    text[n < 511 ? n : 511] = '\0';
    UINT icon = style & MB_ICONMASK;
    MessageBeep(icon == MB_ICONHAND || icon == MB_ICONQUESTION || icon == MB_ICONEXCLAMATION || icon == MB_ICONASTERISK
                    ? icon
                    : MB_OK);
    if (!owner) style |= MB_TASKMODAL;
    style |= MB_SETFOREGROUND;
    return MessageBoxA(owner, text, caption, style);
}

int WINAPI Func034(LONG code) {
    if (code < 0 || code > 8) code = 2;
    DWORD err = lastOpenError.load();
    if (err == 0) return Func033(nullptr, "Port Open Error", MB_ICONHAND, "%s", openResultTexts[code]);
    return Func033(nullptr, "Port Open Error", MB_ICONHAND, "%s (%d)", openResultTexts[code], static_cast<int>(err));
}

LONG WINAPI Func012(HWND window, LONG ticks) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ticks) * kTickMs;
    if (end <= GetTickCount()) return 0;
    for (;;) {
        if (pumpMessages(window)) return 1;
        DWORD now = GetTickCount();
        if (end <= now) return 0;
        // Sleep until a message comes or the time is up.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    }
}

} // extern "C"
