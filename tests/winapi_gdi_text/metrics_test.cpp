// Face choice and TEXTMETRIC figures, as the library's windows rely on them.
#include "canvas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace gditest;

namespace {

constexpr uint8_t kTmpfVariable = 0x01, kTmpfTrueType = 0x04;
constexpr uint8_t kFixedPitch = 1, kVariablePitch = 2, kFamilyRoman = 0x10, kFamilyModern = 0x30;

// Dialog base units from the 52 letters, as dialogs compute them.
int dialogBaseX(const Font &f) {
    const char *letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    return (int(f.extent(letters, 52).cx) / 26 + 1) / 2;
}

TEST(FontMetrics, DialogFaceEightPointIsThirteenPixels) {
    for (auto f : {font("MS Sans Serif", -11), font("MS Sans Serif", 13), font("MS Shell Dlg", -11)}) {
        const auto &m = f->metrics();
        EXPECT_EQ(f->faceName(), "MS Sans Serif");
        EXPECT_EQ(m.height, 13);
        EXPECT_EQ(m.ascent, 11);
        EXPECT_EQ(m.descent, 2);
        EXPECT_EQ(m.internalLeading, 2);
        EXPECT_EQ(m.externalLeading, 0);
        EXPECT_EQ(m.weight, 400);
        EXPECT_EQ(m.charSet, 0);
        EXPECT_EQ(f->codePage(), 1252);
        EXPECT_EQ(m.pitchAndFamily & 0xF0, 0x20);          // FF_SWISS
        EXPECT_EQ(m.pitchAndFamily & kTmpfVariable, kTmpfVariable);  // the bit set means variable pitch
        EXPECT_FALSE(f->fixedPitch());
        EXPECT_EQ(dialogBaseX(*f), 6);  // the classic 6 x 13 dialog units
        EXPECT_EQ(m.aveCharWidth, 5);
        EXPECT_GE(m.maxCharWidth, m.aveCharWidth);
        EXPECT_GT(m.maxCharWidth, f->advance('i'));
        EXPECT_EQ(m.firstChar, 0x20);
        EXPECT_EQ(m.lastChar, 0xFF);
    }
}

TEST(FontMetrics, TerminalSizesAreFixedPitchCodePage437) {
    struct Size { int height, width; };
    for (Size s : {Size{12, 6}, Size{15, 9}, Size{18, 10}}) {
        SCOPED_TRACE(s.height);
        for (const char *face : {"Terminal", "Fixedsys"}) {
            auto f = font(face, -s.height, 0, kOemCharset, kFixedPitch | kFamilyModern);
            const auto &m = f->metrics();
            EXPECT_EQ(f->faceName(), face);
            EXPECT_EQ(m.height, s.height);
            EXPECT_EQ(m.internalLeading, 0);
            EXPECT_EQ(m.externalLeading, 0);
            EXPECT_EQ(m.ascent + m.descent, m.height);
            EXPECT_EQ(m.aveCharWidth, s.width);
            EXPECT_EQ(m.maxCharWidth, s.width);
            EXPECT_EQ(m.pitchAndFamily & kTmpfVariable, 0);  // clear: fixed pitch
            EXPECT_EQ(m.pitchAndFamily & 0xF0, kFamilyModern);
            EXPECT_EQ(m.charSet, kOemCharset);
            EXPECT_EQ(m.firstChar, 0);
            EXPECT_EQ(m.lastChar, 255);
            EXPECT_EQ(f->codePage(), 437);
            EXPECT_TRUE(f->fixedPitch());
            for (int ch = 0; ch < 256; ++ch)
                ASSERT_EQ(f->advance(uint8_t(ch)), s.width) << "character " << ch;
            // A positive height names the same cell.
            EXPECT_EQ(font(face, s.height, 0, kOemCharset)->metrics().aveCharWidth, s.width);
        }
    }
}

TEST(FontMetrics, ExtentsAddAdvances) {
    auto f = font("MS Sans Serif", -11);
    const char *text = "Receiving: ZMODEM.TXT";
    int sum = 0;
    for (const char *p = text; *p; ++p)
        sum += f->advance(uint8_t(*p));
    SIZE e = f->extent(text, int(strlen(text)));
    EXPECT_EQ(e.cx, sum);
    EXPECT_EQ(e.cy, 13);
    EXPECT_LT(f->advance('i'), f->advance('W'));
    EXPECT_EQ(f->extent(text, 0).cx, 0);
    EXPECT_EQ(f->extent(text, 0).cy, 13);
    // Only the first n count, embedded zeros included.
    EXPECT_EQ(f->extent("ab\0cd", 5).cx, f->extent("ab", 2).cx + f->advance(0) + f->extent("cd", 2).cx);

    auto t = terminal(-18);
    EXPECT_EQ(t->extent("\xC9\xCD\xBB hello", 9).cx, 9 * 10);
}

TEST(FontMetrics, MapperFallsBackByPitchAndFamily) {
    EXPECT_EQ(font("No Such Face", -13, 0, 0, kFixedPitch)->faceName(), "Courier New");
    EXPECT_EQ(font("No Such Face", -13, 0, 0, kFamilyModern)->faceName(), "Courier New");
    EXPECT_TRUE(font("No Such Face", -13, 0, 0, kFixedPitch)->fixedPitch());
    EXPECT_EQ(font("No Such Face", -13, 0, 0, kVariablePitch | kFamilyRoman)->faceName(), "Times New Roman");
    EXPECT_EQ(font("No Such Face", -13)->faceName(), "Arial");
    EXPECT_FALSE(font("No Such Face", -13)->fixedPitch());
    // The character set outweighs the name.
    auto oem = font("Courier New", -18, 0, kOemCharset);
    EXPECT_EQ(oem->faceName(), "Terminal");
    EXPECT_EQ(oem->codePage(), 437);
    // Names match in any case.
    EXPECT_EQ(font("terminal", -12)->faceName(), "Terminal");
    EXPECT_EQ(font("ARIAL", -12)->faceName(), "Arial");
    // An all-default request is the bold 16-pixel system font.
    auto system = font("", 0);
    EXPECT_EQ(system->faceName(), "System");
    EXPECT_EQ(system->metrics().height, 16);
    EXPECT_EQ(system->metrics().weight, 700);
    EXPECT_EQ(system->metrics().ascent, 13);
    EXPECT_EQ(system->metrics().aveCharWidth, 7);
}

TEST(FontMetrics, OutlineHeightsFollowLogfontSigns) {
    auto character = font("Arial", -20), cell = font("Arial", 20);
    EXPECT_EQ(cell->metrics().height, 20);
    EXPECT_EQ(character->metrics().height - character->metrics().internalLeading, 20);
    EXPECT_GT(character->metrics().height, 20);
    EXPECT_EQ(character->metrics().pitchAndFamily & kTmpfTrueType, kTmpfTrueType);
    EXPECT_EQ(character->metrics().ascent + character->metrics().descent, character->metrics().height);
    // Bigger asks give bigger text.
    EXPECT_GT(font("Arial", -30)->extent("Hello", 5).cx, character->extent("Hello", 5).cx);
}

TEST(FontMetrics, WeightAndWidth) {
    auto regular = font("MS Sans Serif", -11), bold = font("MS Sans Serif", -11, 700);
    EXPECT_EQ(bold->metrics().weight, 700);
    EXPECT_EQ(bold->metrics().height, 13);
    EXPECT_GT(bold->extent("Cancel", 6).cx, regular->extent("Cancel", 6).cx);
    // A bold terminal stays on a fixed grid.
    auto t = font("Terminal", -18, 700, kOemCharset);
    EXPECT_EQ(t->advance('i'), t->advance('W'));
    EXPECT_EQ(t->advance(0xDB), t->metrics().aveCharWidth);

    FontRequest r;
    r.face = "Courier New";
    r.height = -16;
    r.width = 12;
    auto wide = Font::select(r);
    EXPECT_EQ(wide->metrics().aveCharWidth, 12);
    EXPECT_EQ(wide->advance('i'), 12);
}

TEST(FontMetrics, AbsurdSizesAreBounded) {
    // Every glyph is rendered ahead, so an enormous request must not take
    // gigabytes: it is drawn at the largest size offered.
    auto huge = font("Arial", -2000000000), largest = font("Arial", -256);
    EXPECT_EQ(huge->metrics().height, largest->metrics().height);
    EXPECT_LT(font("Arial", -2147483647 - 1)->metrics().height, 400);
    EXPECT_EQ(font("Terminal", 1000000, 0, kOemCharset)->metrics().height, 256);
    FontRequest r;
    r.face = "Courier New";
    r.height = -16;
    r.width = -12;  // the magnitude counts
    EXPECT_EQ(Font::select(r)->metrics().aveCharWidth, 12);
    r.width = 1 << 30;
    EXPECT_EQ(Font::select(r)->metrics().aveCharWidth, 256);
}

TEST(FontMetrics, SameRequestSharesTheRealisedFont) {
    EXPECT_EQ(font("MS Sans Serif", -11).get(), font("ms sans serif", -11).get());
    EXPECT_NE(font("MS Sans Serif", -11).get(), font("MS Sans Serif", -11, 700).get());
}

TEST(FontMetrics, ThreadsRealisingAndDrawingAtOnceAgree) {
    // Fonts are realised on first use from any thread; each thread must get
    // the same glyphs as a lone thread does.
    const int heights[] = {-9, -10, -14, -17, -19, -21, -23, -25};
    auto picture = [](int height) {
        Canvas c(160, 40);
        font("Arial", height)->draw(c.surface, 0, 0, "Wg\xE9\x80", 4, 0, c.all());
        font("Fixedsys", height, 0, kOemCharset)->draw(c.surface, 60, 0, "\xC9\xCD\x01", 3, 0, c.all());
        return c.pixels;
    };
    std::vector<std::vector<uint32_t>> seen(8 * 4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 8; ++i)
                seen[size_t(t) * 8 + size_t(i)] = picture(heights[(i + t) % 8]);
        });
    for (auto &t : threads)
        t.join();
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(seen[size_t(t) * 8 + size_t(i)], picture(heights[(i + t) % 8])) << t << " " << i;
}

}  // namespace
