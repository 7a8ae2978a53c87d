// PNG files of 32-bit framebuffers (0x00RRGGBB pixels, stride in pixels).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace winapi::display {

// Writes an 8-bit RGB PNG; false when the file cannot be written or the
// arguments make no image.
bool writePng(const std::string &path, const uint32_t *pixels, int width, int height, int stride);

// Reads a PNG of any colour type into 0x00RRGGBB pixels (stride = width);
// alpha is dropped. False when the file is missing or is no PNG.
bool readPng(const std::string &path, std::vector<uint32_t> &pixels, int &width, int &height);

}  // namespace winapi::display
