// Differential test against libvterm on the part of ANSI where both must
// agree: printable text, CR, LF, BS, HT, cursor position and moves, erase to
// end of line, SGR 0, 1, 30-37 and 40-47. libvterm gets a 99-row screen: our
// line feed scrolls before the 100th buffer row, so rows 0..98 are the
// screen both keep. Auto-wrap is off on both sides.
#include "harness.h"

#include <vterm.h>

#include <random>

namespace emu {
namespace {

constexpr int kVtRows = kLastRow; // 99

struct Vterm {
    VTerm *vt = vterm_new(kVtRows, kScreenColumns);
    VTermScreen *screen = vterm_obtain_screen(vt);
    VTermState *state = vterm_obtain_state(vt);

    Vterm() {
        vterm_set_utf8(vt, 0);
        vterm_screen_reset(screen, 1);
        write(ESC "[?7l");
    }
    ~Vterm() { vterm_free(vt); }
    void write(const std::string &bytes) { vterm_input_write(vt, bytes.data(), bytes.size()); }
};

// libvterm's cell as our character and attribute. Its colours are ANSI
// numbers (bit 0 red, bit 1 green, bit 2 blue), ours the PC's (bit 0 blue,
// bit 1 green, bit 2 red); the defaults are white on black, our 0x07; bold is
// our bright bit.
Cell asOurs(const VTermScreenCell &c) {
    auto colour = [](const VTermColor &col, int byDefault) {
        if (VTERM_COLOR_IS_DEFAULT_FG(&col) || VTERM_COLOR_IS_DEFAULT_BG(&col))
            return byDefault;
        EXPECT_TRUE(VTERM_COLOR_IS_INDEXED(&col));
        EXPECT_LT(col.indexed.idx, 8);
        int ansi = col.indexed.idx;
        return (ansi & 1) << 2 | (ansi & 2) | (ansi & 4) >> 2;
    };
    BYTE ch = c.chars[0] ? BYTE(c.chars[0]) : ' ';
    return Cell{ch, BYTE(colour(c.fg, 7) | (c.attrs.bold ? 0x08 : 0) | colour(c.bg, 0) << 4)};
}

// Random streams of the common subset. The generator looks at our cursor to
// keep cursor-down off the last row: we scroll when a move passes the bottom
// (and so does a position on row 100 or more), libvterm stops there. Next
// line (ESC [ E) is left out: we ignore its count and scroll at the bottom.
// A line feed that scrolls is left out while our hidden row 99 has another
// background than the current one: the row that scrolls into view is that
// row, blanked by the previous scroll, where libvterm blanks a new line in
// the current background.
struct Generator {
    std::mt19937 random;
    explicit Generator(unsigned seed) : random(seed) {}

    int upTo(int n) { return std::uniform_int_distribution<int>(0, n)(random); }
    std::string number(int max) { return upTo(3) ? std::to_string(upTo(max)) : ""; }

    std::string token(const EmulatorState &ours) {
        switch (upTo(14)) {
        case 0: return "\r";
        case 1: {
            bool sameBlank = (cellAt(ours, kLastRow, 0).attribute & 0x70) == (ours.currentAttribute & 0x70);
            return ours.cursorRow < kBottomRow || sameBlank ? "\n" : "";
        }
        case 2: return "\b";
        case 3: return "\t";
        case 4: return ESC "[" + number(99) + ";" + number(120) + (upTo(1) ? "H" : "f");
        case 5: return ESC "[" + number(120) + "A";
        case 6: {
            int room = kBottomRow - ours.cursorRow;
            return room > 0 ? ESC "[" + std::to_string(1 + upTo(room - 1)) + "B" : "";
        }
        case 7: return ESC "[" + number(120) + "C";
        case 8: return ESC "[" + number(120) + "D";
        case 9: return upTo(1) ? ESC "[K" : ESC "[0K";
        case 10: case 11: {
            std::string sgr = ESC "[";
            for (int i = upTo(3); i >= 0; --i) {
                static const int kinds[] = {0, 1, 30, 40};
                int kind = kinds[upTo(3)];
                sgr += std::to_string(kind >= 30 ? kind + upTo(7) : kind) + (i ? ";" : "");
            }
            return sgr + "m";
        }
        default: {
            std::string text;
            for (int i = upTo(30); i >= 0; --i)
                text += char(0x20 + upTo(0x5E));
            return text;
        }
        }
    }
};

void compare(const Terminal &ours, const Vterm &theirs, const std::string &stream) {
    VTermPos cursor;
    vterm_state_get_cursorpos(theirs.state, &cursor);
    ASSERT_EQ(ours.s->cursorRow, cursor.row) << stream;
    ASSERT_EQ(ours.s->cursorColumn, cursor.col) << stream;
    for (int row = 0; row < kVtRows; ++row) {
        for (int column = 0; column < kScreenColumns; ++column) {
            VTermScreenCell cell;
            vterm_screen_get_cell(theirs.screen, VTermPos{row, column}, &cell);
            Cell want = asOurs(cell), got = cellAt(*ours.s, row, column);
            ASSERT_EQ(int(got.character), int(want.character)) << "at " << row << "," << column << " after " << stream;
            // A blank shows only its background.
            BYTE mask = got.character == ' ' ? 0x70 : 0xFF;
            ASSERT_EQ(got.attribute & mask, want.attribute & mask) << "at " << row << "," << column << " after " << stream;
        }
    }
}

TEST(AgainstLibvterm, CommonSubsetAgrees) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator generate(seed);
        Terminal ours;
        Vterm theirs;
        for (int stream = 0; stream < 60; ++stream) {
            std::string bytes;
            for (int i = 0; i < 40; ++i) {
                std::string t = generate.token(*ours.s);
                ours.feed(t);
                bytes += t;
            }
            theirs.write(bytes);
            compare(ours, theirs, bytes);
            if (HasFatalFailure())
                return;
        }
    }
}

} // namespace
} // namespace emu
