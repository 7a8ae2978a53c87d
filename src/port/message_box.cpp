// The open result texts and their message box, the formatted message box
// and the tick wait.
#include "port/port_api.h"

#include <cstdarg>

namespace vorlex {

namespace {

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

int messageBoxV(HWND owner, LPCSTR caption, UINT style, LPCSTR format, va_list args) {
    // wvsprintfA writes up to 1024 characters; the box shows at most 511.
    char text[1025];
    int n = wvsprintfA(text, format ? format : "", args);
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

int messageBox(HWND owner, LPCSTR caption, UINT style, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int result = messageBoxV(owner, caption, style, format, args);
    va_end(args);
    return result;
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

HANDLE WINAPI Func048(LONG port) {
    PortHold h(port);
    return h ? h->handle() : INVALID_HANDLE_VALUE;
}

int __cdecl Func033(HWND owner, LPCSTR caption, UINT style, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int result = messageBoxV(owner, caption, style, format, args);
    va_end(args);
    return result;
}

int WINAPI Func034(LONG code) { return showOpenError(code); }

LONG WINAPI Func012(HWND window, LONG ticks) { return tickWait(window, ticks); }

} // extern "C"

int vorlex::showOpenError(LONG code) {
    if (code < 0 || code > 8) code = 2;
    DWORD err = lastOpenError.load();
    if (err == 0) return messageBox(nullptr, "Port Open Error", MB_ICONHAND, "%s", openResultTexts[code]);
    return messageBox(nullptr, "Port Open Error", MB_ICONHAND, "%s (%d)", openResultTexts[code], static_cast<int>(err));
}
