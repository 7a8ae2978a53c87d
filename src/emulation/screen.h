// The terminal's screen buffer and the emulator's state, with the primitive
// screen operations the interpreter is built from. Nothing here knows a
// window: whatever must happen outside (repaint, scroll the view, beep,
// answer the host, read on from the port) goes through EmulatorHost, which the
// terminal's windows provide and the tests and benchmarks fake.
#pragma once

#include <windows.h>

namespace vorlex {

constexpr int kScreenRows = 100;
constexpr int kScreenColumns = 88;
constexpr int kLastRow = kScreenRows - 1;
constexpr int kLastColumn = kScreenColumns - 1;
constexpr int kCellCount = kScreenRows * kScreenColumns;
constexpr int kChunkSize = 176;
constexpr int kParameterCount = 10;
// A movement that would reach kLastRow scrolls and leaves the cursor here.
constexpr int kBottomRow = kLastRow - 1;

enum Emulation : LONG {
    kIbmAnsi = 0,
    kTty = 1,
    kVt100 = 2,
    kIbm3161 = 3,
    kAnsiEx = 4,
    kTtyEx = 5,
};

struct Cell {
    BYTE character;
    BYTE attribute; // IBM PC text attribute: bits 0-2 fg, 3 bright, 4-6 bg
};

// The emulator's part of the terminal record. Plain data: it lives in the
// zero-filled block of the record, and zero is a valid (blank) state. The
// view's fields (scrollX, scrollY, cellWidth, cellHeight, lastVisibleRow,
// caretShown, the window handles) stay with the window, which turns the cell
// positions given to EmulatorHost into pixels.
struct EmulatorState {
    Cell cells[kCellCount];            // row after row
    BYTE chunk[kChunkSize + 1];        // latest read from the port, NUL after it
    LONG chunkLength;
    LONG chunkIndex;                   // byte being interpreted
    LONG readBusy;                     // non-zero while a handler waits on the port
    DWORD currentAttribute;            // low byte used
    DWORD defaultAttribute;
    LONG emulation;                    // an Emulation code
    // Copies of the keyboard map's screen words (applyScreenSettings).
    WORD screenRows;
    WORD screenColumns;
    WORD stripEighthBit;
    WORD destructiveBackspace;
    WORD autoWrap;
    LONG cursorColumn;
    LONG cursorRow;
    BYTE currentByte;
    BYTE parameters[kParameterCount];  // decimal, modulo 256
    LONG escapeActive;
    LONG parameterIndex;               // 0..9
    LONG bracketSeen;
    LONG savedRow;
    LONG savedColumn;
    LONG equalsSeen;
    LONG doorWayMode;
    LONG lineDrawing;
};

// What the emulator asks of its window. Every call has a harmless default, so
// a host without a window (a benchmark) overrides nothing.
struct EmulatorHost {
    virtual ~EmulatorHost() = default;
    // Repaint cells firstColumn..lastColumn of a buffer row, without erasing.
    virtual void invalidateCells(int row, int firstColumn, int lastColumn) {}
    virtual void invalidateAll() {}
    // A line feed scrolled the buffer: move the window's contents up one row.
    virtual void scrollUp() {}
    // A line feed reached the row: scroll the view down a line when the row is
    // past the last one shown.
    virtual void revealRow(int row) {}
    // Paint what is invalid now.
    virtual void updateNow() {}
    // Clear screen: view offsets and scroll-bar positions back to 0.
    virtual void resetView() {}
    virtual void placeCaret(int row, int column) {}
    virtual void beep() {}
    // Send a reply to the host (a NUL-terminated text).
    virtual void reply(const char *text) {}
    // The host switched DoorWay mode: mark the menu or tell the owner.
    virtual void doorWayChanged(bool on) {}
    // A byte the interpreter printed or carried out, for the capture buffer;
    // the host appends it when capture is on and the receive trace is off.
    virtual void captureByte(BYTE b) {}
    // Around a handler that reads bytes after its own: the terminal clears the
    // port's renotify mark before, and re-posts the receive notification after
    // when the mark was set meanwhile.
    virtual void beginReadAhead() {}
    virtual void endReadAhead() {}
    // Waits up to ms for the next byte from the port: the byte, or -1.
    virtual int waitByte(DWORD ms) { return -1; }
};

// The configured screen size when it is usable, else the whole buffer: the
// keyboard map file supplies these words, and a 0 or an oversized value
// must not take the cursor outside the buffer.
int rowsInUse(const EmulatorState &s);
int columnsInUse(const EmulatorState &s);

// Copies screenRows, screenColumns, stripEighthBit, destructiveBackspace and
// autoWrap from a keyboard map image (1,806 bytes) into the state.
void applyScreenSettings(EmulatorState &s, const BYTE *keyboardMap);

// The state of a fresh terminal record: blank screen in the attribute.
void resetEmulator(EmulatorState &s, BYTE attribute);

inline Cell &cellAt(EmulatorState &s, int row, int column) {
    return s.cells[row * kScreenColumns + column];
}
inline const Cell &cellAt(const EmulatorState &s, int row, int column) {
    return s.cells[row * kScreenColumns + column];
}

void updateCaret(EmulatorState &s, EmulatorHost &host);
void putCell(EmulatorState &s, EmulatorHost &host, BYTE character);
void scrollScreenUp(EmulatorState &s);
void fillScreen(EmulatorState &s);
void clearScreen(EmulatorState &s, EmulatorHost &host);
void eraseToEndOfLine(EmulatorState &s, EmulatorHost &host);
void eraseToEndOfScreen(EmulatorState &s, EmulatorHost &host);

} // namespace vorlex
