// PNG files of 32-bit framebuffers (0x00RRGGBB pixels, stride in pixels).
// Visible outside the layer for its tests and tools.
#pragma once

#include <windef.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winapi::display {

// Writes an 8-bit RGB PNG; false when the file cannot be written or the
// arguments make no image.
WINAPI_VISIBLE bool writePng(const std::string &path, const uint32_t *pixels, int width, int height, int stride);

// Reads a PNG of any colour type into 0x00RRGGBB pixels (stride = width);
// alpha is dropped. False when the file is missing or is no PNG.
WINAPI_VISIBLE bool readPng(const std::string &path, std::vector<uint32_t> &pixels, int &width, int &height);

}  // namespace winapi::display
