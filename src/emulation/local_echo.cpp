// Local echo of a mapped key string: the key's effect on our own screen, as
// the host would show it, without waiting for the host.
#include "emulation/interpreter.h"

#include <algorithm>

namespace vorlex {

namespace {

// To the previous tab stop (a true back tab, also off a stop).
void backTab(EmulatorState &s, EmulatorHost &host) {
    const LONG offset = s.cursorColumn % 8;
    s.cursorColumn = std::max<LONG>(s.cursorColumn - (offset ? offset : 8), 0);
    updateCaret(s, host);
}

// A key that sends ESC x.
void echoEscapeKey(EmulatorState &s, EmulatorHost &host, char x) {
    if (x == '<')
        putCell(s, host, ' ');
    if (s.emulation != kIbm3161)
        return;
    switch (x) {
    case '2': backTab(s, host); break;
    case 'A': case 'B': case 'C': case 'D': moveCursorWrapping(s, host, BYTE(x)); break;
    case 'H':
        s.cursorRow = s.cursorColumn = 0;
        updateCaret(s, host);
        break;
    case 'I': eraseToEndOfLine(s, host); break;
    case 'J': eraseToEndOfScreen(s, host); break;
    case 'L': clearScreen(s, host); break;
    }
}

} // namespace

void echoKeyString(EmulatorState &s, EmulatorHost &host, const char *text) {
    if (!text || text[0] != '^')
        return;
    if (text[1] == '[') {
        echoEscapeKey(s, host, text[2]);
        return;
    }
    switch (text[1] - 0x40) {
    case 0x08: backspace(s, host); break;
    case 0x09: tabForward(s, host, columnsInUse(s) - 1); break;
    case 0x0D:
        s.cursorColumn = 0;
        updateCaret(s, host);
        break;
    }
}

} // namespace vorlex
