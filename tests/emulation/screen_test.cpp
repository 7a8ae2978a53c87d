// Screen primitives, the screen words of the keyboard map, and the local
// echo of mapped key strings.
#include "harness.h"

#include <cstring>

namespace emu {
namespace {

int countCells(const EmulatorState &s, Cell value) {
    int n = 0;
    for (const Cell &c : s.cells)
        n += c.character == value.character && c.attribute == value.attribute;
    return n;
}

TEST(Screen, ScrollUpMovesRowsAndBlanksTheLast) {
    Terminal t;
    t.fillRows();
    t.s->currentAttribute = 0x1E;
    scrollScreenUp(*t.s);
    EXPECT_EQ(t.text(0), std::string(88, 'B'));
    EXPECT_EQ(t.attributeAt(0, 0), 1);
    EXPECT_EQ(t.text(98), std::string(88, 'V'));
    EXPECT_EQ(t.attributeAt(98, 87), 99);
    EXPECT_EQ(t.text(99), std::string(88, ' '));
    EXPECT_EQ(t.attributeAt(99, 0), 0x1E);
    EXPECT_EQ(t.attributeAt(99, 87), 0x1E);
}

TEST(Screen, FillUsesCurrentClearUsesDefault) {
    Terminal t(kIbmAnsi, 0x07);
    t.fillRows();
    t.feed(ESC "[1;37;44m");
    ASSERT_EQ(t.s->currentAttribute, 0x1Fu);
    fillScreen(*t.s);
    EXPECT_EQ(countCells(*t.s, {' ', 0x1F}), kCellCount);
    t.moveTo(7, 7);
    clearScreen(*t.s, t.host);
    EXPECT_EQ(countCells(*t.s, {' ', 0x07}), kCellCount);
    EXPECT_EQ(t.s->cursorRow, 0);
    EXPECT_EQ(t.s->cursorColumn, 0);
}

TEST(Screen, EraseToEndOfLineInTheLastColumnBlanksOneCell) {
    Terminal t;
    t.fillRows();
    t.moveTo(4, 87);
    eraseToEndOfLine(*t.s, t.host);
    EXPECT_EQ(t.text(4), std::string(87, 'E') + " ");
    EXPECT_EQ(countCells(*t.s, {' ', 0x07}), 1);
}

TEST(Screen, EraseToEndOfScreenFromHomeBlanksTheBuffer) {
    Terminal t;
    t.fillRows();
    eraseToEndOfScreen(*t.s, t.host);
    EXPECT_EQ(countCells(*t.s, {' ', 0x07}), kCellCount);
}

// The cursor fields are plain data other code may set: out of the buffer,
// nothing is written.
TEST(Screen, CursorOutsideTheBufferWritesNothing) {
    Terminal t;
    t.fillRows();
    auto before = std::make_unique<EmulatorState>(*t.s);
    const int places[][2] = {{100, 0}, {-1, 5}, {5, 88}, {5, -1}, {1 << 20, 1 << 20}};
    for (auto &p : places) {
        t.moveTo(p[0], p[1]);
        putCell(*t.s, t.host, 'x');
        eraseToEndOfLine(*t.s, t.host);
        eraseToEndOfScreen(*t.s, t.host);
        EXPECT_EQ(std::memcmp(t.s->cells, before->cells, sizeof before->cells), 0) << p[0] << "," << p[1];
    }
}

TEST(Screen, SizeInUseStaysInTheBuffer) {
    const int rows[][2] = {{0, 100}, {1, 1}, {24, 24}, {100, 100}, {101, 100}, {65535, 100}};
    const int columns[][2] = {{0, 88}, {1, 1}, {80, 80}, {88, 88}, {89, 88}, {65535, 88}};
    EmulatorState s{};
    for (auto &r : rows) {
        s.screenRows = WORD(r[0]);
        EXPECT_EQ(rowsInUse(s), r[1]) << r[0];
    }
    for (auto &c : columns) {
        s.screenColumns = WORD(c[0]);
        EXPECT_EQ(columnsInUse(s), c[1]) << c[0];
    }
}

TEST(Screen, SettingsFromTheKeyboardMap) {
    BYTE map[1806] = {};
    auto word = [&](int offset, WORD v) { map[offset] = BYTE(v); map[offset + 1] = BYTE(v >> 8); };
    word(1784, 24);
    word(1786, 80);
    word(1788, 0x7777); // not a screen word
    word(1790, 1);
    word(1792, 0x0100);
    word(1796, 2);
    EmulatorState s{};
    applyScreenSettings(s, map);
    EXPECT_EQ(s.screenRows, 24);
    EXPECT_EQ(s.screenColumns, 80);
    EXPECT_EQ(s.stripEighthBit, 1);
    EXPECT_EQ(s.destructiveBackspace, 0x0100);
    EXPECT_EQ(s.autoWrap, 2);
}

TEST(LocalEcho, KeyStrings) {
    struct Case {
        LONG emulation;
        int row, column;
        const char *text;
        int rowAfter, columnAfter;
        CellsExpected cells = {0, 0, ""};
    } cases[] = {
        {kVt100, 2, 5, "^H", 2, 4, {2, 5, "C"}},
        {kVt100, 2, 3, "^I", 2, 8},
        {kVt100, 2, 78, "^I", 2, 79},
        {kVt100, 2, 78, "^M", 2, 0},
        {kVt100, 2, 5, "^[<", 2, 5, {2, 4, "C C"}},
        {kVt100, 2, 5, "^[A", 2, 5},
        {kVt100, 2, 5, "plain", 2, 5},
        {kVt100, 2, 5, "^", 2, 5},
        {kVt100, 2, 5, "^[", 2, 5},
        {kVt100, 2, 5, nullptr, 2, 5},
        {kIbm3161, 0, 0, "^[A", 23, 0},
        {kIbm3161, 0, 0, "^[D", 23, 79},
        {kIbm3161, 5, 5, "^[H", 0, 0},
        {kIbm3161, 0, 12, "^[2", 0, 8},
        {kIbm3161, 0, 8, "^[2", 0, 0},
        {kIbm3161, 0, 3, "^[2", 0, 0},
        {kIbm3161, 3, 10, "^[I", 3, 10, {3, 9, "D "}},
        {kIbm3161, 3, 10, "^[J", 3, 10, {4, 0, "  "}},
        {kIbm3161, 3, 10, "^[L", 0, 0, {3, 0, "  "}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.text ? c.text : "null") + " type " + std::to_string(c.emulation));
        Terminal t(c.emulation);
        t.fillRows();
        t.s->screenRows = 24;
        t.s->screenColumns = 80;
        t.moveTo(c.row, c.column);
        echoKeyString(*t.s, t.host, c.text);
        EXPECT_EQ(t.s->cursorRow, c.rowAfter);
        EXPECT_EQ(t.s->cursorColumn, c.columnAfter);
        EXPECT_EQ(t.text(c.cells.row, c.cells.column, int(c.cells.text.size())), c.cells.text);
    }
}

TEST(LocalEcho, DestructiveBackspace) {
    Terminal t(kVt100);
    t.fillRows();
    t.s->destructiveBackspace = 1;
    t.moveTo(2, 5);
    echoKeyString(*t.s, t.host, "^H");
    EXPECT_EQ(t.text(2, 3, 3), "C C");
}

} // namespace
} // namespace emu
