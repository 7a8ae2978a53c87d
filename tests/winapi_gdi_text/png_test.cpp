// PNG snapshots: what is written reads back pixel for pixel.
#include "display/png.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

namespace {

using winapi::display::readPng;
using winapi::display::writePng;

std::string tempName(const char *name) {
    return (std::filesystem::temp_directory_path() / (std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + name)).string();
}

TEST(Png, RoundTripWithStride) {
    const int w = 37, h = 23, stride = 41;
    std::vector<uint32_t> image(size_t(stride) * h);
    std::mt19937 rng(7);
    for (auto &p : image)
        p = rng();  // the top byte must not matter
    const std::string path = tempName("roundtrip.png");
    ASSERT_TRUE(writePng(path, image.data(), w, h, stride));
    std::vector<uint32_t> back;
    int bw = 0, bh = 0;
    ASSERT_TRUE(readPng(path, back, bw, bh));
    ASSERT_EQ(bw, w);
    ASSERT_EQ(bh, h);
    ASSERT_EQ(back.size(), size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(back[size_t(y) * w + x], image[size_t(y) * stride + x] & 0xFFFFFF) << x << "," << y;
    std::remove(path.c_str());
}

TEST(Png, RefusesWhatCannotBeWrittenOrRead) {
    uint32_t px[4] = {1, 2, 3, 4};
    EXPECT_FALSE(writePng("/nonexistent-dir/x.png", px, 2, 2, 2));
    EXPECT_FALSE(writePng(tempName("bad.png"), px, 0, 2, 2));
    EXPECT_FALSE(writePng(tempName("bad.png"), px, 2, 2, 1));  // stride shorter than a row
    EXPECT_FALSE(writePng(tempName("bad.png"), nullptr, 2, 2, 2));
    EXPECT_FALSE(std::filesystem::exists(tempName("bad.png")));

    std::vector<uint32_t> out{42};
    int w = -1, h = -1;
    EXPECT_FALSE(readPng("/nonexistent-dir/x.png", out, w, h));
    const std::string text = tempName("not.png");
    FILE *f = std::fopen(text.c_str(), "w");
    std::fputs("not a picture", f);
    std::fclose(f);
    EXPECT_FALSE(readPng(text, out, w, h));
    EXPECT_EQ(out, std::vector<uint32_t>{42});  // untouched on failure
    EXPECT_EQ(w, -1);
    std::remove(text.c_str());
}

}  // namespace
