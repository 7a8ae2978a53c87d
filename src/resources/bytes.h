// Little-endian byte output for resource data, independent of the host's
// structure packing.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace vorlex::resources {

class Bytes {
public:
    void byte(unsigned v) { out_.push_back(static_cast<BYTE>(v)); }
    void word(unsigned v) {
        byte(v & 0xFF);
        byte((v >> 8) & 0xFF);
    }
    void dword(unsigned long v) {
        word(static_cast<unsigned>(v & 0xFFFF));
        word(static_cast<unsigned>((v >> 16) & 0xFFFF));
    }
    // A text as resources keep it: UTF-16, NUL-terminated (the texts here are ASCII).
    void text(std::string_view s) {
        for (char c : s) word(static_cast<unsigned char>(c));
        word(0);
    }
    void alignDword() {
        while (out_.size() % 4) byte(0);
    }
    size_t size() const { return out_.size(); }
    std::vector<BYTE> take() { return std::move(out_); }

private:
    std::vector<BYTE> out_;
};

} // namespace vorlex::resources
