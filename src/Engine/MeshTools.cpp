#include "Engine/MeshTools.h"

#include <cstring>
#include <vector>

#include "Base/Log.h"

namespace ZandelleEngine { namespace MeshTools {

namespace {

using Trade::IndexType;
using Trade::MeshAttribute;
using Trade::MeshAttributeData;
using Trade::MeshData;
using Trade::VertexFormat;

std::vector<std::uint32_t> readIndices(const MeshData& mesh) {
    std::vector<std::uint32_t> out;
    if(!mesh.isIndexed()) {
        out.resize(mesh.vertexCount);
        for(std::uint32_t i = 0; i != mesh.vertexCount; ++i) out[i] = i;
        return out;
    }
    const std::size_t count = mesh.indexCount();
    out.resize(count);
    const std::uint8_t* data = mesh.indexData.data();
    for(std::size_t i = 0; i != count; ++i) {
        switch(mesh.indexType) {
            case IndexType::UnsignedByte: out[i] = data[i]; break;
            case IndexType::UnsignedShort: {
                std::uint16_t v;
                std::memcpy(&v, data + 2*i, 2);
                out[i] = v;
            } break;
            case IndexType::UnsignedInt: std::memcpy(&out[i], data + 4*i, 4); break;
            case IndexType::None: break;
        }
    }
    return out;
}

/* The smallest of 16 and 32 bits that addresses every vertex */
void writeIndices(MeshData& mesh, const std::vector<std::uint32_t>& indices) {
    if(mesh.vertexCount <= 65536) {
        mesh.indexType = IndexType::UnsignedShort;
        mesh.indexData.resize(indices.size()*2);
        for(std::size_t i = 0; i != indices.size(); ++i) {
            const std::uint16_t v = std::uint16_t(indices[i]);
            std::memcpy(mesh.indexData.data() + 2*i, &v, 2);
        }
    } else {
        mesh.indexType = IndexType::UnsignedInt;
        mesh.indexData.resize(indices.size()*4);
        std::memcpy(mesh.indexData.data(), indices.data(), mesh.indexData.size());
    }
}

/* Reads one vertex of an attribute as four floats; missing components stay
   as @p out had them */
void readVertex(const MeshData& mesh, const MeshAttributeData& a, std::uint32_t vertex, float* out) {
    const std::uint8_t* p = mesh.vertexData.data() + a.offset + std::size_t(vertex)*a.stride;
    switch(a.format) {
        case VertexFormat::Float: std::memcpy(out, p, 4); break;
        case VertexFormat::Vector2: std::memcpy(out, p, 8); break;
        case VertexFormat::Vector3: std::memcpy(out, p, 12); break;
        case VertexFormat::Vector4: std::memcpy(out, p, 16); break;
        case VertexFormat::Vector4ub:
            for(int i = 0; i != 4; ++i) out[i] = float(p[i]);
            break;
        case VertexFormat::Vector4ubNormalized:
            for(int i = 0; i != 4; ++i) out[i] = float(p[i])/255.0f;
            break;
        case VertexFormat::Vector4us:
        case VertexFormat::Vector4usNormalized: {
            std::uint16_t v[4];
            std::memcpy(v, p, 8);
            const float scale = a.format == VertexFormat::Vector4us ? 1.0f : 1.0f/65535.0f;
            for(int i = 0; i != 4; ++i) out[i] = float(v[i])*scale;
        } break;
    }
}

bool inBounds(const MeshData& mesh, const MeshAttributeData& a) {
    if(mesh.vertexCount == 0) return true;
    const std::size_t last = a.offset + std::size_t(mesh.vertexCount - 1)*a.stride + Trade::vertexFormatSize(a.format);
    return last <= mesh.vertexData.size();
}

struct PackedAttribute {
    const char* what;
    MeshDataFlag flag;
    MeshAttribute name;
    std::uint32_t set;
    VertexFormat format;
    /* What components the source does not have read as */
    float fill[4];
};

/* The packed layout, in order */
const PackedAttribute PackedLayout[]{
    {"positions", MeshDataFlag::Position, MeshAttribute::Position, 0, VertexFormat::Vector3, {0, 0, 0, 0}},
    {"normals", MeshDataFlag::Normals, MeshAttribute::Normal, 0, VertexFormat::Vector3, {0, 0, 0, 0}},
    {"texture coordinates", MeshDataFlag::TextureCoordinates, MeshAttribute::TextureCoordinates, 0, VertexFormat::Vector2, {0, 0, 0, 0}},
    {"tangents", MeshDataFlag::Tangents, MeshAttribute::Tangent, 0, VertexFormat::Vector4, {0, 0, 0, 1}},
    {"secondary texture coordinates", MeshDataFlag::SecondaryTextureCoordinates, MeshAttribute::TextureCoordinates, 1, VertexFormat::Vector2, {0, 0, 0, 0}},
    {"colors", MeshDataFlag::Colors, MeshAttribute::Color, 0, VertexFormat::Vector4, {0, 0, 0, 1}},
    {"joint ids", MeshDataFlag::JointIds, MeshAttribute::JointIds, 0, VertexFormat::Vector4us, {0, 0, 0, 0}},
    {"weights", MeshDataFlag::Weights, MeshAttribute::Weights, 0, VertexFormat::Vector4, {0, 0, 0, 0}},
};

}

MeshData convertToTriangles(MeshData mesh) {
    if(mesh.primitive != Trade::MeshPrimitive::TriangleStrip && mesh.primitive != Trade::MeshPrimitive::TriangleFan)
        return mesh;

    const std::vector<std::uint32_t> in = readIndices(mesh);
    std::vector<std::uint32_t> out;
    if(in.size() >= 3) {
        out.reserve((in.size() - 2)*3);
        for(std::size_t i = 0; i + 2 < in.size(); ++i) {
            if(mesh.primitive == Trade::MeshPrimitive::TriangleFan)
                out.insert(out.end(), {in[0], in[i + 1], in[i + 2]});
            /* Every other triangle of a strip runs the other way round */
            else if(i % 2 == 0)
                out.insert(out.end(), {in[i], in[i + 1], in[i + 2]});
            else
                out.insert(out.end(), {in[i + 1], in[i], in[i + 2]});
        }
    }
    mesh.primitive = Trade::MeshPrimitive::Triangles;
    writeIndices(mesh, out);
    return mesh;
}

MeshDataFlags getMeshFlags(const MeshData& mesh) {
    MeshDataFlags flags;
    for(const MeshAttributeData& a: mesh.attributes) {
        switch(a.name) {
            case MeshAttribute::Position: flags |= MeshDataFlag::Position; break;
            case MeshAttribute::Normal: flags |= MeshDataFlag::Normals; break;
            case MeshAttribute::Tangent: flags |= MeshDataFlag::Tangents; break;
            case MeshAttribute::TextureCoordinates:
                if(a.set == 0) flags |= MeshDataFlag::TextureCoordinates;
                else if(a.set == 1) flags |= MeshDataFlag::SecondaryTextureCoordinates;
                break;
            case MeshAttribute::Color: flags |= MeshDataFlag::Colors; break;
            case MeshAttribute::JointIds: flags |= MeshDataFlag::JointIds; break;
            case MeshAttribute::Weights: flags |= MeshDataFlag::Weights; break;
            case MeshAttribute::Bitangent:
            case MeshAttribute::ObjectId: break;
        }
    }
    return flags;
}

MeshData packMesh(const MeshData& mesh, MeshDataFlags flags) {
    struct Source {
        const PackedAttribute* packed;
        const MeshAttributeData* attribute;
        std::uint32_t offset;
    };
    std::vector<Source> sources;
    std::uint32_t stride = 0;
    for(const PackedAttribute& packed: PackedLayout) {
        if(!(flags >= packed.flag)) continue;
        const MeshAttributeData* attribute = mesh.attribute(packed.name, packed.set);
        if(!attribute) continue;
        if(!inBounds(mesh, *attribute)) {
            Warning{} << "MeshTools::packMesh():" << packed.what << "lie outside the vertex data, dropped";
            continue;
        }
        sources.push_back({&packed, attribute, stride});
        stride += std::uint32_t(Trade::vertexFormatSize(packed.format));
    }

    MeshData out;
    out.primitive = mesh.primitive;
    out.vertexCount = mesh.vertexCount;
    out.vertexData.resize(std::size_t(stride)*mesh.vertexCount);
    for(const Source& s: sources)
        out.attributes.push_back({s.packed->name, s.packed->format, s.offset, stride, s.packed->set});

    for(std::uint32_t v = 0; v != mesh.vertexCount; ++v) {
        std::uint8_t* vertex = out.vertexData.data() + std::size_t(v)*stride;
        for(const Source& s: sources) {
            float value[4];
            std::memcpy(value, s.packed->fill, sizeof(value));
            readVertex(mesh, *s.attribute, v, value);
            if(s.packed->format == VertexFormat::Vector4us) {
                std::uint16_t ids[4];
                for(int i = 0; i != 4; ++i)
                    ids[i] = value[i] <= 0.0f ? 0 : value[i] >= 65535.0f ? 65535 : std::uint16_t(value[i]);
                std::memcpy(vertex + s.offset, ids, sizeof(ids));
            } else std::memcpy(vertex + s.offset, value, Trade::vertexFormatSize(s.packed->format));
        }
    }

    if(mesh.isIndexed()) writeIndices(out, readIndices(mesh));
    return out;
}

}}
