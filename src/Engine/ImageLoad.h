#pragma once
// Decoding image files into ImageData: PNG, JPEG, BMP, TGA, GIF (first frame),
// PSD and HDR through stb, WebP through libwebp.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "Base/Export.h"
#include "Engine/Trade.h"

namespace ZandelleEngine {

/**
 * Decodes the image file at @p path. Rows come out bottom to top. 8-bit files
 * give R8Unorm..RGBA8Unorm by their channel count, 16-bit PNGs R16Unorm..
 * RGBA16Unorm, HDR files R32F..RGBA32F. On failure returns nothing and sets
 * @p error to a one-line reason (no path in it); never throws.
 */
ZANDELLE_EXPORT std::optional<Trade::ImageData> loadImageFile(const std::string& path, std::string& error);

/** Largest decoded image, in bytes, that loadImageFile() and loadImageData()
    accept: a 16384 x 16384 RGBA image of 8-bit channels */
constexpr std::uint64_t MaxImageBytes = std::uint64_t(1) << 30;

/** Same as loadImageFile() for an encoded image in memory, of any size */
ZANDELLE_EXPORT std::optional<Trade::ImageData> loadImageData(const void* data, std::size_t size, std::string& error);

}
