// The streams both terminal benchmarks feed: plain text, SGR-heavy ANSI
// as a full-screen program draws, and line drawing, about 1 MB each.
#pragma once

#include <random>
#include <string>

namespace {

constexpr size_t kStreamSize = 1 << 20;
#define ESC "\033"

std::string plainText() {
    std::mt19937 random(1);
    std::string s;
    while (s.size() < kStreamSize) {
        for (int i = 0; i < 78; ++i)
            s += char(0x20 + random() % 0x5F);
        s += "\r\n";
    }
    return s;
}

// Short runs of text in changing colours, with cursor positioning and
// erasing, as a full-screen program draws.
std::string sgrHeavy() {
    std::mt19937 random(2);
    std::string s;
    while (s.size() < kStreamSize) {
        s += ESC "[" + std::to_string(1 + random() % 24) + ";" + std::to_string(1 + random() % 70) + "H";
        for (int run = 0; run < 6; ++run) {
            s += ESC "[" + std::string(random() % 2 ? "1;" : "0;") + std::to_string(30 + random() % 8) + ";" +
                 std::to_string(40 + random() % 8) + "m";
            for (int i = 0; i < 4; ++i)
                s += char('a' + random() % 26);
        }
        s += ESC "[0m" ESC "[K\r\n";
    }
    return s;
}

// Boxes of line-drawing characters, switching sets at every line.
std::string lineDrawing() {
    std::string s;
    while (s.size() < kStreamSize) {
        s += ESC "(0lqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqwqqqqqqqqqqqqqqqqqqqqqqk" ESC "(B\r\n";
        s += ESC "(0x" ESC "(B name of the entry           " ESC "(0x" ESC "(B value of it         " ESC "(0x" ESC "(B\r\n";
        s += ESC "(0tqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqnqqqqqqqqqqqqqqqqqqqqqqu" ESC "(B\r\n";
        s += ESC "(0mqqqqqqqqqqqqqqqqqqqqqqqqqqqqqqvqqqqqqqqqqqqqqqqqqqqqqj" ESC "(B\r\n";
    }
    return s;
}

const std::string &stream(int kind) {
    static const std::string streams[] = {plainText(), sgrHeavy(), lineDrawing()};
    return streams[kind];
}

} // namespace
