#include "Engine/ImageTools.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include <png.h>
#include <stb_image_resize.h>

#include "Base/Log.h"
#include "Base/Path.h"

namespace ZandelleEngine { namespace ImageTools {

PixelLayout pixelLayout(Trade::PixelFormat format) {
    using F = Trade::PixelFormat;
    switch(format) {
        case F::R8Unorm: case F::R8Srgb: case F::R8UI: return {1, 1, false};
        case F::RG8Unorm: case F::RG8Srgb: case F::RG8UI: return {2, 1, false};
        case F::RGB8Unorm: case F::RGB8Srgb: case F::RGB8UI: return {3, 1, false};
        case F::RGBA8Unorm: case F::RGBA8Srgb: case F::RGBA8UI: return {4, 1, false};
        case F::R16Unorm: case F::R16UI: return {1, 2, false};
        case F::RG16Unorm: case F::RG16UI: return {2, 2, false};
        case F::RGB16Unorm: case F::RGB16UI: return {3, 2, false};
        case F::RGBA16Unorm: case F::RGBA16UI: return {4, 2, false};
        case F::R32F: return {1, 4, true};
        case F::RG32F: return {2, 4, true};
        case F::RGB32F: return {3, 4, true};
        case F::RGBA32F: return {4, 4, true};
        case F::RGBA16F: return {};
    }
    return {};
}

std::optional<Trade::ImageData> resize(const Trade::ImageData& image, Vector2i size) {
    const PixelLayout layout = pixelLayout(image.format);
    if(!layout.channels || image.size.x <= 0 || image.size.y <= 0) return {};
    size = glm::max(size, Vector2i{1});

    Trade::ImageData out;
    out.format = image.format;
    out.size = size;
    out.data.resize(std::size_t(size.x)*size.y*layout.channels*layout.componentSize);
    const int inStride = image.size.x*layout.channels*layout.componentSize;
    const int outStride = size.x*layout.channels*layout.componentSize;
    const int alpha = layout.channels == 4 ? 3 : STBIR_ALPHA_CHANNEL_NONE;
    int ok = 0;
    if(layout.componentSize == 1)
        ok = stbir_resize_uint8_generic(image.data.data(), image.size.x, image.size.y, inStride,
            out.data.data(), size.x, size.y, outStride, layout.channels, alpha, 0,
            STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr);
    else if(layout.componentSize == 2)
        ok = stbir_resize_uint16_generic(reinterpret_cast<const stbir_uint16*>(image.data.data()), image.size.x, image.size.y, inStride,
            reinterpret_cast<stbir_uint16*>(out.data.data()), size.x, size.y, outStride, layout.channels, alpha, 0,
            STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr);
    else
        ok = stbir_resize_float_generic(reinterpret_cast<const float*>(image.data.data()), image.size.x, image.size.y, inStride,
            reinterpret_cast<float*>(out.data.data()), size.x, size.y, outStride, layout.channels, alpha, 0,
            STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr);
    if(!ok) return {};
    return out;
}

void StbResizeImageConverter::setValue(std::string_view key, std::string_view value) {
    _configuration.insert_or_assign(std::string{key}, std::string{value});
}

std::string_view StbResizeImageConverter::value(std::string_view key) const {
    auto found = _configuration.find(key);
    return found == _configuration.end() ? std::string_view{} : std::string_view{found->second};
}

std::optional<Trade::ImageData> StbResizeImageConverter::convert(const Trade::ImageData& image) const {
    const std::string_view text = value("size");
    Vector2i size{0};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    std::from_chars_result parsed = std::from_chars(at, end, size.x);
    if(parsed.ec == std::errc{} && parsed.ptr != end && *parsed.ptr == ' ')
        parsed = std::from_chars(parsed.ptr + 1, end, size.y);
    else parsed.ec = std::errc::invalid_argument;
    if(parsed.ec != std::errc{} || parsed.ptr != end || size.x <= 0 || size.y <= 0) {
        Error{} << "Trade::StbResizeImageConverter::convert(): invalid size" << text;
        return {};
    }
    std::optional<Trade::ImageData> out = resize(image, size);
    if(!out) Error{} << "Trade::StbResizeImageConverter::convert(): unsupported pixel format" << Trade::pixelSize(image.format) << "bytes per pixel";
    return out;
}

namespace {

png_uint_32 pngFormat(int channels) {
    switch(channels) {
        case 1: return PNG_FORMAT_GRAY;
        case 2: return PNG_FORMAT_GA;
        case 3: return PNG_FORMAT_RGB;
        default: return PNG_FORMAT_RGBA;
    }
}

}

std::optional<std::vector<char>> encodePng(const Trade::ImageData& image) {
    const PixelLayout layout = pixelLayout(image.format);
    if(layout.componentSize != 1 || layout.isFloat || image.size.x <= 0 || image.size.y <= 0 ||
       image.data.size() < std::size_t(image.size.x)*image.size.y*layout.channels) return {};

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.size.x);
    png.height = png_uint_32(image.size.y);
    png.format = pngFormat(layout.channels);
    /* Every file written is a cache or scratch file: speed over size */
    png.flags = PNG_IMAGE_FLAG_FAST;
    /* A negative stride walks the bottom-to-top rows from the top */
    const png_int_32 stride = -png_int_32(image.size.x*layout.channels);
    /* Encoded once into room for the largest file these pixels can give */
    std::vector<char> out(PNG_IMAGE_PNG_SIZE_MAX(png));
    png_alloc_size_t size = out.size();
    if(!png_image_write_to_memory(&png, out.data(), &size, 0, image.data.data(), stride, nullptr)) return {};
    out.resize(size);
    return out;
}

bool writePng(std::string_view path, const Trade::ImageData& image, const Path::Sync sync) {
    const std::optional<std::vector<char>> data = encodePng(image);
    return data && Path::writeAtomic(path, std::string_view{data->data(), data->size()}, sync);
}

std::optional<Trade::ImageData> decodePng(std::span<const char> data) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if(!png_image_begin_read_from_memory(&png, data.data(), data.size())) return {};

    const bool color = png.format & PNG_FORMAT_FLAG_COLOR;
    const bool alpha = png.format & PNG_FORMAT_FLAG_ALPHA;
    const int channels = (color ? 3 : 1) + (alpha ? 1 : 0);
    Trade::ImageData out;
    out.format = channels == 1 ? Trade::PixelFormat::R8Unorm : channels == 2 ? Trade::PixelFormat::RG8Unorm :
        channels == 3 ? Trade::PixelFormat::RGB8Unorm : Trade::PixelFormat::RGBA8Unorm;
    out.size = Vector2i{int(png.width), int(png.height)};
    png.format = pngFormat(channels);
    out.data.resize(std::size_t(png.width)*png.height*channels);
    if(!png_image_finish_read(&png, nullptr, out.data.data(), -png_int_32(png.width*channels), nullptr)) {
        png_image_free(&png);
        return {};
    }
    return out;
}

std::optional<Trade::ImageData> readPng(std::string_view path) {
    const std::optional<std::vector<char>> data = Path::read(path);
    if(!data) return {};
    return decodePng(*data);
}

bool convert(const Trade::ImageData& source, Trade::ImageData& destination) {
    const PixelLayout from = pixelLayout(source.format);
    const PixelLayout to = pixelLayout(destination.format);
    if(!from.channels || from.channels != to.channels || from.isFloat || to.isFloat || source.size != destination.size)
        return false;
    const std::size_t count = std::size_t(source.size.x)*source.size.y*from.channels;
    if(source.data.size() < count*from.componentSize || destination.data.size() < count*to.componentSize) return false;

    auto read = [&](std::size_t i) -> std::uint32_t {
        if(from.componentSize == 1) return source.data[i];
        std::uint16_t v;
        std::memcpy(&v, source.data.data() + 2*i, 2);
        return v;
    };
    for(std::size_t i = 0; i != count; ++i) {
        const std::uint32_t v = read(i);
        if(to.componentSize == 1) {
            /* 65535 -> 255 with rounding: v/257 */
            destination.data[i] = std::uint8_t(from.componentSize == 1 ? v : (v + 128)/257);
        } else {
            const std::uint16_t w = std::uint16_t(from.componentSize == 1 ? v*257 : v);
            std::memcpy(destination.data.data() + 2*i, &w, 2);
        }
    }
    return true;
}

Trade::ImageData tile(const Trade::ImageData& image, int x, int y, int tileSize, int border) {
    const std::size_t pixel = Trade::pixelSize(image.format);
    const int side = tileSize + 2*border;
    Trade::ImageData out;
    out.format = image.format;
    out.size = Vector2i{side};
    out.data.resize(std::size_t(side)*side*pixel);
    if(image.size.x <= 0 || image.size.y <= 0) return out;

    const int x0 = x*tileSize - border, y0 = y*tileSize - border;
    /* Source column of every output column, clamped to the image */
    std::vector<int> columns(side);
    for(int i = 0; i != side; ++i) columns[i] = std::clamp(x0 + i, 0, image.size.x - 1);
    const bool contiguous = columns.front() + side - 1 == columns.back();
    for(int row = 0; row != side; ++row) {
        const int sy = std::clamp(y0 + row, 0, image.size.y - 1);
        const std::uint8_t* src = image.data.data() + std::size_t(sy)*image.size.x*pixel;
        std::uint8_t* dst = out.data.data() + std::size_t(row)*side*pixel;
        if(contiguous) std::memcpy(dst, src + columns.front()*pixel, side*pixel);
        else for(int i = 0; i != side; ++i) std::memcpy(dst + i*pixel, src + columns[i]*pixel, pixel);
    }
    return out;
}

std::vector<Trade::ImageData> generateMips(const Trade::ImageData& image, int count, StbResizeImageConverter& converter) {
    std::vector<Trade::ImageData> levels;
    const Trade::ImageData* previous = &image;
    for(int i = 0; i < count; ++i) {
        const Vector2i size = glm::max(previous->size/2, Vector2i{1});
        converter.setValue("size", std::to_string(size.x) + " " + std::to_string(size.y));
        std::optional<Trade::ImageData> level = converter.convert(*previous);
        if(!level) break;
        levels.push_back(std::move(*level));
        previous = &levels.back();
    }
    return levels;
}

}}
