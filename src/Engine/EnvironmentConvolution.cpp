#include "Engine/EnvironmentConvolution.h"

#include <cmath>

#include "Engine/ImageTools.h"

namespace ZandelleEngine { namespace GLTools {

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr int SampleWidth = 64, SampleHeight = 32;

/* The source as RGBA8 */
Trade::ImageData toRgba(const Trade::ImageData& source) {
    const ImageTools::PixelLayout layout = ImageTools::pixelLayout(source.format);
    Trade::ImageData out;
    out.size = glm::max(source.size, Vector2i{1});
    out.data.assign(std::size_t(out.size.x)*out.size.y*4, 255);
    if(layout.componentSize != 1 || source.data.size() < std::size_t(source.size.x)*source.size.y*layout.channels) return out;
    for(std::size_t i = 0, n = std::size_t(source.size.x)*source.size.y; i != n; ++i) {
        const std::uint8_t* p = source.data.data() + i*layout.channels;
        std::uint8_t* q = out.data.data() + i*4;
        if(layout.channels <= 2) q[0] = q[1] = q[2] = p[0];
        else for(int c = 0; c != 3; ++c) q[c] = p[c];
        if(layout.channels == 2) q[3] = p[1];
        if(layout.channels == 4) q[3] = p[3];
    }
    return out;
}

/* Direction of the centre of texel (x, y) of a w x h panorama */
Vector3 direction(int x, int y, int w, int h) {
    const float phi = (float(x) + 0.5f)/float(w)*2.0f*Pi;
    const float theta = (float(y) + 0.5f)/float(h)*Pi - 0.5f*Pi;
    return Vector3{std::cos(theta)*std::cos(phi), std::sin(theta), std::cos(theta)*std::sin(phi)};
}

struct Samples {
    std::vector<Vector3> directions;
    std::vector<Vector3> radiance;   /* times the texel's solid angle */
    std::vector<float> solidAngle;
};

Samples samples(const Trade::ImageData& rgba) {
    const Trade::ImageData small = *ImageTools::resize(rgba, {SampleWidth, SampleHeight});
    Samples s;
    const float texel = (2.0f*Pi/SampleWidth)*(Pi/SampleHeight);
    for(int y = 0; y != SampleHeight; ++y) for(int x = 0; x != SampleWidth; ++x) {
        const Vector3 d = direction(x, y, SampleWidth, SampleHeight);
        const float omega = texel*std::sqrt(std::max(0.0f, 1.0f - d.y*d.y));
        const std::uint8_t* p = small.data.data() + (std::size_t(y)*SampleWidth + x)*4;
        s.directions.push_back(d);
        s.solidAngle.push_back(omega);
        s.radiance.push_back(Vector3{p[0], p[1], p[2]}*(omega/255.0f));
    }
    return s;
}

/* Fills a grid of directions with @p filter and scales it to @p size */
template<class F> Trade::ImageData filtered(Vector2i size, F filter) {
    const Vector2i grid = glm::min(size, Vector2i{SampleWidth, SampleHeight});
    Trade::ImageData out;
    out.size = grid;
    out.data.resize(std::size_t(grid.x)*grid.y*4);
    for(int y = 0; y != grid.y; ++y) for(int x = 0; x != grid.x; ++x) {
        const Vector3 c = glm::clamp(filter(direction(x, y, grid.x, grid.y)), Vector3{0.0f}, Vector3{1.0f});
        std::uint8_t* q = out.data.data() + (std::size_t(y)*grid.x + x)*4;
        for(int i = 0; i != 3; ++i) q[i] = std::uint8_t(std::lround(c[i]*255.0f));
        q[3] = 255;
    }
    return grid == size ? out : *ImageTools::resize(out, size);
}

}

Trade::ImageData convoluteEnvironment(const Trade::ImageData& source) {
    const Samples s = samples(toRgba(source));
    return filtered(glm::max(source.size, Vector2i{1}), [&](const Vector3& n) {
        Vector3 sum{0.0f};
        for(std::size_t i = 0; i != s.directions.size(); ++i)
            sum += s.radiance[i]*std::max(0.0f, glm::dot(n, s.directions[i]));
        return sum/Pi;
    });
}

std::vector<Trade::ImageData> convoluteSpecularEnvironment(const Trade::ImageData& source, int levels) {
    std::vector<Trade::ImageData> out;
    if(levels <= 0) return out;
    const Trade::ImageData rgba = toRgba(source);
    out.push_back(rgba);
    const Samples s = samples(rgba);
    for(int l = 1; l < levels; ++l) {
        const float r = float(l)/float(levels - 1);
        const float k = std::max(2.0f/(r*r*r*r) - 2.0f, 0.0f);
        out.push_back(filtered(glm::max(Vector2i{rgba.size.x >> l, rgba.size.y >> l}, Vector2i{1}), [&](const Vector3& d) {
            Vector3 sum{0.0f};
            float weight = 0.0f;
            for(std::size_t i = 0; i != s.directions.size(); ++i) {
                const float cosine = glm::dot(d, s.directions[i]);
                if(cosine <= 0.0f) continue;
                const float w = std::pow(cosine, k);
                sum += s.radiance[i]*w;
                weight += s.solidAngle[i]*w;
            }
            return weight > 0.0f ? sum/weight : Vector3{0.0f};
        }));
    }
    return out;
}

}}
