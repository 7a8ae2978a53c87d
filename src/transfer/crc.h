// The library's two check sums, a byte at a time.
#pragma once

#include <cstdint>

namespace vorlex {

uint32_t crc32Update(uint8_t byte, uint32_t crc);
uint16_t crc16Update(uint16_t crc, uint8_t byte);

} // namespace vorlex
