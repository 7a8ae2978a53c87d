#include "png.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace winapi::display {

namespace {

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace

bool writePng(const std::string &path, const uint32_t *pixels, int width, int height, int stride) {
    if (!pixels || width <= 0 || height <= 0 || stride < width)
        return false;
    File f(std::fopen(path.c_str(), "wb"));
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_byte> row(size_t(width) * 3);
    // libpng reports errors by longjmp; nothing here owns resources that a
    // jump would skip besides what the clean-up below releases.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        f.reset();
        std::remove(path.c_str());
        return false;
    }
    png_init_io(png, f.get());
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const uint32_t *src = pixels + size_t(y) * size_t(stride);
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3 + 0] = png_byte(src[x] >> 16);
            row[size_t(x) * 3 + 1] = png_byte(src[x] >> 8);
            row[size_t(x) * 3 + 2] = png_byte(src[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(f.get()) != 0 || std::ferror(f.get())) {
        f.reset();
        std::remove(path.c_str());
        return false;
    }
    return std::fclose(f.release()) == 0;
}

bool readPng(const std::string &path, std::vector<uint32_t> &pixels, int &width, int &height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(size_t(PNG_IMAGE_SIZE(image)));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    std::vector<uint32_t> buffer(size_t(image.width) * image.height);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
    width = int(image.width);
    height = int(image.height);
    pixels = std::move(buffer);
    return true;
}

}  // namespace winapi::display
