// The library's two check sums, a byte at a time, from one pair of tables.
#pragma once

#include <array>
#include <cstdint>

namespace vorlex {

// CRC-32 (IEEE 802.3, reflected) and CRC-16/XMODEM tables, built in crc.cpp.
extern const std::array<uint32_t, 256> crc32Table;
extern const std::array<uint16_t, 256> crc16Table;

// Inline: the frame loops pay a table look-up per byte, not a call.
inline uint32_t crc32Update(uint8_t byte, uint32_t crc) { return crc32Table[(crc ^ byte) & 0xFF] ^ (crc >> 8); }
inline uint16_t crc16Update(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>(crc16Table[((crc >> 8) ^ byte) & 0xFF] ^ (crc << 8));
}

// The CRC-32 of a block (Func042); 0 for none.
inline uint32_t crc32Of(const void *data, long length) {
    if (length < 1 || !data) return 0;
    const auto *p = static_cast<const uint8_t *>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (long i = 0; i < length; i++) crc = crc32Update(p[i], crc);
    return ~crc;
}

// What a CRC-32 run over data and its own (inverted, little-endian) check
// leaves behind when both arrived intact.
constexpr uint32_t kCrc32Residue = 0xDEBB20E3u;

} // namespace vorlex
