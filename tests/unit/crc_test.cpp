// The two check sums: known values and the residues the protocols rely on.
#include <gtest/gtest.h>

#include <vorlex.h>

#include "transfer/crc.h"

#include <cstdint>
#include <cstring>
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

// What goes on the wire is the complemented register, lowest byte first.
TEST(Crc, Crc32ResidueAfterComplementedRegisterLowByteFirst) {
    auto block = sampleBlock();
    const uint32_t crc = Func042(block.data(), static_cast<LONG>(block.size()));
    uint32_t reg = 0xFFFFFFFFu;
    for (uint8_t b : block) reg = vorlex::crc32Update(b, reg);
    EXPECT_EQ(~reg, crc);
    for (int k = 0; k < 4; k++) reg = vorlex::crc32Update(static_cast<uint8_t>(crc >> (8 * k)), reg);
    EXPECT_EQ(reg, 0xDEBB20E3u);
}

TEST(Crc, Crc16ResidueAfterCrcHighByteFirst) {
    auto block = sampleBlock();
    const uint16_t crc = static_cast<uint16_t>(Func073(block.data(), static_cast<LONG>(block.size())));
    uint16_t reg = 0;
    for (uint8_t b : block) reg = vorlex::crc16Update(reg, b);
    EXPECT_EQ(reg, crc);
    reg = vorlex::crc16Update(reg, static_cast<uint8_t>(crc >> 8));
    reg = vorlex::crc16Update(reg, static_cast<uint8_t>(crc));
    EXPECT_EQ(reg, 0);
}

TEST(Crc, SingleBitChangeAltersBoth) {
    auto block = sampleBlock();
    const DWORD crc32 = Func042(block.data(), static_cast<LONG>(block.size()));
    const DWORD crc16 = Func073(block.data(), static_cast<LONG>(block.size()));
    block[500] ^= 0x10;
    EXPECT_NE(Func042(block.data(), static_cast<LONG>(block.size())), crc32);
    EXPECT_NE(Func073(block.data(), static_cast<LONG>(block.size())), crc16);
}
