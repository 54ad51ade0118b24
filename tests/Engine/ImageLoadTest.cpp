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

/* 16-bit PNGs through libpng, which takes big-endian samples */
Bytes png16(const Bytes& bigEndianSamples, int colorType) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, [](png_structp p, png_bytep data, png_size_t size) {
        append(png_get_io_ptr(p), data, int(size));
    }, nullptr);
    png_set_IHDR(png, info, 3, 2, 16, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for(std::size_t y = 0; y != 2; ++y) png_write_row(png, bigEndianSamples.data() + y*bigEndianSamples.size()/2);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}

TEST(ImageLoad, LosslessFormatsKeepChannelsAndPixels) {
    const struct { const char* name; int channels; PixelFormat format; char kind; } data[]{
        {"grey PNG", 1, PixelFormat::R8Unorm, 'p'},
        {"grey-alpha PNG", 2, PixelFormat::RG8Unorm, 'p'},
        {"RGBA PNG", 4, PixelFormat::RGBA8Unorm, 'p'},
        {"RGB BMP", 3, PixelFormat::RGB8Unorm, 'b'},
        {"RGBA TGA", 4, PixelFormat::RGBA8Unorm, 't'},
        {"RGBA WebP", 4, PixelFormat::RGBA8Unorm, 'w'},
    };
    for(const auto& d: data) {
        SCOPED_TRACE(d.name);
        const Bytes pixels = pattern(d.channels);
        Bytes file;
        if(d.kind == 'p') stbi_write_png_to_func(append, &file, 3, 2, d.channels, pixels.data(), 0);
        if(d.kind == 'b') stbi_write_bmp_to_func(append, &file, 3, 2, d.channels, pixels.data());
        if(d.kind == 't') stbi_write_tga_to_func(append, &file, 3, 2, d.channels, pixels.data());
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

TEST(ImageLoad, SixteenBitPngHdrAndJpeg) {
    /* Byte-swapped samples read back as native 16-bit values */
    const Bytes samples = pattern(4);
    std::string error;
    const Bytes png = png16(samples, PNG_COLOR_TYPE_GRAY_ALPHA);
    auto image = loadImageData(png.data(), png.size(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RG16Unorm);
    Bytes swapped = bottomUp(samples);
    for(std::size_t i = 0; i != swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    EXPECT_EQ(image->data, swapped);

    /* Powers of two survive the shared-exponent encoding exactly */
    const float hdr[3*2*3]{0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 0.25f, 0.5f, 1.0f,
                           1.0f, 1.0f, 1.0f, 2.0f, 2.0f, 2.0f, 0.125f, 0.125f, 0.125f};
    Bytes file;
    ASSERT_TRUE(stbi_write_hdr_to_func(append, &file, 3, 2, 3, hdr));
    image = loadImageData(file.data(), file.size(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RGB32F);
    EXPECT_EQ(image->data, bottomUp(Bytes(reinterpret_cast<const std::uint8_t*>(hdr),
        reinterpret_cast<const std::uint8_t*>(hdr) + sizeof(hdr))));

    file.clear();
    ASSERT_TRUE(stbi_write_jpg_to_func(append, &file, 3, 2, 3, pattern(3).data(), 90));
    image = loadImageData(file.data(), file.size(), error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, PixelFormat::RGB8Unorm);
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

    Testing::TempDirectory dir;
    EXPECT_FALSE(loadImageFile(dir/"missing.png", error));
    EXPECT_EQ(error, "cannot open file");
    EXPECT_FALSE(loadImageFile(dir.write("notes.png", "just some text"), error));
    EXPECT_FALSE(error.empty());
}
