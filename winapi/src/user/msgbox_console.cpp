// Until windows exist: a message box on standard error, answered with its
// default button; and the message beep.
#include "../kernel/object.h"

#include <winapi_ext.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<UINT> g_lastBeep{0xFFFFFFFFu};

int defaultButton(UINT type) {
    static const int buttons[][3] = {
        {IDOK, 0, 0},          {IDOK, IDCANCEL, 0}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0},    {IDRETRY, IDCANCEL, 0},
    };
    UINT kind = type & MB_TYPEMASK;
    if (kind > 5) kind = 0;
    UINT def = (type & MB_DEFMASK) >> 8;
    if (def > 2 || buttons[kind][def] == 0) def = 0;
    return buttons[kind][def];
}

} // namespace

extern "C" {

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "Error", text ? text : "");
    std::fflush(stderr);
    return defaultButton(type);
}

BOOL WINAPI MessageBeep(UINT type) {
    g_lastBeep.store(type);
    if (isatty(STDERR_FILENO)) {
        ssize_t r = ::write(STDERR_FILENO, "\a", 1);
        (void)r;
    }
    return TRUE;
}

UINT WINAPI WapiLastMessageBeep(void) { return g_lastBeep.load(); }

} // extern "C"
