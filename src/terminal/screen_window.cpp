// The terminal's child windows: the client window that paints the screen
// buffer, the status bar with the terminal type, and the button bar; and
// the registration of the terminal's window classes.
#include "terminal/terminal.h"

#include "resources/resources.h"
#include "services/startup.h"
#include "services/subsystems.h"

#include <algorithm>
#include <cstring>

namespace vorlex {

namespace {

constexpr COLORREF kColours[16] = {
    RGB(0, 0, 0),     RGB(0, 0, 128),   RGB(0, 128, 0),   RGB(0, 128, 128),
    RGB(128, 0, 0),   RGB(128, 0, 128), RGB(128, 128, 0), RGB(128, 128, 128),
    RGB(192, 192, 192), RGB(0, 0, 255), RGB(0, 255, 0),   RGB(0, 255, 255),
    RGB(255, 0, 0),   RGB(255, 0, 255), RGB(255, 255, 0), RGB(255, 255, 255),
};

constexpr const char *kTypeNames[] = {"IBM ANSI", "TTY", "VT100", "IBM3161", "ANSI EX", "TTY EX"};

// Buttons left to right: Exit, Hang Up, Clear, Download, Upload, Modem Parameters, Capture.
constexpr WORD kButtonCommands[7] = {kCmdExit, kCmdHangUp, kCmdClearScreen, kCmdDownload,
                                     kCmdUpload, kCmdModemParameters, kCmdCapture};
constexpr int kButtonSize = 38;

} // namespace

void makeCaret(TerminalRecord &t) {
    CreateCaret(t.clientWindow, nullptr, t.cellWidth, t.cellHeight);
    ShowCaret(t.clientWindow);
    t.caretShown = 1;
}

void paintClient(HWND window, TerminalRecord &t) {
    applyPendingScroll(t); // held back by the receive handler: now part of this paint
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HGDIOBJ oldFont = t.screenFont ? SelectObject(dc, t.screenFont) : nullptr;
    const RECT &r = ps.rcPaint;
    const int ch = std::max<LONG>(t.cellHeight, 1), cw = std::max<LONG>(t.cellWidth, 1);
    const int firstRow = std::clamp<int>((r.top + t.scrollY) / ch, 0, kLastRow);
    const int lastRow = std::min<int>((r.bottom + t.scrollY - 1) / ch, kLastRow);
    const int firstColumn = std::clamp<int>((r.left + t.scrollX) / cw, 0, kLastColumn);
    const int lastColumn = std::min<int>((r.right + t.scrollX - 1) / cw, kLastColumn);
    int previous = 255 + 1; // no attribute yet in this paint
    for (int row = firstRow; row <= lastRow; row++) {
        for (int column = firstColumn; column <= lastColumn; column++) {
            const Cell &c = cellAt(t.emu, row, column);
            if (c.attribute != previous) {
                previous = c.attribute;
                SetBkColor(dc, kColours[(c.attribute >> 4) & 0x0F]);
                SetTextColor(dc, kColours[c.attribute & 0x0F]);
            }
            const char text = static_cast<char>(c.character);
            ExtTextOutA(dc, cw * column - t.scrollX, ch * row - t.scrollY, 0, nullptr, &text, 1, nullptr);
        }
    }
    if (oldFont) SelectObject(dc, oldFont);
    EndPaint(window, &ps);
    updateCaret(t);
}

void sizeClient(HWND window, TerminalRecord &t, int w, int h) {
    t.clientHeight = h;
    t.scrollMaxY = std::max<LONG>(0, kScreenRows * t.cellHeight - h);
    t.scrollY = std::min(t.scrollY, t.scrollMaxY);
    SetScrollPos(window, SB_VERT, t.scrollY, FALSE);
    SetScrollRange(window, SB_VERT, 0, t.scrollMaxY, TRUE);
    t.clientWidth = w;
    t.scrollMaxX = std::max<LONG>(0, kScreenColumns * t.cellWidth - w);
    t.scrollX = std::min(t.scrollX, t.scrollMaxX);
    SetScrollPos(window, SB_HORZ, t.scrollX, FALSE);
    SetScrollRange(window, SB_HORZ, 0, t.scrollMaxX, TRUE);
    InvalidateRect(window, nullptr, FALSE);
    t.lastVisibleRow = t.cellHeight > 0 ? h / t.cellHeight - 2 : 0;
}

void scrollClient(HWND window, TerminalRecord &t, bool vertical, WPARAM wParam) {
    const LONG line = vertical ? t.cellHeight : t.cellWidth;
    const LONG page = vertical ? t.clientHeight : t.clientWidth;
    LONG &pos = vertical ? t.scrollY : t.scrollX;
    const LONG max = vertical ? t.scrollMaxY : t.scrollMaxX;
    LONG d;
    switch (LOWORD(wParam)) {
    case SB_LINEUP: d = -line; break;
    case SB_LINEDOWN: d = line; break;
    case SB_PAGEUP: d = -page; break;
    case SB_PAGEDOWN: d = page; break;
    case SB_THUMBPOSITION: d = static_cast<LONG>(HIWORD(wParam)) - pos; break;
    case SB_TOP: d = -pos; break;
    case SB_BOTTOM: d = max - pos; break;
    default: return; // the view follows the thumb only when it is released
    }
    d = std::clamp<LONG>(d, -pos, max - pos);
    if (d == 0) return;
    if (vertical)
        ScrollWindowEx(window, 0, -d, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    else
        ScrollWindow(window, -d, 0, nullptr, nullptr);
    pos += d;
    SetScrollPos(window, vertical ? SB_VERT : SB_HORZ, pos, TRUE);
    updateCaret(t);
}

namespace {

LRESULT clientProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LONG port = windowPort(window);
    TerminalRecord *t = terminalRecord(port);
    if (t && t->clientWindow != window) t = nullptr; // a window of an earlier terminal
    switch (message) {
    case WM_DESTROY:
        if (t) endTerminal(port);
        return 0;
    case WM_SIZE:
        if (!t || !terminalOpen(port)) break;
        sizeClient(window, *t, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        if (!t) return 0;
        if (t->caretShown != 1) makeCaret(*t);
        updateCaret(*t);
        return 0;
    case WM_KILLFOCUS:
        if (t && t->caretShown) {
            HideCaret(window);
            DestroyCaret();
            t->caretShown = 0;
        }
        return 0;
    case WM_PAINT:
        if (!t || !terminalOpen(port)) break;
        paintClient(window, *t);
        return 0;
    case WM_ERASEBKGND:
        return 0; // painting covers every cell
    case WM_COMMNOTIFY:
        onCommNotify(port, wParam, lParam);
        return 0;
    case WM_VSCROLL:
    case WM_HSCROLL:
        if (t) scrollClient(window, *t, message == WM_VSCROLL, wParam);
        return 0;
    default:
        if (LRESULT result; t && keyboardMessage(port, *t, window, message, wParam, lParam, result)) return result;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT statusProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LONG port = windowPort(window);
    TerminalRecord *t = terminalRecord(port);
    if (t && t->statusWindow != window) t = nullptr;
    switch (message) {
    case WM_SETFOCUS:
        if (t) SetFocus(t->clientWindow);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (t) {
            const char *name = terminalTypeName(t->emu.emulation);
            SetBkMode(dc, TRANSPARENT);
            TextOutA(dc, 16, 2, name, static_cast<int>(std::strlen(name)));
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT r;
        GetClientRect(window, &r);
        FillRect(dc, &r, reinterpret_cast<HBRUSH>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND)));
        MoveToEx(dc, r.left, r.top, nullptr);
        LineTo(dc, r.right, r.top);
        HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
        HGDIOBJ old = SelectObject(dc, white);
        MoveToEx(dc, r.right, r.top + 1, nullptr);
        LineTo(dc, 0, r.top + 1);
        LineTo(dc, 0, r.bottom);
        SelectObject(dc, old);
        DeleteObject(white);
        return 1;
    }
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

ButtonBar *barOf(HWND window) { return reinterpret_cast<ButtonBar *>(GetWindowLongPtrA(window, kBarRecordOffset)); }

bool inside(const ButtonEntry &b, int x, int y) { return x >= b.x && y >= b.y && x < b.x + b.width && y < b.y + b.height; }

void barMouse(HWND window, UINT message, int x, int y) {
    ButtonBar *bar = barOf(window);
    if (!bar) return;
    const WORD low = LOWORD(reinterpret_cast<ULONG_PTR>(bar->barWindow));
    const WPARAM barId = static_cast<WPARAM>(GetDlgCtrlID(bar->barWindow));
    if (message == WM_LBUTTONDOWN) {
        for (WORD i = 0; i < bar->count; i++) {
            ButtonEntry &b = bar->buttons[i];
            if ((b.flags & (kButtonDisabled | kButtonHidden)) || !inside(b, x, y)) continue;
            bar->pressMark = 0xFFFF;
            bar->tracked = i;
            bar->state = 3;
            SetCapture(window);
            if (IsWindow(bar->barWindow)) {
                SendMessageA(bar->targetWindow, WM_COMMAND, barId, 0x10000 | low);
                SendMessageA(bar->targetWindow, WM_MENUSELECT, b.command, 0);
            }
            drawButton(*bar, i, 1);
            return;
        }
        return;
    }
    if (!(bar->state & 1)) return;
    ButtonEntry &b = bar->buttons[bar->tracked];
    if (message == WM_MOUSEMOVE) {
        const bool in = inside(b, x, y);
        if (in && !(bar->state & 2)) {
            bar->state |= 2;
            drawButton(*bar, bar->tracked, 1);
        } else if (!in && (bar->state & 2)) {
            bar->state &= ~2;
            drawButton(*bar, bar->tracked, 0);
        }
        return;
    }
    // WM_LBUTTONUP: the command goes only when released over the pressed button.
    if (IsWindow(bar->barWindow)) SendMessageA(bar->targetWindow, WM_COMMAND, barId, 0x20000 | low);
    ReleaseCapture();
    if (inside(b, x, y)) {
        drawButton(*bar, bar->tracked, 0);
        SendMessageA(bar->targetWindow, WM_COMMAND, b.command, low);
    }
    bar->state = 0;
}

LRESULT controlProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrA(window, kBarRecordOffset, 0);
        return 0;
    case WM_SETFOCUS:
        if (TerminalRecord *t = terminalRecord(windowPort(window)); t && t->controlWindow == window)
            SetFocus(t->clientWindow);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (ButtonBar *bar = barOf(window)) {
            HDC mem = CreateCompatibleDC(dc);
            for (int i = 0; i < bar->count; i++) {
                const ButtonEntry &b = bar->buttons[i];
                const int image = b.flags & 0x0F;
                if (image == 4 || (b.flags & kButtonHidden)) continue;
                const int s = image == 2 ? 2 : 0;
                HGDIOBJ old = SelectObject(mem, b.bitmap);
                BitBlt(dc, b.x, b.y, b.width, b.height, mem, b.source[s][0], b.source[s][1], SRCCOPY);
                SelectObject(mem, old);
            }
            DeleteDC(mem);
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT r;
        GetClientRect(window, &r);
        FillRect(dc, &r, reinterpret_cast<HBRUSH>(GetClassLongPtrA(window, GCLP_HBRBACKGROUND)));
        HPEN black = CreatePen(PS_SOLID, GetSystemMetrics(SM_CXBORDER), RGB(0, 0, 0));
        HGDIOBJ old = SelectObject(dc, black);
        MoveToEx(dc, r.left, r.bottom - 1, nullptr);
        LineTo(dc, r.right, r.bottom - 1);
        SelectObject(dc, old);
        DeleteObject(black);
        return 1;
    }
    case BAR_SETBUTTONS: {
        const LONG_PTR previous = SetWindowLongPtrA(window, kBarRecordOffset, lParam);
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
        return previous;
    }
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        barMouse(window, message, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

COLORREF terminalColour(int index) { return kColours[index & 0x0F]; }

const char *terminalTypeName(LONG emulation) { return emulation >= 0 && emulation <= 5 ? kTypeNames[emulation] : ""; }

void updateCaret(TerminalRecord &t) {
    if (t.caretShown == 1)
        SetCaretPos(t.cellWidth * t.emu.cursorColumn - t.scrollX, t.cellHeight * t.emu.cursorRow - t.scrollY);
}

void setupScreenFont(LONG port) {
    TerminalRecord *t = terminalRecord(port);
    if (!t || !t->clientWindow) return;
    if (t->screenFont) DeleteObject(t->screenFont);
    t->screenFont = CreateFontIndirectA(&t->screenLogFont);
    HDC dc = GetDC(t->clientWindow);
    HGDIOBJ old = SelectObject(dc, t->screenFont);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(t->clientWindow, dc);
    t->cellWidth = tm.tmAveCharWidth;
    t->cellHeight = tm.tmHeight + tm.tmExternalLeading;
    RECT r;
    GetWindowRect(t->clientWindow, &r);
    SendMessageA(t->clientWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
}

bool createButtonBar(LONG port, TerminalRecord &t) {
    (void)port;
    HGLOBAL mem = GlobalAlloc(GMEM_ZEROINIT, sizeof(ButtonBar));
    auto *bar = mem ? static_cast<ButtonBar *>(GlobalLock(mem)) : nullptr;
    if (!bar) {
        if (mem) GlobalFree(mem);
        return false;
    }
    bar->memory = mem;
    bar->barWindow = t.controlWindow;
    bar->targetWindow = t.frameWindow;
    bar->count = 7;
    bar->bitmap = LoadBitmapA(libraryInstance, MAKEINTRESOURCEA(resources::kBitmapButtons));
    for (int i = 0; i < 7; i++) {
        ButtonEntry &b = bar->buttons[i];
        b.command = kButtonCommands[i];
        // Hang Up, Download and Upload wait for a carrier.
        b.flags = (i == 1 || i == 3 || i == 4) ? (kButtonDisabled | 2) : 0;
        b.x = i == 0 ? 6 : 61 * i;
        b.y = 6;
        b.bitmap = bar->bitmap;
        b.width = b.height = kButtonSize;
        for (int s = 0; s < 3; s++) {
            b.source[s][0] = static_cast<WORD>(resources::kButtonCell * i);
            b.source[s][1] = static_cast<WORD>(resources::kButtonCell * s);
        }
    }
    t.buttonBar = bar;
    SendMessageA(t.controlWindow, BAR_SETBUTTONS, 0, reinterpret_cast<LPARAM>(bar));
    return true;
}

void freeButtonBar(TerminalRecord &t) {
    ButtonBar *bar = t.buttonBar;
    if (!bar) return;
    t.buttonBar = nullptr;
    if (IsWindow(t.controlWindow)) SetWindowLongPtrA(t.controlWindow, kBarRecordOffset, 0);
    if (bar->bitmap) DeleteObject(bar->bitmap);
    HGLOBAL mem = bar->memory;
    GlobalUnlock(mem);
    GlobalFree(mem);
}

void drawButton(ButtonBar &bar, int index, int image) {
    if (!IsWindow(bar.barWindow)) return;
    const ButtonEntry &b = bar.buttons[index];
    HDC dc = GetDC(bar.barWindow);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, b.bitmap);
    BitBlt(dc, b.x, b.y, b.width, b.height, mem, b.source[image][0], b.source[image][1], SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(bar.barWindow, dc);
}

void startTerminals(HINSTANCE instance) {
    struct ClassSpec {
        const char *name;
        WNDPROC procedure;
        UINT style;
        int extra;
        HBRUSH background;
        bool frame;
    };
    const HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const HBRUSH face = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    const ClassSpec classes[] = {
        {kFrameClass, Func102, CS_BYTEALIGNWINDOW, 2, black, true},
        {kClientClass, Func103, CS_BYTEALIGNWINDOW | CS_HREDRAW | CS_VREDRAW, 2, black, false},
        {kControlClass, Func107, 0, kBarExtraBytes, face, false},
        {kStatusClass, Func106, CS_HREDRAW | CS_VREDRAW, 2, face, false},
    };
    for (const ClassSpec &c : classes) {
        WNDCLASSA wc{};
        wc.style = c.style;
        wc.lpfnWndProc = c.procedure;
        wc.cbWndExtra = c.extra;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
        wc.hbrBackground = c.background;
        wc.lpszClassName = c.name;
        if (c.frame) {
            wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(resources::kIconTerminal));
            wc.lpszMenuName = MAKEINTRESOURCEA(resources::kMenuTerminal);
        }
        RegisterClassA(&wc); // a failure shows when a terminal is made
    }
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LRESULT WINAPI Func103(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return clientProcedure(window, message, wParam, lParam);
}

LRESULT WINAPI Func106(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return statusProcedure(window, message, wParam, lParam);
}

LRESULT WINAPI Func107(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return controlProcedure(window, message, wParam, lParam);
}

} // extern "C"

extern "C" {

void WINAPI Func098(LONG port, LONG flag) {
    TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    if (!t) return;
    if (flag) {
        t->savedClassBrush = reinterpret_cast<HBRUSH>(
            SetClassLongPtrA(t->clientWindow, GCLP_HBRBACKGROUND,
                             reinterpret_cast<LONG_PTR>(GetStockObject(BLACK_BRUSH))));
    } else {
        SetClassLongPtrA(t->clientWindow, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(t->savedClassBrush));
    }
}

void WINAPI Func099(LONG port) {
    TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    if (!t) return;
    HideCaret(t->clientWindow);
    DestroyCaret();
    makeCaret(*t);
    updateCaret(*t);
}

} // extern "C"
