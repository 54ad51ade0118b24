#pragma once
// Image tools: resizing (stb_image_resize), PNG encoding and decoding
// (libpng), pixel format conversion, tiling and mip chains.
//
// Images keep their rows bottom to top (Trade::ImageData); PNG files store
// them top to bottom, and the PNG functions flip on the way in and out.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Base/Path.h"
#include "Base/Math.h"
#include "Engine/Trade.h"

namespace ZandelleEngine { namespace ImageTools {

/** Layout of one pixel of @p format; channels 0 for a format the tools
    cannot read pixel by pixel (half floats) */
struct PixelLayout {
    int channels = 0;
    int componentSize = 0;   /**< bytes per channel: 1, 2 or 4 */
    bool isFloat = false;
};
ZANDELLE_EXPORT PixelLayout pixelLayout(Trade::PixelFormat format);

/** The image scaled to @p size (each side at least 1) with stb's default
    filters and clamped edges; alpha is the last channel of four-channel
    images. Empty for a format without a pixel layout. */
ZANDELLE_EXPORT std::optional<Trade::ImageData> resize(const Trade::ImageData& image, Vector2i size);

/** The resizing converter plug-in: convert() scales to its configuration
    value "size", two integers separated by a space ("1024 512"). A missing or
    malformed size or an unsupported format gives an Error line and no
    image. */
class ZANDELLE_EXPORT StbResizeImageConverter {
    public:
        std::map<std::string, std::string, std::less<>>& configuration() { return _configuration; }
        void setValue(std::string_view key, std::string_view value);
        std::string_view value(std::string_view key) const;

        std::optional<Trade::ImageData> convert(const Trade::ImageData& image) const;

    private:
        std::map<std::string, std::string, std::less<>> _configuration;
};

/** PNG bytes of an eight-bit image (R8, RG8, RGB8 or RGBA8, stored as grey,
    grey with alpha, RGB and RGBA); empty for any other format or an empty
    image */
ZANDELLE_EXPORT std::optional<std::vector<char>> encodePng(const Trade::ImageData& image);
/** encodePng() written atomically to @p path; false when the image cannot be
    encoded or the file not written */
ZANDELLE_EXPORT bool writePng(std::string_view path, const Trade::ImageData& image, Path::Sync sync = Path::Sync::Durable);

/** An eight-bit image decoded from PNG bytes: grey files become R8Unorm,
    grey with alpha RG8Unorm, colour RGB8Unorm or (with alpha or a
    transparency chunk) RGBA8Unorm; sixteen-bit files are reduced to eight
    bits. Empty for bytes that are not a complete PNG file. */
ZANDELLE_EXPORT std::optional<Trade::ImageData> decodePng(std::span<const char> data);
ZANDELLE_EXPORT std::optional<Trade::ImageData> readPng(std::string_view path);

/** Converts the pixels of @p source into @p destination, which has its
    format and size set and its data sized: same channel count, components
    rescaled between 8 and 16 bits (normalised or integer alike). False when
    the formats differ in channel count or either has no pixel layout. */
ZANDELLE_EXPORT bool convert(const Trade::ImageData& source, Trade::ImageData& destination);

/** A (tileSize + 2 border) square of @p image around tile (@p x, @p y) of the
    grid of tileSize squares that starts at the first pixel: pixels outside
    the image repeat the nearest edge pixel. Same format as the image. */
ZANDELLE_EXPORT Trade::ImageData tile(const Trade::ImageData& image, int x, int y, int tileSize = 256, int border = 2);

/** @p count levels below @p image, each half the previous one (at least one
    pixel per side), scaled by @p converter from the level above. Stops
    early, with the converter's Error line, on a failed scale. */
ZANDELLE_EXPORT std::vector<Trade::ImageData> generateMips(const Trade::ImageData& image, int count, StbResizeImageConverter& converter);

}}
