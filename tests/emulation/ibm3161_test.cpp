// IBM3161 sequences, and the read-ahead that takes a handler's bytes from the
// rest of the chunk or, past its end, from the port.
#include "harness.h"

#include <cstring>

namespace emu {
namespace {

void screen80x24(Terminal &t) {
    t.s->screenRows = 24;
    t.s->screenColumns = 80;
}

void screen80x24Wrapping(Terminal &t) {
    screen80x24(t);
    t.s->autoWrap = 1;
}

TEST(Ibm3161, CursorAddressing) {
    runScripts({kIbm3161, 0x07, screen80x24}, {
        {"0x20 0x20 homes", "abc" ESC "Y\x20\x20", 0, 0},
        {"row 1, column 10", ESC "Y\x21\x2A", 1, 10},
        {"row byte 0x1F is row 0", ESC "Y\x1F\x22", 0, 2},
        {"a low row byte moves nothing", "ab" ESC "Y\x10\x2A", 0, 2},
        {"last configured row and column", ESC "Y\x37\x6F", 23, 79},
        {"past the configured rows moves nothing", "ab" ESC "Y\x38\x20", 0, 2},
        {"past the configured columns moves nothing", "ab" ESC "Y\x20\x70", 0, 2},
        {"the address bytes are not printed", ESC "Y\x21\x2Az", 1, 11, -1, {{1, 9, " z "}}},
        {"home", "abc" ESC "H", 0, 0},
        {"ESC [ ends the sequence, [ dropped", ESC "[Ax", 0, 2, -1, {{0, 0, "Ax"}}},
    });
}

TEST(Ibm3161, WrappingMoves) {
    runScripts({kIbm3161, 0x07, screen80x24}, {
        {"left from the top-left corner", ESC "D", 23, 79},
        {"up from row 0", ESC "Y\x20\x25" ESC "A", 23, 5},
        {"down from the last row", ESC "Y\x37\x25" ESC "B", 0, 5},
        {"right from the last column stays on the row", ESC "Y\x22\x6F" ESC "C", 2, 0},
        {"right and left", ESC "Y\x22\x22" ESC "C" ESC "C" ESC "D", 2, 3},
    });
    runScripts({kIbm3161, 0x07, screen80x24Wrapping}, {
        {"right from the last column wraps the row", ESC "Y\x22\x6F" ESC "C", 3, 0},
        {"right from the last cell goes home", ESC "Y\x37\x6F" ESC "C", 0, 0},
    });
}

TEST(Ibm3161, Attributes) {
    runScripts({kIbm3161}, {
        {"reverse and underline", ESC "4\x03", 0, 0, 0x71},
        {"reverse then invisible", ESC "4\x11", 0, 0, 0x00},
        {"bright", ESC "4\x08x", 0, 1, 0x0F, {{0, 0, "x", 0x0F}}},
        {"no bit changes nothing", ESC "4\x40", 0, 0, 0x07},
    });
}

TEST(Ibm3161, Erasing) {
    auto busy = [](Terminal &t) {
        t.fillRows();
        t.moveTo(3, 10);
        t.s->currentAttribute = 0x4E;
    };
    runScripts({kIbm3161, 0x1F, busy}, {
        {"erase line", ESC "I", 3, 10, 0x4E, {{3, 9, "D "}, {3, 87, " ", 0x4E}, {4, 0, "E"}}},
        {"erase to end of screen", ESC "J", 3, 10, 0x4E,
         {{2, 87, "C"}, {3, 0, std::string(10, 'D') + " "}, {4, 0, std::string(88, ' '), 0x4E}, {99, 87, " ", 0x4E}}},
        {"K clears", ESC "K", 0, 0, 0x1F, {{3, 0, " ", 0x1F}}},
        {"L clears", ESC "L", 0, 0, 0x1F, {{99, 0, " ", 0x1F}}},
    });
}

// Auto-wrap shows in where the second of two bytes printed at column 79 goes.
TEST(Ibm3161, WrapControlAndSkippedStrings) {
    const std::string lastColumn = ESC "Y\x20\x6F";
    runScripts({kIbm3161, 0x07, screen80x24}, {
        {"9 with bit 2 wraps", ESC "\"9\x44" + lastColumn + "ab", 1, 1},
        {"9 without bit 6 drops one more byte", ESC "\"9\x04z" + lastColumn + "ab", 1, 1, -1, {{0, 0, " "}}},
        {"7 wraps", ESC "\"7" + lastColumn + "ab", 1, 1},
        {"other bytes change nothing", ESC "\"5" + lastColumn + "ab", 0, 81},
    });
    runScripts({kIbm3161, 0x07, screen80x24Wrapping}, {
        {"9 without bit 2 stops wrapping", ESC "\"9\x40" + lastColumn + "ab", 0, 81},
    });
    runScripts({kIbm3161}, {
        {"9 string skipped to a byte with bit 6", ESC "!912;@x", 0, 1, -1, {{0, 0, "x "}}},
        {"space string too", ESC " 9\x01\x02" "Ax", 0, 1, -1, {{0, 0, "x "}}},
        {"without 9 one byte skipped", ESC "$Qx", 0, 1, -1, {{0, 0, "x "}}},
    });
}

TEST(ReadAhead, SplitSequenceWaitsOnThePort) {
    Terminal t(kIbm3161);
    t.chunkSize = 2; // ESC Y in the chunk, the address still on the port
    t.feed(ESC "Y\x21\x2A");
    EXPECT_EQ(t.s->cursorRow, 1);
    EXPECT_EQ(t.s->cursorColumn, 10);
    EXPECT_EQ(t.host.waits, (std::vector<DWORD>{2000, 2000}));
    EXPECT_EQ(t.host.busyWhileWaiting, (std::vector<LONG>{1, 1}));
    EXPECT_EQ(t.s->readBusy, 0);
    EXPECT_EQ(t.host.readAheads, 1);
    EXPECT_EQ(t.host.readAheadDepth, 0);
}

TEST(ReadAhead, WithinTheChunkNoWait) {
    Terminal t(kIbm3161);
    t.feed(ESC "Y\x21\x2Az" ESC "(0");
    EXPECT_EQ(t.text(1, 10, 1), "z");
    EXPECT_TRUE(t.host.waits.empty());
}

TEST(ReadAhead, NothingArrives) {
    Terminal ibm(kIbm3161);
    ibm.feed("ab" ESC "Y");
    EXPECT_EQ(ibm.s->cursorColumn, 2);
    EXPECT_EQ(ibm.host.waits.size(), 2u);
    EXPECT_EQ(ibm.s->escapeActive, 0);

    Terminal ansi(kVt100);
    ansi.feed(ESC "(0" ESC "(");
    EXPECT_EQ(ansi.s->lineDrawing, 1);
    EXPECT_EQ(ansi.host.waits.size(), 1u);
    EXPECT_EQ(ansi.host.readAheadDepth, 0);
}

TEST(ReadAhead, PortBytesLoseTheEighthBitWhenStripped) {
    for (WORD strip : {0, 1}) {
        Terminal t(kIbm3161);
        t.s->stripEighthBit = strip;
        t.chunkSize = 2;
        t.feed(ESC "Y\xA1\xAA");
        EXPECT_EQ(t.s->cursorRow, strip ? 1 : 0);
        EXPECT_EQ(t.s->cursorColumn, strip ? 10 : 0);
    }
}

// Wherever the chunks split a stream, the screen comes out the same.
TEST(ReadAhead, EverySplitGivesTheSameScreen) {
    const std::string stream = "one" ESC "Y\x22\x25two" ESC "4\x08" "three" ESC "\"9\x04z" ESC "!9;;@" ESC "C"
                               ESC "$Q" ESC "Y\x37\x6Flast\r\n" ESC "A" ESC "4\x03x" ESC "J";
    Terminal whole(kIbm3161);
    screen80x24(whole);
    whole.feed(stream);
    for (int size = 1; size <= 24; ++size) {
        Terminal t(kIbm3161);
        screen80x24(t);
        t.chunkSize = size;
        t.feed(stream);
        EXPECT_EQ(std::memcmp(t.s->cells, whole.s->cells, sizeof whole.s->cells), 0) << "chunks of " << size;
        EXPECT_EQ(t.s->cursorRow, whole.s->cursorRow);
        EXPECT_EQ(t.s->cursorColumn, whole.s->cursorColumn);
        EXPECT_EQ(t.s->currentAttribute, whole.s->currentAttribute);
        EXPECT_EQ(t.s->autoWrap, whole.s->autoWrap);
    }
}

// A byte shown from outside the chunk (an echoed key) reads on from the
// port, not from the chunk that was interpreted before it.
TEST(ReadAhead, ShownByteDoesNotReadAStaleChunk) {
    Terminal t(kVt100);
    t.feed("ab0");
    showByte(*t.s, t.host, 0x1B);
    showByte(*t.s, t.host, '(');
    EXPECT_EQ(t.s->lineDrawing, 0) << "took the old chunk's '0'";
    EXPECT_EQ(t.host.waits.size(), 1u);
    EXPECT_EQ(t.s->chunkLength, 3);
    EXPECT_EQ(t.s->chunkIndex, 3);

    t.port.push_back('0');
    showByte(*t.s, t.host, 0x1B);
    showByte(*t.s, t.host, ')');
    EXPECT_EQ(t.s->lineDrawing, 1);
    showByte(*t.s, t.host, 'q');
    EXPECT_EQ(t.text(0, 3, 1), "\xC4");
}

} // namespace
} // namespace emu
