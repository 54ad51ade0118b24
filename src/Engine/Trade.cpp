#include "Engine/Trade.h"

namespace ZandelleEngine { namespace Trade {

std::size_t pixelSize(PixelFormat format) {
    switch(format) {
        case PixelFormat::R8Unorm: return 1;
        case PixelFormat::RG8Unorm: return 2;
        case PixelFormat::RGB8Unorm: return 3;
        case PixelFormat::RGBA8Unorm: return 4;
        case PixelFormat::RGBA16F: return 8;
        case PixelFormat::RGBA32F: return 16;
    }
    return 0;
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
