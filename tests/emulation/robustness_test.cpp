// Random streams rich in escape bytes, under every emulation and odd screen
// settings from a map file: the cursor stays in the buffer, parameter
// collection stays bounded, every read-ahead is closed. (Run the suite with
// VORLEX_SANITIZE=ON to have every cell access checked as well.)
#include "harness.h"

#include <random>

namespace emu {
namespace {

const char kAlphabet[] = "\x1b\x1b\x1b[[[0123456789;;;;=?#()\"!$ 479ABCDEHIJKLYcfhlmnsu\r\n\b\t\f\a\xFF\x80\xC4qxlk";

std::string randomStream(std::mt19937 &random, size_t length) {
    std::uniform_int_distribution<int> pick(0, int(sizeof kAlphabet) - 2), any(0, 255), coin(0, 9);
    std::string out;
    for (size_t i = 0; i < length; ++i)
        out += coin(random) ? kAlphabet[pick(random)] : char(any(random));
    return out;
}

TEST(Robustness, RandomStreamsKeepTheCursorInTheBuffer) {
    std::mt19937 random(3161);
    const WORD rows[] = {0, 1, 24, 99, 100, 101, 65535};
    const WORD columns[] = {0, 1, 80, 87, 88, 89, 65535};
    for (LONG emulation = 0; emulation <= 5; ++emulation) {
        for (int round = 0; round < 40; ++round) {
            Terminal t(emulation);
            t.s->screenRows = rows[round % 7];
            t.s->screenColumns = columns[(round / 7) % 7];
            t.s->autoWrap = round & 1;
            t.s->destructiveBackspace = (round >> 1) & 1;
            t.s->stripEighthBit = (round >> 2) & 1;
            t.chunkSize = 1 + round % 40;
            for (int piece = 0; piece < 50; ++piece) {
                t.feed(randomStream(random, 200));
                ASSERT_GE(t.s->cursorRow, 0);
                ASSERT_LE(t.s->cursorRow, kLastRow);
                ASSERT_GE(t.s->cursorColumn, 0);
                ASSERT_LE(t.s->cursorColumn, kLastColumn);
                ASSERT_GE(t.s->parameterIndex, 0);
                ASSERT_LT(t.s->parameterIndex, kParameterCount);
                ASSERT_EQ(t.host.readAheadDepth, 0);
                ASSERT_EQ(t.s->readBusy, 0);
            }
        }
    }
}

} // namespace
} // namespace emu
