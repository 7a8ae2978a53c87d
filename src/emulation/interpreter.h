// The byte interpreter: control bytes, the ANSI/VT100 and IBM3161 escape
// sequences, printing, and the local echo of mapped key strings.
#pragma once

#include "emulation/screen.h"

#include <array>

namespace vorlex {

// Interprets s.currentByte. The receive path sets chunkIndex to the byte's
// place in chunk first: a handler that needs the bytes after its own takes
// them from the rest of the chunk, then waits on the port for them.
void processByte(EmulatorState &s, EmulatorHost &host);

// Interprets one byte that is not in the receive chunk (a locally echoed
// character, a byte the application shows): a sequence it starts reads on
// from the port, never from a chunk already interpreted, and the receive
// chunk's position is left as it was.
void showByte(EmulatorState &s, EmulatorHost &host, BYTE b);

// Shows what a key's mapped string ("^[A", "^M", ...) does on the screen,
// for a key echoed locally.
void echoKeyString(EmulatorState &s, EmulatorHost &host, const char *text);

// The byte after the current one: from the chunk, else from the port within
// two seconds (readBusy set meanwhile). -1 when none came.
int readAheadByte(EmulatorState &s, EmulatorHost &host);

// IBM3161 cursor moves "A" up, "B" down, "C" right, "D" left, wrapping
// around the configured screen.
void moveCursorWrapping(EmulatorState &s, EmulatorHost &host, BYTE direction);

// An escape handler runs for one byte of a sequence; true when the sequence
// goes on, false when it ends.
using EscapeHandler = bool (*)(EmulatorState &, EmulatorHost &, BYTE);
using EscapeTable = std::array<EscapeHandler, 128>;

extern const EscapeTable ansiTable;
extern const EscapeTable ibm3161Table;
// ANSI colour number to the PC's colour bits.
inline constexpr BYTE colourMap[8] = {0, 4, 2, 6, 1, 5, 3, 7};
// Bytes 0x5F..0x7E to PC characters while line drawing is selected.
extern const BYTE lineDrawingMap[32];

// ---- shared by the handlers ----

constexpr bool kSequenceEnds = false;
constexpr bool kSequenceGoesOn = true;

struct TableEntry {
    const char *bytes;
    EscapeHandler handler;
};

// A table of 128 handlers: the listed bytes run theirs, every other byte
// the fallback.
constexpr EscapeTable makeEscapeTable(EscapeHandler fallback, std::initializer_list<TableEntry> entries) {
    EscapeTable table{};
    for (auto &h : table)
        h = fallback;
    for (const TableEntry &e : entries)
        for (const char *p = e.bytes; *p; ++p)
            table[BYTE(*p) & 0x7F] = e.handler;
    return table;
}

// The cursor-position rule: parameters count from 1 (0 counts as 1); a row
// that reaches the last buffer row scrolls once; the column stops at 87.
void moveCursorTo(EmulatorState &s, EmulatorHost &host, int row1, int column1);
void backspace(EmulatorState &s, EmulatorHost &host);
void tabForward(EmulatorState &s, EmulatorHost &host, int lastColumn);

// Brackets a handler that reads ahead.
struct ReadAhead {
    explicit ReadAhead(EmulatorHost &h) : host(h) { host.beginReadAhead(); }
    ~ReadAhead() { host.endReadAhead(); }
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;
    EmulatorHost &host;
};

} // namespace vorlex
