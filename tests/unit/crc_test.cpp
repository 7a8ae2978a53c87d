// The two check sums: known values and the residues the protocols rely on.
#include <gtest/gtest.h>

#include <vorlex.h>

#include <cstdint>
#include <vector>

namespace {

const char kCheck[] = "123456789";

std::vector<uint8_t> sampleBlock() {
    std::vector<uint8_t> block(1029);
    for (size_t i = 0; i < block.size(); i++) block[i] = static_cast<uint8_t>(i * 37 + (i >> 3));
    return block;
}

} // namespace

TEST(Crc, KnownValues) {
    EXPECT_EQ(Func042(kCheck, 9), 0xCBF43926u);
    EXPECT_EQ(Func073(kCheck, 9), 0x31C3u);
    const char one = 'A';
    EXPECT_EQ(Func042(&one, 1), 0xD3D99E8Bu);
    EXPECT_EQ(Func073(&one, 1), 0x58E5u);
}

TEST(Crc, EmptyOrNegativeLengthGivesZero) {
    for (LONG length : {0L, -1L, -1000L}) {
        EXPECT_EQ(Func042(kCheck, length), 0u) << length;
        EXPECT_EQ(Func073(kCheck, length), 0u) << length;
    }
}

// What goes on the wire after a block is the CRC-32 value (the complemented
// register), lowest byte first; the register over both then ends at the
// residue 0xDEBB20E3, so the value over both is its complement.
TEST(Crc, Crc32ResidueAfterValueLowByteFirst) {
    auto block = sampleBlock();
    const uint32_t crc = Func042(block.data(), static_cast<LONG>(block.size()));
    for (int k = 0; k < 4; k++) block.push_back(static_cast<uint8_t>(crc >> (8 * k)));
    EXPECT_EQ(Func042(block.data(), static_cast<LONG>(block.size())), ~0xDEBB20E3u);
}

// CRC-16/XMODEM goes high byte first, and the register over both ends at 0.
TEST(Crc, Crc16ResidueAfterValueHighByteFirst) {
    auto block = sampleBlock();
    const uint16_t crc = static_cast<uint16_t>(Func073(block.data(), static_cast<LONG>(block.size())));
    block.push_back(static_cast<uint8_t>(crc >> 8));
    block.push_back(static_cast<uint8_t>(crc));
    EXPECT_EQ(Func073(block.data(), static_cast<LONG>(block.size())), 0u);
}

TEST(Crc, SingleBitChangeAltersBoth) {
    auto block = sampleBlock();
    const DWORD crc32 = Func042(block.data(), static_cast<LONG>(block.size()));
    const DWORD crc16 = Func073(block.data(), static_cast<LONG>(block.size()));
    block[500] ^= 0x10;
    EXPECT_NE(Func042(block.data(), static_cast<LONG>(block.size())), crc32);
    EXPECT_NE(Func073(block.data(), static_cast<LONG>(block.size())), crc16);
}
