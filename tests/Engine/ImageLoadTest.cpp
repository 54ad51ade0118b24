#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>
#include <stb_image_write.h>
#include <webp/encode.h>

#include "Engine/ImageLoad.h"
#include "Support/TempDirectory.h"

using namespace ZandelleEngine;
using Trade::PixelFormat;

namespace {

/* A 3x2 image, rows top to bottom as encoders expect them */
std::vector<std::uint8_t> pattern(int channels) {
    std::vector<std::uint8_t> pixels(std::size_t(3*2*channels));
    for(std::size_t i = 0; i != pixels.size(); ++i) pixels[i] = std::uint8_t(17*i + 3);
    return pixels;
}

/* The same pixels as ImageData stores them, bottom row first */
std::vector<std::uint8_t> bottomUp(const std::vector<std::uint8_t>& pixels, std::size_t rowSize) {
    std::vector<std::uint8_t> out;
    for(std::size_t row = pixels.size()/rowSize; row-- != 0; )
        out.insert(out.end(), pixels.begin() + row*rowSize, pixels.begin() + (row + 1)*rowSize);
    return out;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
}

/* 16-bit PNGs are written with libpng: big-endian samples */
std::vector<std::uint8_t> png16(const std::vector<std::uint16_t>& samples, int channels) {
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, [](png_structp p, png_bytep data, png_size_t size) {
        auto* o = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
        o->insert(o->end(), data, data + size);
    }, nullptr);
    const int colorTypes[]{PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGBA};
    png_set_IHDR(png, info, 3, 2, 16, colorTypes[channels - 1], PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<std::uint8_t> row(std::size_t(3*channels*2));
    for(int y = 0; y != 2; ++y) {
        for(int i = 0; i != 3*channels; ++i) {
            const std::uint16_t s = samples[std::size_t(y*3*channels + i)];
            row[std::size_t(2*i)] = std::uint8_t(s >> 8);
            row[std::size_t(2*i + 1)] = std::uint8_t(s & 0xff);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}

TEST(ImageLoad, LosslessFormatsKeepChannelsAndPixels) {
    const struct {
        const char* name;
        int channels;
        PixelFormat format;
        int(*write)(stbi_write_func*, void*, int, int, int, const void*);
    } data[]{
        {"grey PNG", 1, PixelFormat::R8Unorm,
            [](stbi_write_func* f, void* c, int w, int h, int n, const void* d) { return stbi_write_png_to_func(f, c, w, h, n, d, 0); }},
        {"grey-alpha PNG", 2, PixelFormat::RG8Unorm,
            [](stbi_write_func* f, void* c, int w, int h, int n, const void* d) { return stbi_write_png_to_func(f, c, w, h, n, d, 0); }},
        {"RGBA PNG", 4, PixelFormat::RGBA8Unorm,
            [](stbi_write_func* f, void* c, int w, int h, int n, const void* d) { return stbi_write_png_to_func(f, c, w, h, n, d, 0); }},
        {"RGB BMP", 3, PixelFormat::RGB8Unorm, stbi_write_bmp_to_func},
        {"RGBA TGA", 4, PixelFormat::RGBA8Unorm, stbi_write_tga_to_func},
    };
    for(const auto& d: data) {
        SCOPED_TRACE(d.name);
        const std::vector<std::uint8_t> pixels = pattern(d.channels);
        std::vector<std::uint8_t> file;
        ASSERT_TRUE(d.write(appendBytes, &file, 3, 2, d.channels, pixels.data()));
        std::string error;
        auto image = loadImageData(file.data(), file.size(), error);
        ASSERT_TRUE(image) << error;
        EXPECT_EQ(image->format, d.format);
        EXPECT_EQ(image->size, (Vector2i{3, 2}));
        EXPECT_EQ(image->data, bottomUp(pixels, std::size_t(3*d.channels)));
    }
}

TEST(ImageLoad, SixteenBitPngStaysSixteenBit) {
    const std::vector<std::uint16_t> samples{0, 1, 0x1234, 0x8000, 0xfffe, 0xffff,
                                             7, 0x0100, 0x00ff, 42, 0xabcd, 3};
    const std::vector<std::uint8_t> file = png16(samples, 2);
    std::string error;
    auto image = loadImageData(file.data(), file.size(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RG16Unorm);
    ASSERT_EQ(image->data.size(), samples.size()*2);
    std::vector<std::uint16_t> loaded(samples.size());
    std::memcpy(loaded.data(), image->data.data(), image->data.size());
    /* bottom row first */
    EXPECT_EQ(std::vector<std::uint16_t>(loaded.begin(), loaded.begin() + 6),
              std::vector<std::uint16_t>(samples.begin() + 6, samples.end()));
    EXPECT_EQ(std::vector<std::uint16_t>(loaded.begin() + 6, loaded.end()),
              std::vector<std::uint16_t>(samples.begin(), samples.begin() + 6));
}

TEST(ImageLoad, HdrJpegAndWebP) {
    const float hdr[3*2*3]{0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.25f, 0.5f, 1.0f,
                           1.0f, 1.0f, 1.0f, 2.0f, 2.0f, 2.0f, 0.125f, 0.125f, 0.125f};
    std::vector<std::uint8_t> file;
    ASSERT_TRUE(stbi_write_hdr_to_func(appendBytes, &file, 3, 2, 3, hdr));
    std::string error;
    auto image = loadImageData(file.data(), file.size(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RGB32F);
    ASSERT_EQ(image->data.size(), sizeof(hdr));
    float first[3];
    std::memcpy(first, image->data.data(), sizeof(first));
    EXPECT_EQ(first[0], 1.0f); /* bottom row comes first; powers of two are exact */

    file.clear();
    const std::vector<std::uint8_t> rgb = pattern(3);
    ASSERT_TRUE(stbi_write_jpg_to_func(appendBytes, &file, 3, 2, 3, rgb.data(), 90));
    image = loadImageData(file.data(), file.size(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RGB8Unorm);
    EXPECT_EQ(image->size, (Vector2i{3, 2}));

    const std::vector<std::uint8_t> rgba = pattern(4);
    std::uint8_t* encoded = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), 3, 2, 12, &encoded);
    ASSERT_GT(size, 0u);
    image = loadImageData(encoded, size, error);
    WebPFree(encoded);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RGBA8Unorm);
    EXPECT_EQ(image->data, bottomUp(rgba, 12));
}

TEST(ImageLoad, BadInputIsAnErrorNotACrash) {
    const std::vector<std::uint8_t> rgba = pattern(4);
    std::vector<std::uint8_t> file;
    ASSERT_TRUE(stbi_write_png_to_func(appendBytes, &file, 3, 2, 4, rgba.data(), 0));
    std::string error;
    /* every truncation of a valid file, and garbage that looks like WebP */
    for(std::size_t size = 0; size < file.size(); ++size) {
        error.clear();
        if(!loadImageData(file.data(), size, error)) {
            EXPECT_FALSE(error.empty()) << size;
        }
    }
    const char fakeWebP[] = "RIFF\x10\0\0\0WEBPVP8 garbage";
    EXPECT_FALSE(loadImageData(fakeWebP, sizeof(fakeWebP), error));
    EXPECT_EQ(error, "invalid WebP data");

    Testing::TempDirectory dir;
    EXPECT_FALSE(loadImageFile(dir/"missing.png", error));
    EXPECT_EQ(error, "cannot open file");
    EXPECT_FALSE(loadImageFile(dir.write("notes.png", "just some text"), error));
    EXPECT_FALSE(error.empty());
}
