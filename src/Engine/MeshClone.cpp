#include "Engine/MeshClone.h"

#include <cstring>

namespace ZandelleEngine { namespace MeshTools {

namespace {

MeshDataFlags flagOf(const Trade::MeshAttributeData& a) {
    switch(a.name) {
        case Trade::MeshAttribute::Position: return MeshDataFlag::Position;
        case Trade::MeshAttribute::Normal: return MeshDataFlag::Normals;
        case Trade::MeshAttribute::Tangent: return MeshDataFlag::Tangents;
        case Trade::MeshAttribute::TextureCoordinates:
            if(a.set == 0) return MeshDataFlag::TextureCoordinates;
            if(a.set == 1) return MeshDataFlag::SecondaryTextureCoordinates;
            return {};
        case Trade::MeshAttribute::Color: return MeshDataFlag::Colors;
        case Trade::MeshAttribute::JointIds: return MeshDataFlag::JointIds;
        case Trade::MeshAttribute::Weights: return MeshDataFlag::Weights;
        case Trade::MeshAttribute::Bitangent:
        case Trade::MeshAttribute::ObjectId: return {};
    }
    return {};
}

}

Trade::MeshData cloneMeshData(const Trade::MeshData& mesh, MeshDataFlags flags) {
    Trade::MeshData out;
    out.primitive = mesh.primitive;
    out.indexType = mesh.indexType;
    out.indexData = mesh.indexData;
    out.vertexCount = mesh.vertexCount;
    for(const Trade::MeshAttributeData& a: mesh.attributes) {
        const MeshDataFlags flag = flagOf(a);
        if(!flag || !(flags >= flag)) continue;
        const std::size_t size = Trade::vertexFormatSize(a.format);
        if(mesh.vertexCount && std::size_t(a.offset) + std::size_t(a.stride)*(mesh.vertexCount - 1) + size > mesh.vertexData.size())
            continue;
        Trade::MeshAttributeData copy = a;
        copy.offset = std::uint32_t(out.vertexData.size());
        copy.stride = std::uint32_t(size);
        out.vertexData.resize(out.vertexData.size() + size*mesh.vertexCount);
        for(std::uint32_t v = 0; v != mesh.vertexCount; ++v)
            std::memcpy(out.vertexData.data() + copy.offset + size*v, mesh.vertexData.data() + a.offset + std::size_t(a.stride)*v, size);
        out.attributes.push_back(copy);
    }
    return out;
}

}}
