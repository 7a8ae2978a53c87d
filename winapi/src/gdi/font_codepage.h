// The two 8-bit code pages that GDI text uses here.
#pragma once

#include <cstdint>

namespace winapi::gdi {

// Unicode of a byte in code page 437 (with the graphic characters of the
// control range, as the PC screen shows them) or 1252. 0 means the byte has
// no character (1252's five holes and its control bytes).
uint32_t codePageToUnicode(int codePage, uint8_t ch);

}  // namespace winapi::gdi
