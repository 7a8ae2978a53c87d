// Hexadecimal reading and memory filling.
#include <gtest/gtest.h>

#include <vorlex.h>

#include <array>

TEST(HexNumber, FourDigitsAtMost) {
    EXPECT_EQ(Func083("1a2B"), 0x1A2B);
    EXPECT_EQ(Func083("00ff"), 0x00FF);
    EXPECT_EQ(Func083("FFFF"), 0xFFFF);
    EXPECT_EQ(Func083("12345"), 0x1234);
    EXPECT_EQ(Func083("1234G"), 0x1234); // the fifth character is not looked at
    EXPECT_EQ(Func083("F"), 0x0F);
    EXPECT_EQ(Func083("9a"), 0x9A);
}

TEST(HexNumber, BadOrEmptyGivesZero) {
    EXPECT_EQ(Func083(""), 0);
    EXPECT_EQ(Func083("1G"), 0);
    EXPECT_EQ(Func083("12 "), 0);
    EXPECT_EQ(Func083("0x12"), 0);
    EXPECT_EQ(Func083("\x80" "1"), 0);
    EXPECT_EQ(Func083("\xFF"), 0);
    EXPECT_EQ(Func083("g"), 0);
    EXPECT_EQ(Func083(nullptr), 0);
}

TEST(Fill, WritesExactlyCountBytes) {
    std::array<unsigned char, 16> buffer;
    buffer.fill(0x11);
    Func018(buffer.data() + 1, 0x1AB, 7); // only the low 8 bits fill
    EXPECT_EQ(buffer[0], 0x11);
    for (int i = 1; i <= 7; i++) EXPECT_EQ(buffer[i], 0xAB) << i;
    EXPECT_EQ(buffer[8], 0x11);

    buffer.fill(0x22);
    Func018(buffer.data(), 0, 0);
    Func018(buffer.data(), 0, -5);
    for (unsigned char b : buffer) EXPECT_EQ(b, 0x22);
    Func018(nullptr, 0, 8); // nothing to fill, nothing to crash

    Func018(buffer.data() + 3, -1, 13);
    EXPECT_EQ(buffer[2], 0x22);
    for (int i = 3; i < 16; i++) EXPECT_EQ(buffer[i], 0xFF) << i;
}
