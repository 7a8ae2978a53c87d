// ANSI/VT100 byte scripts, by sequence family. Each script runs in whole
// chunks and a byte per chunk.
#include "harness.h"

using namespace std::string_literals;

namespace emu {
namespace {

const std::string kRowU(88, 'U'), kRowV(88, 'V'), kBlankRow(88, ' ');

// Rows hold 'A' + row % 26 (row 97 'T', 98 'U', 99 'V'); cursor on row 98.
void nearBottom(Terminal &t) {
    t.fillRows();
    t.moveTo(98, 5);
}

TEST(Controls, PrintingAndControlBytes) {
    runScripts({}, {
        {"LF keeps the column", "ab\n", 1, 2},
        {"CR", "abc\r", 0, 0, -1, {{0, 0, "abc"}}},
        {"BS at column 0 does nothing", "\b", 0, 0},
        {"BS does not blank", "ab\b", 0, 1, -1, {{0, 0, "ab"}}},
        {"HT to the next multiple of 8", "abc\t", 0, 8},
        {"HT stops at column 87", ESC "[1;86H\t\t", 0, 87},
        {"printing stays in column 87", ESC "[1;87Hxyz", 0, 87, -1, {{0, 86, "xz"}}},
        {"NUL and other control bytes are printed", "\x01\0\x7f"s, 0, 3, -1, {{0, 0, "\x01\0\x7f"s}}},
        {"0xFF prints a space", "a\xFF" "b", 0, 3, -1, {{0, 0, "a b"}}},
        {"BEL prints nothing", "a\ab", 0, 2, -1, {{0, 0, "ab "}}},
        {"FF clears the screen", "abc" ESC "[31m\f", 0, 0, 0x07, {{0, 0, "   ", 0x07}}},
    });
}

TEST(Controls, DestructiveBackspaceBlanksInCurrentAttribute) {
    runScripts({kIbmAnsi, 0x07, [](Terminal &t) { t.s->destructiveBackspace = 1; }}, {
        {"BS blanks", "abc" ESC "[44m\b\b", 0, 1, -1, {{0, 0, "a  "}, {0, 1, "  ", 0x17}}},
    });
}

TEST(Controls, AutoWrapWithinTheConfiguredScreen) {
    auto wrap80x24 = [](Terminal &t) {
        t.s->autoWrap = 1;
        t.s->screenColumns = 80;
        t.s->screenRows = 24;
    };
    runScripts({kIbmAnsi, 0x07, wrap80x24}, {
        {"wraps after the last configured column", ESC "[1;79Habc", 1, 1, -1, {{0, 78, "ab"}, {1, 0, "c"}}},
        {"does not scroll on the last configured row", ESC "[24;80Hxy", 23, 1, -1, {{23, 79, "x"}, {23, 0, "y"}}},
    });
    // A map without screen words must not send the cursor off the buffer.
    runScripts({kIbmAnsi, 0x07, [](Terminal &t) { t.s->autoWrap = 1; }}, {
        {"unset size wraps at column 87", ESC "[1;88Hxy", 1, 1, -1, {{0, 87, "x"}, {1, 0, "y"}}},
    });
}

TEST(CursorMoves, PositionAndRelativeMoves) {
    runScripts({}, {
        {"position", ESC "[5;10H", 4, 9},
        {"position without parameters homes", "abc" ESC "[H", 0, 0},
        {"position with zeros", ESC "[0;0f", 0, 0},
        {"position with an empty row", ESC "[;5f", 0, 4},
        {"column stops at 87", ESC "[3;200H", 2, 87},
        {"up stops at row 0", ESC "[4;1H" ESC "[9A", 0, 0},
        {"up by 0 moves one", ESC "[4;6H" ESC "[0A", 2, 5},
        {"down", ESC "[4;6H" ESC "[3B", 6, 5},
        {"forward 500 is 244 and stops at 87", ESC "[500C", 0, 87},
        {"back", ESC "[1;10H" ESC "[3D", 0, 6},
        {"back stops at 0", ESC "[1;10H" ESC "[20D", 0, 0},
        {"next line ignores its parameter", ESC "[3;9H" ESC "[5E", 3, 0},
        {"save and restore", ESC "[3;9H" ESC "[s" ESC "[10;1H" ESC "[u", 2, 8},
        {"question mark goes on", ESC "[?5C", 0, 5},
        {"CR inside a sequence ends it", "abc" ESC "[\rd", 0, 4, -1, {{0, 0, "abcd"}}},
        {"a byte of 128 or more ends it", ESC "[\xC4" "x", 0, 1, -1, {{0, 0, "x "}}},
        {"IBM ANSI: ESC 7 prints nothing", "ab" ESC "7c", 0, 3, -1, {{0, 0, "abc "}}},
    });
}

TEST(CursorMoves, BottomRowScrollsOnce) {
    runScripts({kIbmAnsi, 0x07, nearBottom}, {
        {"LF on row 98", "\n", 98, 5, -1, {{97, 0, kRowU}, {98, 0, kRowV}, {99, 0, kBlankRow, 0x07}}},
        {"down 5 on row 98", ESC "[5B", 98, 5, -1, {{97, 0, kRowU}, {99, 0, kBlankRow}}},
        {"next line on row 98", ESC "[E", 98, 0, -1, {{97, 0, kRowU}}},
        {"position on row 100", ESC "[100;1H", 98, 0, -1, {{97, 0, kRowU}}},
        {"position on row 255", ESC "[255;3H", 98, 2, -1, {{97, 0, kRowU}}},
    });
    // An IBM3161 move may leave the cursor on row 99; a line feed must not
    // take it past the buffer.
    runScripts({kIbmAnsi, 0x07, [](Terminal &t) { t.fillRows(); t.moveTo(99, 0); }}, {
        {"LF on row 99", "\nx", 98, 1, -1, {{98, 0, "x" + kRowV.substr(1)}, {99, 0, kBlankRow}}},
    });
}

TEST(Erasing, ScreenAndLine) {
    auto busy = [](Terminal &t) {
        t.fillRows();
        t.moveTo(3, 10);
        t.s->currentAttribute = 0x4E;
    };
    runScripts({kIbmAnsi, 0x1F, busy}, {
        {"2J clears with the default attribute", ESC "[2J", 0, 0, 0x1F, {{0, 0, kBlankRow, 0x1F}, {99, 0, kBlankRow, 0x1F}}},
        {"J clears all", ESC "[J", 0, 0, 0x1F, {{2, 0, kBlankRow, 0x1F}}},
        {"1J clears all", ESC "[1J", 0, 0, 0x1F, {{5, 0, kBlankRow, 0x1F}}},
        {"K erases to the end of the line", ESC "[K", 3, 10, 0x4E,
         {{3, 0, std::string(10, 'D'), 0x03}, {3, 10, std::string(78, ' '), 0x4E}, {4, 0, std::string(88, 'E')}}},
        {"1K also erases to the end", ESC "[1K", 3, 10, 0x4E, {{3, 9, "D "}}},
        {"2K also erases to the end", ESC "[2K", 3, 10, 0x4E, {{3, 9, "D "}}},
    });
}

TEST(Rendition, AttributesAndColourMapping) {
    runScripts({}, {
        {"bright red on blue", ESC "[1;31;44m", 0, 0, 0x1C},
        {"printed cells carry it", ESC "[44;1mab", 0, 2, 0x1F, {{0, 0, "ab", 0x1F}, {0, 2, " ", 0x07}}},
        {"yellow foreground", ESC "[33m", 0, 0, 0x06},
        {"cyan background", ESC "[46m", 0, 0, 0x37},
        {"reverse", ESC "[1;7m", 0, 0, 0x70},
        {"hidden", ESC "[8m", 0, 0, 0x00},
        {"empty list resets", ESC "[1;31m" ESC "[m", 0, 0, 0x07},
        {"empty last parameter resets", ESC "[31;m", 0, 0, 0x07},
        {"values wrap modulo 256", ESC "[287m", 0, 0, 0x04},
        {"undefined values ignored", ESC "[38;5;196;2;3;4;5;6;9m", 0, 0, 0x07},
        {"ten parameters", ESC "[1;1;1;1;1;1;1;1;1;31m", 0, 0, 0x0C},
        {"a tenth separator ends the sequence", ESC "[1;1;1;1;1;1;1;1;1;1;31m", 0, 3, 0x07, {{0, 0, "31m"}}},
    });
    runScripts({kIbmAnsi, 0x0F}, {{"black on black keeps bright", ESC "[40;30m", 0, 0, 0x08}});
    runScripts({kIbmAnsi, 0x1F}, {{"IBM ANSI reset is 0x07", ESC "[1;5m" ESC "[0m", 0, 0, 0x07}});
    runScripts({kAnsiEx, 0x1F}, {{"ANSI EX reset is 0x07", ESC "[0m", 0, 0, 0x07}});
    runScripts({kVt100, 0x1F}, {{"VT100 reset is the default without bright", ESC "[0m", 0, 0, 0x17}});
}

// ESC ( is a VT100 sequence; IBM ANSI wants "[" after ESC.
TEST(CharacterSets, LineDrawing) {
    runScripts({}, {{"IBM ANSI drops ESC (", ESC "(0lqk", 0, 4, -1, {{0, 0, "0lqk"}}}});
    runScripts({kVt100}, {
        {"corner, line, corner", ESC "(0lqk", 0, 3, -1, {{0, 0, "\xDA\xC4\xBF"}}},
        {"back to ASCII", ESC "(0lq" ESC "(Bk", 0, 3, -1, {{0, 0, "\xDA\xC4k"}}},
        {"A also ends it", ESC ")0" ESC "(Aq", 0, 1, -1, {{0, 0, "q"}}},
        {"the map's ends", ESC "(0_`a~", 0, 4, -1, {{0, 0, " \x04\xF0\xFA"}}},
        {"outside 5F..7E unchanged", ESC "(0A^x", 0, 3, -1, {{0, 0, "A^\xB3"}}},
        {"an unknown set changes nothing", ESC "(Xq", 0, 1, -1, {{0, 0, "q"}}},
    });
}

TEST(Modes, DoorWay) {
    struct Case {
        const char *name;
        std::string input;
        LONG doorWay;
        std::vector<bool> told;
    } cases[] = {
        {"on", ESC "[=255h", 1, {true}},
        {"on and off", ESC "[=255h" ESC "[=255l", 0, {true, false}},
        {"without = nothing", ESC "[255h", 0, {}},
        {"other values nothing", ESC "[=7h", 0, {}},
        {"= is cleared by set mode", ESC "[=7h" ESC "[255h", 0, {}},
        {"= survives other sequences", ESC "[=m" ESC "[255h", 1, {true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Terminal t;
        t.feed(c.input);
        EXPECT_EQ(t.s->doorWayMode, c.doorWay);
        EXPECT_EQ(t.host.doorWay, c.told);
        EXPECT_EQ(t.s->escapeActive, 0);
    }
}

TEST(Replies, DeviceStatusAndAttributes) {
    const std::string position = ESC "[1;1R", attributes = ESC "[?1;2c";
    runScripts({}, {
        {"status 6", "ab" ESC "[6n", 0, 2, -1, {}, position},
        {"status 5 gives the same", ESC "[5;9H" ESC "[5n", 4, 8, -1, {}, position},
        {"attributes", ESC "[c" ESC "[0c", 0, 0, -1, {}, attributes + attributes},
    });
}

TEST(Emulations, Vt100TakesFinalBytesAfterEsc) {
    runScripts({kVt100}, {
        {"ESC 7 and ESC 8", "ab" ESC "7" ESC "[5;5H" ESC "8", 0, 2},
        {"ESC E", "ab" ESC "E", 1, 0},
        {"other digits go on", "ab" ESC "3D", 0, 1},
        {"ESC M is dropped", ESC "Mx", 0, 1, -1, {{0, 0, "x"}}},
    });
}

TEST(Emulations, TtyPrintsEsc) {
    for (LONG type : {kTty, kTtyEx})
        runScripts({type}, {{"ESC [ 2 J printed", "a" ESC "[2J", 0, 5, -1, {{0, 0, "a\x1b[2J"}}}});
}

TEST(Capture, PrintedAndCarriedOutBytesOnly) {
    struct Case {
        LONG emulation;
        std::string input, captured;
    } cases[] = {
        {kIbmAnsi, "a" ESC "[2Jb\r\n\a", "ab\r\n\a"},
        {kVt100, ESC "(0q\xFF", "\xC4\xFF"},
        {kIbm3161, ESC "Y!*z", "z"},
        {kTty, ESC "[m", ESC "[m"},
    };
    for (const Case &c : cases) {
        Terminal t(c.emulation);
        t.feed(c.input);
        EXPECT_EQ(t.host.captured, c.captured);
    }
}

// What the window is asked to do, in order.
TEST(Window, RepaintScrollCaretAndBeep) {
    struct Case {
        int row, column;
        std::string input, calls;
    } cases[] = {
        {2, 3, "A", "cells 2:3-3"},
        {2, 4, "\n", "reveal 3 now caret 3,4"},
        {98, 0, "\n", "up now caret 98,0"},
        {3, 4, ESC "[K", "cells 3:4-87"},
        {5, 5, "\f", "reset all caret 0,0"},
        {97, 1, ESC "[5B", "all caret 98,1"},
        {1, 1, ESC "[3C\r\a", "caret 1,4 caret 1,0 beep"},
        {0, 2, "\b", "caret 0,1"},
    };
    for (const Case &c : cases) {
        Terminal t;
        t.moveTo(c.row, c.column);
        t.host.logging = true;
        t.feed(c.input);
        EXPECT_EQ(t.host.log, c.calls) << c.input;
    }
}

} // namespace
} // namespace emu
