// The common controls: InitCommonControls and the progress bar
// ("msctls_progress32") with 32-bit ranges, steps and colours, drawn as the
// classic row of blocks (or smooth) inside a thin sunken edge.
#include "dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>

namespace winapi::user {

namespace {

struct ProgressState {
    int low = 0, high = 100, pos = 0, step = 10;
    COLORREF bar = CLR_DEFAULT, back = CLR_DEFAULT;
    HFONT font = nullptr;
};

LRESULT packed(int lo, int hi) { return MAKELRESULT(static_cast<WORD>(lo), static_cast<WORD>(hi)); }

void setPos(HWND h, ProgressState *s, long long p) {
    int v = static_cast<int>(std::clamp<long long>(p, std::min(s->low, s->high), std::max(s->low, s->high)));
    if (v != s->pos) {
        s->pos = v;
        InvalidateRect(h, nullptr, FALSE);
    }
}

void setRange(HWND h, ProgressState *s, int lo, int hi) {
    s->low = lo;
    s->high = hi;
    setPos(h, s, s->pos);
    InvalidateRect(h, nullptr, FALSE);
}

// How much of length the position fills; exact for any 32-bit range.
int filled(const ProgressState *s, int length) {
    long long span = static_cast<long long>(s->high) - s->low;
    if (span <= 0 || length <= 0) return 0;
    long long done = static_cast<long long>(s->pos) - s->low;
    return static_cast<int>(std::clamp<long long>(done * length / span, 0, length));
}

void paint(HWND h, ProgressState *s, HDC hdc) {
    RECT r = clientRect(h);
    HBRUSH back = s->back == CLR_DEFAULT ? GetSysColorBrush(COLOR_3DFACE) : CreateSolidBrush(s->back);
    FillRect(hdc, &r, back);
    if (s->back != CLR_DEFAULT) DeleteObject(back);
    RECT in = r;
    InflateRect(&in, -1, -1);
    if (in.right <= in.left || in.bottom <= in.top) return;
    HBRUSH bar = s->bar == CLR_DEFAULT ? GetSysColorBrush(COLOR_HIGHLIGHT) : CreateSolidBrush(s->bar);
    DWORD style = static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE));
    bool vertical = (style & PBS_VERTICAL) != 0;
    int length = vertical ? in.bottom - in.top : in.right - in.left;
    int fill = filled(s, length);
    if (style & PBS_SMOOTH) {
        RECT f = vertical ? RECT{in.left, in.bottom - fill, in.right, in.bottom}
                          : RECT{in.left, in.top, in.left + fill, in.bottom};
        FillRect(hdc, &f, bar);
    } else {
        // Blocks two thirds as wide as the bar is thick, two pixels apart.
        int thick = vertical ? in.right - in.left : in.bottom - in.top;
        int block = std::max(1, thick * 2 / 3), gap = 2;
        for (int at = 0; at < fill; at += block + gap) {
            int end = std::min(at + block, length);
            RECT f = vertical ? RECT{in.left, in.bottom - end, in.right, in.bottom - at}
                              : RECT{in.left + at, in.top, in.left + end, in.bottom};
            FillRect(hdc, &f, bar);
        }
    }
    if (s->bar != CLR_DEFAULT) DeleteObject(bar);
}

LRESULT CALLBACK progressProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto *s = stateOf<ProgressState>(h);
    if (!s && msg != WM_NCCREATE) return DefWindowProcA(h, msg, wp, lp);
    if (LRESULT r; controlPaintMessage(h, s, msg, wp, lp, paint, &r)) return r;
    switch (msg) {
    case WM_NCCREATE: {
        SetWindowLongPtrA(h, 0, reinterpret_cast<LONG_PTR>(new ProgressState));
        // The bar always has its thin sunken edge.
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        SetWindowLongA(h, GWL_EXSTYLE, (cs->dwExStyle & ~(WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE)) | WS_EX_STATICEDGE);
        return DefWindowProcA(h, msg, wp, lp);
    }
    case WM_SETFONT:
        s->font = reinterpret_cast<HFONT>(wp);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s->font);
    case PBM_SETRANGE: {
        LRESULT old = packed(s->low, s->high);
        setRange(h, s, LOWORD(lp), HIWORD(lp));
        return old;
    }
    case PBM_SETRANGE32: {
        LRESULT old = packed(s->low, s->high);
        setRange(h, s, static_cast<int>(wp), static_cast<int>(lp));
        return old;
    }
    case PBM_GETRANGE:
        if (lp) {
            auto *r = reinterpret_cast<PBRANGE *>(lp);
            r->iLow = s->low;
            r->iHigh = s->high;
        }
        return wp ? s->low : s->high;
    case PBM_SETPOS: {
        int old = s->pos;
        setPos(h, s, static_cast<int>(wp));
        return old;
    }
    case PBM_DELTAPOS: {
        int old = s->pos;
        setPos(h, s, static_cast<long long>(s->pos) + static_cast<int>(wp));
        return old;
    }
    case PBM_SETSTEP: {
        int old = s->step;
        s->step = static_cast<int>(wp);
        return old;
    }
    case PBM_STEPIT: {
        int old = s->pos;
        long long p = static_cast<long long>(s->pos) + s->step;
        long long span = static_cast<long long>(s->high) - s->low;
        // Past the end the bar starts over from the beginning.
        if (span > 0 && (p > s->high || p < s->low)) p = s->low + ((p - s->low) % span + span) % span;
        setPos(h, s, p);
        return old;
    }
    case PBM_GETPOS:
        return s->pos;
    case PBM_SETBARCOLOR: {
        COLORREF old = s->bar;
        s->bar = static_cast<COLORREF>(lp);
        InvalidateRect(h, nullptr, FALSE);
        return static_cast<LRESULT>(old);
    }
    case PBM_SETBKCOLOR: {
        COLORREF old = s->back;
        s->back = static_cast<COLORREF>(lp);
        InvalidateRect(h, nullptr, FALSE);
        return static_cast<LRESULT>(old);
    }
    }
    return DefWindowProcA(h, msg, wp, lp);
}

void registerProgress() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = progressProc;
        wc.cbWndExtra = sizeof(void *);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = PROGRESS_CLASSA;
        RegisterClassExA(&wc);
    });
}

} // namespace

} // namespace winapi::user

extern "C" {

void WINAPI InitCommonControls(void) { winapi::user::registerProgress(); }

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX *icc) {
    if (!icc || icc->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (icc->dwICC & ICC_PROGRESS_CLASS) winapi::user::registerProgress();
    return TRUE;
}

} // extern "C"
