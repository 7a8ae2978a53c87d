// IBM3161 sequences: ESC and a final byte, no "[", with the row, column and
// attribute bytes read straight after the final byte.
#include "emulation/interpreter.h"

namespace vorlex {

namespace {

// A missing byte counts as this in the handlers that read a value.
int orElse(int b, int missing) { return b < 0 ? missing : b; }

void wrapUp(EmulatorState &s) {
    if (--s.cursorRow < 0)
        s.cursorRow = rowsInUse(s) - 1;
}

void wrapDown(EmulatorState &s) {
    if (++s.cursorRow > rowsInUse(s) - 1)
        s.cursorRow = 0;
}

// ---- escape handlers, by final byte ----

bool ignore(EmulatorState &, EmulatorHost &, BYTE) { return kSequenceEnds; }

bool skipParameterString(EmulatorState &s, EmulatorHost &host, BYTE) { // SP ! # $ %
    ReadAhead readAhead(host);
    if (readAheadByte(s, host) != '9')
        return kSequenceEnds;
    for (int b; (b = readAheadByte(s, host)) >= 0 && !(b & 0x40);) {
    }
    return kSequenceEnds;
}

bool wrapControl(EmulatorState &s, EmulatorHost &host, BYTE) { // "
    ReadAhead readAhead(host);
    int b = readAheadByte(s, host);
    if (b == '9') {
        int mode = orElse(readAheadByte(s, host), 0);
        s.autoWrap = (mode & 0x04) != 0;
        if (!(mode & 0x40))
            readAheadByte(s, host);
    } else if (b == '7') {
        s.autoWrap = 1;
    }
    return kSequenceEnds;
}

bool setAttribute(EmulatorState &s, EmulatorHost &host, BYTE) { // 4
    ReadAhead readAhead(host);
    int b = orElse(readAheadByte(s, host), 0);
    if (b & 0x01) s.currentAttribute = 0x70;  // reverse
    if (b & 0x02) s.currentAttribute |= 0x01; // underline, shown blue
    if (b & 0x08) s.currentAttribute |= 0x08; // bright
    if (b & 0x10) s.currentAttribute = 0x00;  // invisible
    return kSequenceEnds;
}

bool cursorAddress(EmulatorState &s, EmulatorHost &host, BYTE) { // Y row column
    ReadAhead readAhead(host);
    int row = orElse(readAheadByte(s, host), 0xFF);
    int column = orElse(readAheadByte(s, host), 0xFF);
    BYTE row1 = BYTE(row - 31), column1 = BYTE(column - 31);
    if (row1 <= rowsInUse(s) && column1 <= columnsInUse(s))
        moveCursorTo(s, host, row1, column1);
    return kSequenceEnds;
}

bool wrappingMove(EmulatorState &s, EmulatorHost &host, BYTE b) { // A B C D
    moveCursorWrapping(s, host, b);
    return kSequenceEnds;
}

bool home(EmulatorState &s, EmulatorHost &host, BYTE) { // H
    moveCursorTo(s, host, 0, 0);
    return kSequenceEnds;
}

bool eraseLine(EmulatorState &s, EmulatorHost &host, BYTE) { // I
    eraseToEndOfLine(s, host);
    return kSequenceEnds;
}

bool eraseToEnd(EmulatorState &s, EmulatorHost &host, BYTE) { // J
    eraseToEndOfScreen(s, host);
    return kSequenceEnds;
}

bool clear(EmulatorState &s, EmulatorHost &host, BYTE) { // K L
    clearScreen(s, host);
    return kSequenceEnds;
}

} // namespace

constinit const EscapeTable ibm3161Table = makeEscapeTable(ignore, {
    {" !#$%", skipParameterString},
    {"\"", wrapControl},
    {"4", setAttribute},
    {"ABCD", wrappingMove},
    {"H", home},
    {"I", eraseLine},
    {"J", eraseToEnd},
    {"KL", clear},
    {"Y", cursorAddress},
});

void moveCursorWrapping(EmulatorState &s, EmulatorHost &host, BYTE direction) {
    switch (direction) {
    case 'A': wrapUp(s); break;
    case 'B': wrapDown(s); break;
    case 'C':
        if (++s.cursorColumn > columnsInUse(s) - 1) {
            s.cursorColumn = 0;
            if (s.autoWrap)
                wrapDown(s);
        }
        break;
    case 'D':
        if (--s.cursorColumn < 0) {
            s.cursorColumn = columnsInUse(s) - 1;
            wrapUp(s);
        }
        break;
    }
    updateCaret(s, host);
}

} // namespace vorlex
