// The sample sheet: every code page 437 character in the terminal's font
// at two sizes, and a sentence in the dialog font, dark on the button face
// and light on black. Set VORLEX_FONTSHEET to a file name to keep it as a
// PNG for a person to look at.
#include "canvas.h"
#include "display/png.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace gditest;

namespace {

constexpr uint32_t kButtonFace = 0xC0C0C0;

// Draws the 16 x 16 table of a CP437 font at (x0, y0), one cell per call as
// the terminal paints; returns the cells that got no ink.
std::vector<int> codeTable(Canvas &c, const Font &f, int x0, int y0, uint32_t color) {
    const int w = f.metrics().aveCharWidth, h = f.metrics().height;
    std::vector<int> blank;
    for (int ch = 0; ch < 256; ++ch) {
        const int x = x0 + (ch % 16) * w, y = y0 + (ch / 16) * h;
        const char s = char(ch);
        f.draw(c.surface, x, y, &s, 1, color, c.all());
        if (c.inkCount(x, y, x + w, y + h) == 0)
            blank.push_back(ch);
    }
    return blank;
}

// Box-drawing in use: a double frame with a single divider and shading.
void frame(Canvas &c, const Font &f, int x0, int y0, uint32_t color) {
    const char *rows[] = {
        "\xC9\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xD1\xCD\xCD\xCD\xCD\xCD\xBB",
        "\xBA Status \xB3 \xB0\xB1\xB2\xDB\xBA",
        "\xC7\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC5\xC4\xC4\xC4\xC4\xC4\xB6",
        "\xBA Online \xB3 \xDC\xDF\xDD\xDE\xBA",
        "\xC8\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCD\xCF\xCD\xCD\xCD\xCD\xCD\xBC",
    };
    for (int r = 0; r < 5; ++r)
        f.draw(c.surface, x0, y0 + r * f.metrics().height, rows[r], 16, color, c.all());
}

TEST(FontSheet, EveryCharacterOfTheTerminalFontDraws) {
    Canvas c(760, 640, kButtonFace);
    auto t18 = terminal(-18), t15 = terminal(-15), t12 = terminal(-12);
    // Dark on the button face, then light on black.
    for (int y = 300; y < 640; ++y)
        for (int x = 0; x < 760; ++x)
            c.pixels[size_t(y) * 760 + x] = 0;
    c.background = 0;  // only the lower half is checked against black
    std::vector<int> blank18 = codeTable(c, *t18, 10, 330, 0xC0C0C0);
    std::vector<int> blank15 = codeTable(c, *t15, 190, 330, 0xFFFFFF);
    // Blank in code page 437: NUL, space and the no-break space only.
    EXPECT_EQ(blank18, (std::vector<int>{0x00, 0x20, 0xFF}));
    EXPECT_EQ(blank15, (std::vector<int>{0x00, 0x20, 0xFF}));
    frame(c, *t18, 350, 330, 0x00FFFF);
    frame(c, *t12, 350, 440, 0xFFFF00);
    frame(c, *t15, 520, 330, 0x00FF00);

    c.background = kButtonFace;
    std::vector<int> top18 = codeTable(c, *t18, 10, 10, 0);
    std::vector<int> top15 = codeTable(c, *t15, 190, 10, 0x000080);
    EXPECT_EQ(top18, blank18);
    frame(c, *t18, 350, 10, 0);

    const char *sentence = "The quick brown fox jumps over the lazy dog. 0123456789 \x80\xA3 \xE9\xE8\xFC";
    const char *dialog = "Receiving ZMODEM.TXT  Bytes: 123456  CPS: 1920  Cancel  OK  &Help";
    const int y = 120;
    auto sans = font("MS Sans Serif", -11);
    auto bold = font("MS Sans Serif", -11, 700);
    auto system = font("System", 0);
    auto arial = font("Arial", -13);
    auto courier = font("Courier New", -13);
    sans->draw(c.surface, 350, y, sentence, int(strlen(sentence)), 0, c.all());
    sans->draw(c.surface, 350, y + 16, dialog, int(strlen(dialog)), 0, c.all());
    bold->draw(c.surface, 350, y + 32, dialog, int(strlen(dialog)), 0, c.all());
    system->draw(c.surface, 350, y + 48, "System: Communications Errors", 29, 0, c.all());
    arial->draw(c.surface, 350, y + 68, sentence, int(strlen(sentence)), 0x800000, c.all());
    courier->draw(c.surface, 350, y + 88, sentence, int(strlen(sentence)), 0x000080, c.all());
    sans->draw(c.surface, 350, 600, sentence, int(strlen(sentence)), 0xFFFFFF, c.all());
    EXPECT_GT(c.inkCount(350, y, 760, y + 13), 300);

    if (const char *path = std::getenv("VORLEX_FONTSHEET")) {
        ASSERT_TRUE(winapi::display::writePng(path, c.pixels.data(), 760, 640, 760));
    }
}

}  // namespace
