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
using Bytes = std::vector<std::uint8_t>;

namespace {

/* A 3x2 image of @p bytesPerPixel, rows top to bottom as encoders take them */
Bytes pattern(int bytesPerPixel) {
    Bytes pixels(std::size_t(3*2*bytesPerPixel));
    for(std::size_t i = 0; i != pixels.size(); ++i) pixels[i] = std::uint8_t(17*i + 3);
    return pixels;
}

/* The same rows as ImageData keeps them, bottom row first */
Bytes bottomUp(const Bytes& pixels) {
    const std::size_t row = pixels.size()/2;
    Bytes out(pixels.begin() + row, pixels.end());
    out.insert(out.end(), pixels.begin(), pixels.begin() + row);
    return out;
}

void append(void* out, void* data, int size) {
    static_cast<Bytes*>(out)->insert(static_cast<Bytes*>(out)->end(), static_cast<std::uint8_t*>(data),
        static_cast<std::uint8_t*>(data) + size);
}

}

TEST(ImageLoad, LosslessFormatsKeepChannelsAndPixels) {
    const struct { const char* name; int channels; PixelFormat format; char kind; } data[]{
        {"grey PNG", 1, PixelFormat::R8Unorm, 'p'},
        {"grey-alpha PNG", 2, PixelFormat::RG8Unorm, 'p'},
        {"RGBA PNG", 4, PixelFormat::RGBA8Unorm, 'p'},
        {"RGB BMP", 3, PixelFormat::RGB8Unorm, 'b'},
        {"RGBA WebP", 4, PixelFormat::RGBA8Unorm, 'w'},
    };
    for(const auto& d: data) {
        SCOPED_TRACE(d.name);
        const Bytes pixels = pattern(d.channels);
        Bytes file;
        if(d.kind == 'p') stbi_write_png_to_func(append, &file, 3, 2, d.channels, pixels.data(), 0);
        if(d.kind == 'b') stbi_write_bmp_to_func(append, &file, 3, 2, d.channels, pixels.data());
        if(d.kind == 'w') {
            std::uint8_t* encoded = nullptr;
            const std::size_t size = WebPEncodeLosslessRGBA(pixels.data(), 3, 2, 12, &encoded);
            file.assign(encoded, encoded + size);
            WebPFree(encoded);
        }
        std::string error;
        auto image = loadImageData(file.data(), file.size(), error);
        ASSERT_TRUE(image) << error;
        EXPECT_EQ(image->format, d.format);
        EXPECT_EQ(image->size, (Vector2i{3, 2}));
        EXPECT_EQ(image->data, bottomUp(pixels));
    }
}

TEST(ImageLoad, SixteenBitPngAndHdr) {
    /* Native 16-bit samples, which the file holds big-endian, read back as
       they were */
    const Bytes samples = pattern(2);
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = 3;
    png.height = 2;
    png.format = PNG_FORMAT_LINEAR_Y;
    Bytes file(PNG_IMAGE_PNG_SIZE_MAX(png));
    png_alloc_size_t size = file.size();
    ASSERT_TRUE(png_image_write_to_memory(&png, file.data(), &size, 0, samples.data(), 0, nullptr));
    std::string error;
    auto image = loadImageData(file.data(), size, error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::R16Unorm);
    EXPECT_EQ(image->data, bottomUp(samples));

    /* Powers of two survive the shared-exponent encoding exactly */
    const float hdr[3*2*3]{0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.25f, 0.5f, 1.0f,
                           1.0f, 1.0f, 1.0f, 2.0f, 2.0f, 2.0f, 0.125f, 0.125f, 0.125f};
    file.clear();
    ASSERT_TRUE(stbi_write_hdr_to_func(append, &file, 3, 2, 3, hdr));
    image = loadImageData(file.data(), file.size(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RGB32F);
    EXPECT_EQ(image->data, bottomUp(Bytes(reinterpret_cast<const std::uint8_t*>(hdr),
        reinterpret_cast<const std::uint8_t*>(hdr) + sizeof(hdr))));
}

TEST(ImageLoad, BadInputIsAnErrorNotACrash) {
    Bytes file;
    ASSERT_TRUE(stbi_write_png_to_func(append, &file, 3, 2, 4, pattern(4).data(), 0));
    std::string error;
    for(std::size_t size = 0; size < file.size(); ++size) {
        error.clear();
        if(!loadImageData(file.data(), size, error)) { EXPECT_FALSE(error.empty()) << size; }
    }
    const char fakeWebP[] = "RIFF\x10\0\0\0WEBPVP8 garbage";
    EXPECT_FALSE(loadImageData(fakeWebP, sizeof(fakeWebP), error));
    EXPECT_EQ(error, "invalid WebP data");

    /* 53 bytes of bitmap header asking for 12845057 x 54 pixels (found
       by fuzzing: decoded, they took 4 GB) */
    const std::uint8_t hugeBitmap[]{'B', 'M', 0x3a, 0, 0, 0, 0, 0, 0, 0, 0x35, 0, 0, 0, 0x28, 0, 0, 0,
        0x1, 0, 0xc4, 0, 0x36, 0, 0, 0, 0x1, 0, 0x18, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0x20, 0xa, 0x28, 0x20};
    EXPECT_FALSE(loadImageData(hugeBitmap, sizeof(hugeBitmap), error));
    EXPECT_EQ(error, "image too large (12845057 x 54 pixels)");

    Testing::TempDirectory dir;
    EXPECT_FALSE(loadImageFile(dir/"missing.png", error));
    EXPECT_EQ(error, "cannot open file");
}
