// The terminal in an application's own windows: creation on a frame and a
// client window the application made, and the two hooks its window
// procedures call first (0 handled, 1 the application's to handle).
#include "terminal/terminal.h"

#include "emulation/interpreter.h"
#include "port/port_api.h"

namespace vorlex {

namespace {

enum : LONG { kHandled = 0, kNotHandled = 1 };

// The record of an open application-window terminal whose window this is.
TerminalRecord *hookRecord(LONG port, HWND window, bool client) {
    TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    if (!t || !t->notifyOwner) return nullptr;
    return (client ? t->clientWindow : t->frameWindow) == window ? t : nullptr;
}

LONG createOnWindows(LONG port, HWND owner, LONG attribute, LONG localEcho, HWND frame, HWND client) {
    if (!validPort(port)) return kTerminalPortNotOpen;
    if (!PortHold(port)) return kTerminalPortNotOpen;
    Session &s = sessionAt(port);
    if (raiseOpenTerminal(s)) return kTerminalCreated;
    // Messages for missing windows would go to the thread instead.
    if (!IsWindow(frame) || !IsWindow(client)) return kTerminalNoWindows;
    TerminalRecord *t = createTerminalRecord(port, attribute);
    if (!t) return kTerminalNoMemory;
    t->notifyOwner = 1;
    t->ownerWindow = owner;
    t->portOpenedByCaller = 1;
    t->localEcho = localEcho;
    t->frameWindow = frame;
    t->clientWindow = client;
    if (!preparePort(port, *t)) {
        freeTerminalRecord(port, t);
        return kTerminalPortNotOpen;
    }
    s.terminalOpen.store(1);
    setupScreenFont(port);
    PostMessageA(frame, TERM_START, 0, 0);
    {
        PortHold held(port);
        t->carrierState = held && carrierPresent(*held) ? 1 : 0;
    }
    PostMessageA(frame, t->carrierState ? TERM_CARRIER_ON : TERM_CARRIER_OFF, 0, 0);
    return kTerminalCreated;
}

LONG frameHook(LONG port, HWND window, UINT message, WPARAM wParam) {
    TerminalRecord *t = hookRecord(port, window, false);
    if (!t) return kNotHandled;
    switch (message) {
    case TERM_START:
        setupScreenFont(port);
        SetFocus(t->clientWindow);
        PostMessageA(t->clientWindow, WM_COMMNOTIFY, static_cast<WPARAM>(port), kCommEvent);
        return kHandled;
    case WM_SETFOCUS:
        if (t->clientWindow) SetFocus(t->clientWindow);
        return kHandled;
    case WM_CHAR:
    case TERM_SENDCHAR:
        sendTypedChar(port, *t, static_cast<BYTE>(wParam & 0xFF));
        return kHandled;
    }
    return kNotHandled;
}

LONG keyHook(LONG port, TerminalRecord &t, UINT message, WPARAM wParam, LPARAM lParam) {
    const KeyEvent event = keyEventOf(message, wParam, lParam);
    // A character message belongs to the key pressed just before it: a
    // count left by a key that made none (Ctrl+Tab) would eat the next
    // key's character, so every key down starts afresh.
    if (message != WM_HELP) t.swallowChars = 0;
    const KeyTerminal terminal{t.keyboardMap, t.emu.emulation, t.emu.doorWayMode != 0, t.localEcho != 0};
    const KeyAction a = translateKeyEvent(terminal, event);
    if (a.kind == KeyAction::passOn) return kNotHandled;
    if (a.dropChar) t.swallowChars = 1;
    sendKeyAction(port, t, a);
    return kHandled;
}

// A byte from the application, interpreted as if received; the receive
// handler's chunk (it may be waiting for a byte further up) is kept.
void showCharacter(LONG port, TerminalRecord &t, BYTE b) {
    EmulatorState &e = t.emu;
    const LONG length = e.chunkLength, index = e.chunkIndex;
    e.chunkLength = 0;
    ++t.feeding;
    feedChunk(port, &b, 1);
    --t.feeding;
    if (t.endPending) {
        if (t.feeding == 0) endTerminal(port);
        return;
    }
    e.chunkLength = length;
    e.chunkIndex = index;
    flushEchoes(port, t);
}

LONG clientHook(LONG port, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TerminalRecord *t = hookRecord(port, window, true);
    if (!t) return kNotHandled;
    switch (message) {
    case WM_DESTROY:
        endTerminal(port);
        return kNotHandled; // the application's own end of the window still runs
    case WM_SIZE:
        sizeClient(window, *t, LOWORD(lParam), HIWORD(lParam));
        return kHandled;
    case WM_PAINT:
        paintClient(window, *t);
        return kHandled;
    case WM_SETFOCUS:
        if (t->caretShown != 1) makeCaret(*t);
        updateCaret(*t);
        return kHandled;
    case WM_KILLFOCUS:
        if (t->caretShown) {
            HideCaret(window);
            DestroyCaret();
            t->caretShown = 0;
        }
        return kHandled;
    case WM_COMMNOTIFY:
        onCommNotify(port, wParam, lParam);
        return kHandled;
    case WM_HELP:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return keyHook(port, *t, message, wParam, lParam);
    case WM_CHAR:
    case TERM_SENDCHAR:
        if (t->swallowChars) {
            t->swallowChars = 0;
            return kHandled;
        }
        sendTypedChar(port, *t, static_cast<BYTE>(wParam & 0xFF));
        return kHandled;
    case WM_HSCROLL:
    case WM_VSCROLL:
        scrollClient(window, *t, message == WM_VSCROLL, wParam);
        return kHandled;
    case TERM_SHOWCHAR:
        showCharacter(port, *t, static_cast<BYTE>(wParam & 0xFF));
        return kHandled;
    }
    return kNotHandled;
}

} // namespace

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func006(LONG port, HWND owner, LONG attribute, LONG localEcho, HWND frame, HWND client) {
    return createOnWindows(port, owner, attribute, localEcho, frame, client);
}

LONG WINAPI Func091(LONG port, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    return frameHook(port, window, message, wParam);
}

LONG WINAPI Func092(LONG port, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return clientHook(port, window, message, wParam, lParam);
}

} // extern "C"
