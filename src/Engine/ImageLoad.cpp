#include "Engine/ImageLoad.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <stb_image.h>
#include <webp/decode.h>

namespace ZandelleEngine {

namespace {

using Trade::PixelFormat;

/* Decoders hand out rows top to bottom; ImageData keeps them bottom to top */
void flipRows(std::uint8_t* pixels, std::size_t rowSize, std::size_t rows) {
    std::vector<std::uint8_t> tmp(rowSize);
    for(std::size_t top = 0, bottom = rows ? rows - 1 : 0; top < bottom; ++top, --bottom) {
        std::memcpy(tmp.data(), pixels + top*rowSize, rowSize);
        std::memcpy(pixels + top*rowSize, pixels + bottom*rowSize, rowSize);
        std::memcpy(pixels + bottom*rowSize, tmp.data(), rowSize);
    }
}

Trade::ImageData makeImage(PixelFormat format, int width, int height, const void* pixels) {
    Trade::ImageData image;
    image.format = format;
    image.size = Vector2i{width, height};
    const std::size_t rowSize = std::size_t(width)*Trade::pixelSize(format);
    image.data.resize(rowSize*std::size_t(height));
    std::memcpy(image.data.data(), pixels, image.data.size());
    flipRows(image.data.data(), rowSize, std::size_t(height));
    return image;
}

bool isWebP(const std::uint8_t* data, std::size_t size) {
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

std::optional<Trade::ImageData> loadWebP(const std::uint8_t* data, std::size_t size, std::string& error) {
    WebPBitstreamFeatures features;
    if(WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) {
        error = "invalid WebP data";
        return {};
    }
    int width = 0, height = 0;
    std::uint8_t* pixels = features.has_alpha ?
        WebPDecodeRGBA(data, size, &width, &height) : WebPDecodeRGB(data, size, &width, &height);
    if(!pixels) {
        error = "invalid WebP data";
        return {};
    }
    Trade::ImageData image = makeImage(features.has_alpha ? PixelFormat::RGBA8Unorm : PixelFormat::RGB8Unorm,
        width, height, pixels);
    WebPFree(pixels);
    return image;
}

/* stb's reason for the last failure on this thread, never empty */
std::string stbReason(const char* fallback) {
    const char* reason = stbi_failure_reason();
    return reason && *reason ? reason : fallback;
}

constexpr PixelFormat Formats8[]{PixelFormat::R8Unorm, PixelFormat::RG8Unorm, PixelFormat::RGB8Unorm, PixelFormat::RGBA8Unorm};
constexpr PixelFormat Formats16[]{PixelFormat::R16Unorm, PixelFormat::RG16Unorm, PixelFormat::RGB16Unorm, PixelFormat::RGBA16Unorm};
constexpr PixelFormat Formats32F[]{PixelFormat::R32F, PixelFormat::RG32F, PixelFormat::RGB32F, PixelFormat::RGBA32F};

}

std::optional<Trade::ImageData> loadImageData(const void* data, std::size_t size, std::string& error) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if(!bytes || size == 0) {
        error = "empty file";
        return {};
    }
    if(isWebP(bytes, size)) return loadWebP(bytes, size, error);
    /* stb takes the length as an int */
    if(size > std::size_t(INT_MAX)) {
        error = "file too large";
        return {};
    }

    const int length = int(size);
    int width = 0, height = 0, channels = 0;
    if(!stbi_info_from_memory(bytes, length, &width, &height, &channels)) {
        error = stbReason("unknown image format");
        return {};
    }

    /* A few header bytes can ask for gigabytes (a bitmap stb fills with
       zeros past the end of the file): more than MaxImageBytes decoded is
       refused before anything is allocated */
    const bool hdr = stbi_is_hdr_from_memory(bytes, length), wide = !hdr && stbi_is_16_bit_from_memory(bytes, length);
    const std::uint64_t decodedBytes = std::uint64_t(width)*std::uint64_t(height)*std::uint64_t(channels)*(hdr ? 4 : wide ? 2 : 1);
    if(decodedBytes > MaxImageBytes) {
        error = "image too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels)";
        return {};
    }

    const PixelFormat* formats = Formats8;
    std::unique_ptr<void, void(*)(void*)> pixels{nullptr, stbi_image_free};
    if(hdr) {
        formats = Formats32F;
        pixels.reset(stbi_loadf_from_memory(bytes, length, &width, &height, &channels, 0));
    } else if(wide) {
        formats = Formats16;
        pixels.reset(stbi_load_16_from_memory(bytes, length, &width, &height, &channels, 0));
    } else {
        pixels.reset(stbi_load_from_memory(bytes, length, &width, &height, &channels, 0));
    }
    if(!pixels || channels < 1 || channels > 4 || width <= 0 || height <= 0) {
        error = stbReason("cannot decode image");
        return {};
    }
    return makeImage(formats[channels - 1], width, height, pixels.get());
}

std::optional<Trade::ImageData> loadImageFile(const std::string& path, std::string& error) {
    std::ifstream in{path, std::ios::binary};
    if(!in) {
        error = "cannot open file";
        return {};
    }
    const std::vector<char> contents{std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
    if(in.bad()) {
        error = "cannot read file";
        return {};
    }
    return loadImageData(contents.data(), contents.size(), error);
}

}
