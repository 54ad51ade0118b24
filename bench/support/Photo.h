#pragma once
// A photo-like test image for the image benchmarks.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Engine/Trade.h"

namespace ZandelleEngine { namespace Generated {

/* Smooth gradients and a little grain, like a photograph */
inline Trade::ImageData photo(int size) {
    Trade::ImageData image{Trade::PixelFormat::RGBA8Unorm, {size, size}, {}};
    image.data.resize(std::size_t(size)*size*4);
    std::uint32_t seed = 7;
    for(int y = 0; y != size; ++y) for(int x = 0; x != size; ++x) {
        std::uint8_t* p = image.data.data() + (std::size_t(y)*size + x)*4;
        seed = seed*1664525u + 1013904223u;
        const float grain = float(seed >> 28) - 8.0f;
        p[0] = std::uint8_t(std::clamp(128.0f + 100.0f*std::sin(x*0.004f + y*0.002f) + grain, 0.0f, 255.0f));
        p[1] = std::uint8_t(std::clamp(128.0f + 90.0f*std::cos(y*0.005f) + grain, 0.0f, 255.0f));
        p[2] = std::uint8_t(std::clamp(64.0f + 60.0f*std::sin((x + y)*0.01f) + grain, 0.0f, 255.0f));
        p[3] = 255;
    }
    return image;
}

}}
