// The terminal's keyboard: the terminal type and its map (Func088,
// Func036), and the client window's key messages turned into bytes on the
// line, echoed locally when asked.
#include "terminal/terminal.h"

#include "emulation/interpreter.h"
#include "port/port_api.h"

#include <cstring>

namespace vorlex {

namespace {

// While the interpreter waits for a byte of a sequence (it runs messages
// meanwhile), a key's echo would land inside that sequence: it waits here
// until the receive handler is done.
// False when the terminal ended meanwhile (its record is gone).
bool echo(LONG port, TerminalRecord &t, EchoKind kind, const char *text) {
    if (t.emu.readBusy || t.feeding) {
        if (t.echoCount < kEchoQueue) {
            PendingEcho &e = t.echoes[t.echoCount++];
            e.kind = kind;
            std::strncpy(e.text, text, sizeof e.text - 1);
            e.text[sizeof e.text - 1] = '\0';
        }
        return true;
    }
    TerminalHost host(port, t);
    ++t.feeding;
    if (kind == EchoKind::character)
        showByte(t.emu, host, static_cast<BYTE>(text[0]));
    else
        echoKeyString(t.emu, host, text);
    if (--t.feeding == 0 && t.endPending) {
        endTerminal(port);
        return false;
    }
    return true;
}

LRESULT keyMessage(LONG port, TerminalRecord &t, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const KeyEvent event = keyEventOf(message, wParam, lParam);
    const KeyTerminal terminal{t.keyboardMap, t.emu.emulation, t.emu.doorWayMode != 0, t.localEcho != 0};
    const KeyAction a = translateKeyEvent(terminal, event);
    switch (a.kind) {
    case KeyAction::passOn:
        return DefWindowProcA(window, message, wParam, lParam);
    case KeyAction::consumed:
        return 0;
    case KeyAction::sendText:
    case KeyAction::sendBytes:
        if (!sendKeyAction(port, t, a)) return 0;
        break;
    }
    if (a.dropChar) {
        // The key's character message is already queued when the loop
        // translated the key; none comes for some chords (Ctrl+Tab), and
        // nothing here waits for one.
        MSG m;
        PeekMessageA(&m, window, WM_CHAR, WM_CHAR, PM_REMOVE);
    }
    return 0;
}

} // namespace

KeyEvent keyEventOf(UINT message, WPARAM wParam, LPARAM lParam) {
    KeyEvent event{};
    event.message = message == WM_HELP ? KeyMessage::help
                    : message == WM_SYSKEYDOWN ? KeyMessage::sysKeyDown
                                               : KeyMessage::keyDown;
    event.virtualKey = static_cast<UINT>(wParam);
    event.keyData = message == WM_HELP ? 0 : lParam;
    event.ctrl = GetKeyState(VK_CONTROL) < 0;
    event.shift = GetKeyState(VK_SHIFT) < 0;
    return event;
}

void sendTypedChar(LONG port, TerminalRecord &t, BYTE c) {
    if (PortHold h{port}) putByte(*h, c);
    if (t.localEcho) {
        const char text[2] = {static_cast<char>(c), 0};
        echo(port, t, EchoKind::character, text);
    }
}

bool sendKeyAction(LONG port, TerminalRecord &t, const KeyAction &a) {
    if (a.kind == KeyAction::sendText) {
        if (PortHold h{port}) putEach(*h, reinterpret_cast<const char *>(a.bytes), a.count);
        return !a.echo || echo(port, t, EchoKind::keyString, a.text);
    }
    if (a.kind == KeyAction::sendBytes)
        if (PortHold h{port})
            for (int i = 0; i < a.count; i++) putByte(*h, a.bytes[i]);
    return true;
}

void flushEchoes(LONG port, TerminalRecord &t) {
    if (t.emu.readBusy || t.feeding || !t.echoCount) return;
    PendingEcho queued[kEchoQueue];
    const int n = t.echoCount;
    std::memcpy(queued, t.echoes, sizeof queued);
    t.echoCount = 0;
    for (int i = 0; i < n; i++)
        if (!echo(port, t, queued[i].kind, queued[i].text)) return;
}

bool keyboardMessage(LONG port, TerminalRecord &t, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     LRESULT &result) {
    switch (message) {
    case WM_CHAR:
        sendTypedChar(port, t, static_cast<BYTE>(wParam & 0xFF));
        result = 0;
        return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_HELP:
        result = keyMessage(port, t, window, message, wParam, lParam);
        return true;
    default:
        return false;
    }
}

} // namespace vorlex

using namespace vorlex;

extern "C" {

LONG WINAPI Func088(LONG port, LONG type, LPCSTR path) { return changeTerminalType(port, type, path); }

} // extern "C"

LONG vorlex::changeTerminalType(LONG port, LONG type, LPCSTR path) {
    if (!terminalOpen(port)) return 1;
    TerminalRecord *t = terminalRecord(port);
    if (!t) return 1;
    const LONG r = setTerminalType(type, path, t->keyboardMap, t->emu.emulation, t->keyboardFileName);
    if (r != kKeyboardLoaded) return r;
    if (typeUsesMap(type)) applyScreenSettings(t->emu, t->keyboardMap.image);
    InvalidateRect(t->statusWindow, nullptr, TRUE);
    return 0;
}

extern "C" {

void WINAPI Func036(LONG port, LPSTR returnText, LPSTR keypadEnterText) {
    TerminalRecord *t = terminalOpen(port) ? terminalRecord(port) : nullptr;
    if (!t) {
        // No terminal: no strings, rather than a read of nothing.
        if (returnText) returnText[0] = '\0';
        if (keypadEnterText) keypadEnterText[0] = '\0';
        return;
    }
    enterKeyStrings(t->keyboardMap, t->emu.emulation, returnText, keypadEnterText);
}

} // extern "C"
