#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

#include "Engine/Physics.h"
#include "Support/LogCapture.h"

namespace ZandelleEngine { namespace {

using namespace Physics;

TEST(PhysicsTest, ConvexHullIsLimitedTo255Vertices) {
    /* 2000 points on a sphere: every one of them is a hull vertex */
    std::vector<float> points;
    for(int i = 0; i != 2000; ++i) {
        const float z = 1.0f - 2.0f*(float(i) + 0.5f)/2000.0f, r = std::sqrt(1.0f - z*z), phi = float(i)*2.399963f;
        points.insert(points.end(), {r*std::cos(phi), r*std::sin(phi), z});
    }
    ConvexMeshDesc desc{.points = points.data(), .pointStride = 12, .pointCount = 2000};
    std::vector<char> bytes;
    ASSERT_TRUE(Cooking{}.cookConvexMesh(desc, bytes));
    const std::unique_ptr<PhysicsMesh> mesh = PhysicsMesh::create(MeshKind::Convex, bytes);
    ASSERT_TRUE(mesh);
    EXPECT_LE(mesh->elementCount(), 255u);
    EXPECT_GE(mesh->elementCount(), 4u);
    /* Triangle data is not a convex mesh */
    EXPECT_FALSE(PhysicsMesh::create(MeshKind::Triangle, bytes));
    /* Too few points have no hull */
    desc.pointCount = 3;
    EXPECT_FALSE(Cooking{}.cookConvexMesh(desc, bytes));
}

TEST(PhysicsTest, TriangleMeshDescriptorRules) {
    const float points[]{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    const std::uint16_t shorts[]{0, 1, 2, 0, 2, 3};
    const std::uint32_t ints[]{0, 1, 2, 0, 2, 3};
    const std::uint8_t bytes8[]{0, 1, 2, 0, 2, 3};
    /* Points, point stride and count, triangles, triangle stride and count, 16-bit */
    const struct { const char* name; TriangleMeshDesc desc; bool valid; } cases[]{
        {"16-bit indices", {points, 12, 4, shorts, 6, 2, true}, true},
        {"32-bit indices", {points, 12, 4, ints, 12, 2, false}, true},
        {"8-bit indices make a stride below the minimum", {points, 12, 4, bytes8, 3, 2, true}, false},
        {"index beyond the points", {points, 12, 3, shorts, 6, 2, true}, false},
        {"points overlap", {points, 8, 4, shorts, 6, 2, true}, false},
        {"too many points for 16-bit indices", {points, 12, 70000, shorts, 6, 2, true}, false},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.desc.isValid(), c.valid);
        std::vector<char> cooked;
        ASSERT_EQ(Cooking{}.cookTriangleMesh(c.desc, cooked), c.valid);
        if(!c.valid) continue;
        const std::unique_ptr<PhysicsMesh> mesh = PhysicsMesh::create(MeshKind::Triangle, cooked);
        ASSERT_TRUE(mesh);
        EXPECT_EQ(mesh->elementCount(), 2u);
    }
}

TEST(PhysicsTest, CookedBytesTruncatedOrCorrupted) {
    const float points[]{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<char> bytes;
    ASSERT_TRUE(Cooking{}.cookConvexMesh({.points = points, .pointStride = 12, .pointCount = 4}, bytes));
    Testing::LogCapture log;
    EXPECT_FALSE(PhysicsMesh::create(MeshKind::Convex, std::vector<char>(bytes.size(), 'x')));
    EXPECT_EQ(log.error(), "Physics::PhysicsMesh::create(): no collision shape in cooked data\n");

    /* Cut anywhere, inside the file header or after it: refused, never a crash */
    for(std::size_t size = 5; size < bytes.size(); size += 7)
        EXPECT_FALSE(PhysicsMesh::create(MeshKind::Convex, std::span<const char>{bytes.data(), size})) << size;
}

}}
