// Screen buffer primitives: cells written, rows moved and blanked, and the
// window told which cells changed.
#include "emulation/screen.h"

#include <algorithm>
#include <cstring>

namespace vorlex {

namespace {

// Keyboard map offsets of the screen words (little-endian 16-bit).
constexpr int kMapScreenRows = 1784;
constexpr int kMapScreenColumns = 1786;
constexpr int kMapStripEighthBit = 1790;
constexpr int kMapDestructiveBackspace = 1792;
constexpr int kMapAutoWrap = 1796;

WORD mapWord(const BYTE *map, int offset) {
    return WORD(map[offset] | map[offset + 1] << 8);
}

Cell blank(const EmulatorState &s) {
    return Cell{' ', BYTE(s.currentAttribute)};
}

void fillCells(Cell *first, int count, Cell value) {
    std::fill(first, first + count, value);
}

bool cursorInBuffer(const EmulatorState &s) {
    return unsigned(s.cursorRow) < unsigned(kScreenRows) &&
           unsigned(s.cursorColumn) < unsigned(kScreenColumns);
}

} // namespace

int rowsInUse(const EmulatorState &s) {
    return s.screenRows >= 1 && s.screenRows <= kScreenRows ? s.screenRows : kScreenRows;
}

int columnsInUse(const EmulatorState &s) {
    return s.screenColumns >= 1 && s.screenColumns <= kScreenColumns ? s.screenColumns : kScreenColumns;
}

void applyScreenSettings(EmulatorState &s, const BYTE *map) {
    s.screenRows = mapWord(map, kMapScreenRows);
    s.screenColumns = mapWord(map, kMapScreenColumns);
    s.stripEighthBit = mapWord(map, kMapStripEighthBit);
    s.destructiveBackspace = mapWord(map, kMapDestructiveBackspace);
    s.autoWrap = mapWord(map, kMapAutoWrap);
}

void resetEmulator(EmulatorState &s, BYTE attribute) {
    std::memset(&s, 0, sizeof s);
    s.currentAttribute = s.defaultAttribute = attribute;
    fillScreen(s);
}

void updateCaret(EmulatorState &s, EmulatorHost &host) {
    host.placeCaret(s.cursorRow, s.cursorColumn);
}

void putCell(EmulatorState &s, EmulatorHost &host, BYTE character) {
    if (!cursorInBuffer(s))
        return;
    cellAt(s, s.cursorRow, s.cursorColumn) = Cell{character, BYTE(s.currentAttribute)};
    host.invalidateCells(s.cursorRow, s.cursorColumn, s.cursorColumn);
}

void scrollScreenUp(EmulatorState &s) {
    std::memmove(s.cells, s.cells + kScreenColumns, sizeof(Cell) * (kCellCount - kScreenColumns));
    fillCells(&cellAt(s, kLastRow, 0), kScreenColumns, blank(s));
}

void fillScreen(EmulatorState &s) {
    fillCells(s.cells, kCellCount, blank(s));
}

void clearScreen(EmulatorState &s, EmulatorHost &host) {
    s.currentAttribute = s.defaultAttribute;
    fillScreen(s);
    s.cursorRow = s.cursorColumn = 0;
    host.resetView();
    host.invalidateAll();
    updateCaret(s, host);
}

void eraseToEndOfLine(EmulatorState &s, EmulatorHost &host) {
    if (!cursorInBuffer(s))
        return;
    fillCells(&cellAt(s, s.cursorRow, s.cursorColumn), kScreenColumns - s.cursorColumn, blank(s));
    host.invalidateCells(s.cursorRow, s.cursorColumn, kLastColumn);
}

void eraseToEndOfScreen(EmulatorState &s, EmulatorHost &host) {
    if (!cursorInBuffer(s))
        return;
    Cell *from = &cellAt(s, s.cursorRow, s.cursorColumn);
    fillCells(from, int(s.cells + kCellCount - from), blank(s));
    host.invalidateAll();
}

} // namespace vorlex
