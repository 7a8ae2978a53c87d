// Modem result texts to line speeds, and the case-insensitive search under them.
#include <gtest/gtest.h>

#include <vorlex.h>

#include <string>

TEST(ResultTexts, SpeedsFromResponses) {
    EXPECT_EQ(Func040("CONNECT 115200\r"), 115200);
    EXPECT_EQ(Func040("connect 9600/arq"), 9600);
    EXPECT_EQ(Func040("\r\nCONNECT 300\r\n"), 300);
    EXPECT_EQ(Func040("CARRIER 33600"), 33600);
    EXPECT_EQ(Func040("Carrier 7200"), 7200);
}

TEST(ResultTexts, LongerTextWinsOverItsPrefix) {
    EXPECT_EQ(Func040("CONNECT 12000"), 12000);
    EXPECT_EQ(Func040("CARRIER 24000"), 24000);
    EXPECT_EQ(Func040("CONNECT 1200"), 1200);
    EXPECT_EQ(Func040("CARRIER 2400"), 2400);
    // Contains "CONNECT 9600", so that is the speed found.
    EXPECT_EQ(Func040("CONNECT 96000"), 9600);
}

TEST(ResultTexts, CarrierBeforeConnect) {
    EXPECT_EQ(Func040("CARRIER 28800\r\nCONNECT 57600\r\n"), 28800);
    EXPECT_EQ(Func040("CONNECT 57600 CARRIER 28800"), 28800);
}

TEST(ResultTexts, NoSpeed) {
    EXPECT_EQ(Func040("CONNECT"), 0);
    EXPECT_EQ(Func040("CONNECT 14401"), 0);
    EXPECT_EQ(Func040(""), 0);
    EXPECT_EQ(Func040("NO CARRIER"), 0);
    EXPECT_EQ(Func040("CONNECT  9600"), 0);
    EXPECT_EQ(Func040(nullptr), 0);
}

TEST(TextSearch, PositionsIgnoringCase) {
    EXPECT_EQ(Func084("abcABC", "CA"), 3);
    EXPECT_EQ(Func084("abcABC", "abc"), 1);
    EXPECT_EQ(Func084("xxABC", "abc"), 3);
    EXPECT_EQ(Func084("abc", "ABC"), 1);
    EXPECT_EQ(Func084("ab", "b"), 2);
    EXPECT_EQ(Func084("aab", "ab"), 2); // a false start must not skip the match
}

TEST(TextSearch, NoMatch) {
    EXPECT_EQ(Func084("abcABC", ""), 0);
    EXPECT_EQ(Func084("", ""), 0);
    EXPECT_EQ(Func084("", "a"), 0);
    EXPECT_EQ(Func084("ab", "abc"), 0);
    EXPECT_EQ(Func084("abcab", "abd"), 0);
    EXPECT_EQ(Func084(nullptr, "a"), 0);
    EXPECT_EQ(Func084("a", nullptr), 0);
}

TEST(TextSearch, OnlyAsciiLettersFold) {
    // 0xC4 and 0xE4 differ by 0x20 like A and a, but are not folded.
    EXPECT_EQ(Func084("x\xE4y", "\xC4"), 0);
    EXPECT_EQ(Func084("x\xE4y", "\xE4"), 2);
    // '@' (0x40) and '`' (0x60), '[' and '{' sit just outside A..Z.
    EXPECT_EQ(Func084("`", "@"), 0);
    EXPECT_EQ(Func084("{", "["), 0);
    EXPECT_EQ(Func084("Zz", "zZ"), 1);
}

TEST(TextSearch, TextsBeyond16BitLengths) {
    // 65536 characters would read as length 0 in 16 bits, 70000 as 4464.
    std::string text(70000, 'x');
    text += "CONNECT 9600";
    EXPECT_EQ(Func084(text.c_str(), "connect"), 70001);
    EXPECT_EQ(Func040(text.c_str()), 9600);

    std::string exact(65536, 'y');
    EXPECT_EQ(Func084(exact.c_str(), "y"), 1);
    exact.back() = 'z';
    EXPECT_EQ(Func084(exact.c_str(), "Z"), 65536);

    std::string pattern(65600, 'q');
    std::string longer = "a" + pattern;
    EXPECT_EQ(Func084(longer.c_str(), pattern.c_str()), 2);
    EXPECT_EQ(Func084(pattern.c_str(), longer.c_str()), 0);
}
