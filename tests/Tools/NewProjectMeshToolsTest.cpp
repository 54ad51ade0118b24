#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "Engine/MeshTools.h"
#include "Support/LogCapture.h"

using namespace ZandelleEngine;
using MeshTools::MeshDataFlag;
using MeshTools::MeshDataFlags;
using A = Trade::MeshAttribute;

namespace {

template<class T> std::vector<std::uint8_t> bytes(std::initializer_list<T> values) {
    std::vector<std::uint8_t> out(values.size()*sizeof(T));
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}

/* Positions only, @p count vertices along X */
Trade::MeshData line(std::uint32_t count, Trade::MeshPrimitive primitive) {
    Trade::MeshData mesh;
    mesh.primitive = primitive;
    mesh.vertexCount = count;
    mesh.vertexData.resize(count*12);
    for(std::uint32_t i = 0; i != count; ++i) {
        const float p[3]{float(i), 0.0f, 0.0f};
        std::memcpy(mesh.vertexData.data() + 12*i, p, 12);
    }
    mesh.attributes.push_back({A::Position, Trade::VertexFormat::Vector3, 0, 12});
    return mesh;
}

}

TEST(NewProjectMeshTools, ConvertToTriangles) {
    using P = Trade::MeshPrimitive;
    /* A strip flips every other triangle back to the same winding */
    const Trade::MeshData strip = MeshTools::convertToTriangles(line(5, P::TriangleStrip));
    EXPECT_EQ(strip.primitive, P::Triangles);
    EXPECT_EQ(strip.indexType, Trade::IndexType::UnsignedShort);
    EXPECT_EQ(strip.indexData, bytes<std::uint16_t>({0, 1, 2, 2, 1, 3, 2, 3, 4}));

    /* An indexed fan keeps its first index as the hub */
    Trade::MeshData fan = line(5, P::TriangleFan);
    fan.indexType = Trade::IndexType::UnsignedByte;
    fan.indexData = {4, 3, 2, 1};
    EXPECT_EQ(MeshTools::convertToTriangles(std::move(fan)).indexData, bytes<std::uint16_t>({4, 3, 2, 4, 2, 1}));

    /* Too short for a triangle: an empty index list */
    const Trade::MeshData tiny = MeshTools::convertToTriangles(line(2, P::TriangleStrip));
    EXPECT_EQ(tiny.primitive, P::Triangles);
    EXPECT_TRUE(tiny.isIndexed());
    EXPECT_EQ(tiny.indexCount(), 0u);

    /* Beyond 16-bit vertex counts the indices widen */
    const Trade::MeshData large = MeshTools::convertToTriangles(line(70000, P::TriangleStrip));
    EXPECT_EQ(large.indexType, Trade::IndexType::UnsignedInt);
    EXPECT_EQ(large.indexCount(), 3u*69998u);

    /* Triangles, lines and points come back as they were */
    for(P p: {P::Triangles, P::Lines, P::Points}) {
        const Trade::MeshData same = MeshTools::convertToTriangles(line(3, p));
        EXPECT_EQ(same.primitive, p);
        EXPECT_FALSE(same.isIndexed());
    }
}

TEST(NewProjectMeshTools, PackConvertsAndSelects) {
    /* Two vertices: position, tangent without handedness, normalised
       byte colour, byte joint ids, normalised short weights, secondary
       texture coordinates; 32-bit indices */
    struct Vertex {
        float position[3];
        float tangent[3];
        std::uint8_t color[4];
        std::uint8_t joints[4];
        std::uint16_t weights[4];
        float uv1[2];
    };
    static_assert(sizeof(Vertex) == 48);
    const Vertex vertices[]{
        {{1, 2, 3}, {1, 0, 0}, {255, 0, 51, 255}, {1, 2, 3, 4}, {65535, 0, 0, 0}, {0.25f, 0.5f}},
        {{4, 5, 6}, {0, 1, 0}, {0, 255, 0, 0}, {5, 6, 7, 255}, {0, 65535, 0, 0}, {0.75f, 1.0f}},
    };
    Trade::MeshData mesh;
    mesh.vertexCount = 2;
    mesh.vertexData.resize(sizeof(vertices));
    std::memcpy(mesh.vertexData.data(), vertices, sizeof(vertices));
    mesh.attributes = {
        {A::Weights, Trade::VertexFormat::Vector4usNormalized, 32, 48},
        {A::Tangent, Trade::VertexFormat::Vector3, 12, 48},
        {A::Color, Trade::VertexFormat::Vector4ubNormalized, 24, 48},
        {A::JointIds, Trade::VertexFormat::Vector4ub, 28, 48},
        {A::Position, Trade::VertexFormat::Vector3, 0, 48},
        {A::TextureCoordinates, Trade::VertexFormat::Vector2, 40, 48, 1},
    };
    mesh.indexType = Trade::IndexType::UnsignedInt;
    mesh.indexData = bytes<std::uint32_t>({0, 1, 1});

    EXPECT_EQ(MeshTools::getMeshFlags(mesh), MeshDataFlag::Position|MeshDataFlag::Tangents|MeshDataFlag::Colors|
        MeshDataFlag::JointIds|MeshDataFlag::Weights|MeshDataFlag::SecondaryTextureCoordinates);

    /* Colours not wanted; normals wanted but not there. Joint ids widen to
       16 bits, the rest to floats, in a fixed order */
    const Trade::MeshData packed = MeshTools::packMesh(mesh,
        MeshTools::AllMeshDataFlags & ~MeshDataFlags{MeshDataFlag::Colors});
    std::vector<std::tuple<A, Trade::VertexFormat, std::uint32_t, std::uint32_t>> layout;
    for(const auto& a: packed.attributes) layout.emplace_back(a.name, a.format, a.offset, a.set);
    using V = Trade::VertexFormat;
    EXPECT_EQ(layout, (decltype(layout){{A::Position, V::Vector3, 0, 0}, {A::Tangent, V::Vector4, 12, 0},
        {A::TextureCoordinates, V::Vector2, 28, 1}, {A::JointIds, V::Vector4us, 36, 0},
        {A::Weights, V::Vector4, 44, 0}}));
    EXPECT_EQ(packed.attributes[0].stride, 60u);

    struct Packed {
        float position[3];
        float tangent[4];
        float uv1[2];
        std::uint16_t joints[4];
        float weights[4];
    };
    static_assert(sizeof(Packed) == 60);
    const Packed expected[]{
        {{1, 2, 3}, {1, 0, 0, 1}, {0.25f, 0.5f}, {1, 2, 3, 4}, {1, 0, 0, 0}},
        {{4, 5, 6}, {0, 1, 0, 1}, {0.75f, 1.0f}, {5, 6, 7, 255}, {0, 1, 0, 0}},
    };
    ASSERT_EQ(packed.vertexData.size(), sizeof(expected));
    EXPECT_EQ(std::memcmp(packed.vertexData.data(), expected, sizeof(expected)), 0);
    EXPECT_EQ(packed.indexType, Trade::IndexType::UnsignedShort);
    EXPECT_EQ(packed.indexData, bytes<std::uint16_t>({0, 1, 1}));
}

TEST(NewProjectMeshTools, PackDropsAttributesOutsideTheBuffer) {
    Trade::MeshData mesh = line(3, Trade::MeshPrimitive::Triangles);
    mesh.attributes.push_back({A::Normal, Trade::VertexFormat::Vector3, 4, 12});
    Testing::LogCapture log;
    const Trade::MeshData packed = MeshTools::packMesh(mesh, MeshTools::AllMeshDataFlags);
    EXPECT_EQ(log.warning(), "MeshTools::packMesh(): normals lie outside the vertex data, dropped\n");
    ASSERT_EQ(packed.attributes.size(), 1u);
    EXPECT_EQ(packed.vertexData, mesh.vertexData);
    EXPECT_FALSE(packed.isIndexed());
}
