#include "Engine/Trade.h"

namespace ZandelleEngine { namespace Trade {

std::size_t pixelSize(PixelFormat format) {
    switch(format) {
        case PixelFormat::R8Unorm: case PixelFormat::R8Srgb: case PixelFormat::R8UI: return 1;
        case PixelFormat::RG8Unorm: case PixelFormat::RG8Srgb: case PixelFormat::RG8UI:
        case PixelFormat::R16Unorm: case PixelFormat::R16UI: return 2;
        case PixelFormat::RGB8Unorm: case PixelFormat::RGB8Srgb: case PixelFormat::RGB8UI: return 3;
        case PixelFormat::RGBA8Unorm: case PixelFormat::RGBA8Srgb: case PixelFormat::RGBA8UI:
        case PixelFormat::RG16Unorm: case PixelFormat::RG16UI: case PixelFormat::R32F: return 4;
        case PixelFormat::RGB16Unorm: case PixelFormat::RGB16UI: return 6;
        case PixelFormat::RGBA16Unorm: case PixelFormat::RGBA16UI: case PixelFormat::RGBA16F:
        case PixelFormat::RG32F: return 8;
        case PixelFormat::RGB32F: return 12;
        case PixelFormat::RGBA32F: return 16;
    }
    return 0;
}

const char* pixelFormatName(PixelFormat format) {
    switch(format) {
        #define _c(name) case PixelFormat::name: return "PixelFormat::" #name;
        _c(R8Unorm) _c(RG8Unorm) _c(RGB8Unorm) _c(RGBA8Unorm)
        _c(R8Srgb) _c(RG8Srgb) _c(RGB8Srgb) _c(RGBA8Srgb)
        _c(R8UI) _c(RG8UI) _c(RGB8UI) _c(RGBA8UI)
        _c(R16Unorm) _c(RG16Unorm) _c(RGB16Unorm) _c(RGBA16Unorm)
        _c(R16UI) _c(RG16UI) _c(RGB16UI) _c(RGBA16UI)
        _c(RGBA16F) _c(R32F) _c(RG32F) _c(RGB32F) _c(RGBA32F)
        #undef _c
    }
    return "PixelFormat::(invalid)";
}

std::size_t vertexFormatSize(VertexFormat format) {
    switch(format) {
        case VertexFormat::Float: return 4;
        case VertexFormat::Vector2: return 8;
        case VertexFormat::Vector3: return 12;
        case VertexFormat::Vector4: return 16;
        case VertexFormat::Vector4ub:
        case VertexFormat::Vector4ubNormalized: return 4;
        case VertexFormat::Vector4us:
        case VertexFormat::Vector4usNormalized: return 8;
    }
    return 0;
}

std::size_t indexTypeSize(IndexType type) {
    switch(type) {
        case IndexType::None: return 1;
        case IndexType::UnsignedByte: return 1;
        case IndexType::UnsignedShort: return 2;
        case IndexType::UnsignedInt: return 4;
    }
    return 1;
}

const MeshAttributeData* MeshData::attribute(MeshAttribute name, std::uint32_t set) const {
    for(const MeshAttributeData& a: attributes) if(a.name == name && a.set == set) return &a;
    return nullptr;
}

}}
