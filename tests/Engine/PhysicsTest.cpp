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
        const float z = 1.0f - 2.0f*(float(i) + 0.5f)/2000.0f;
        const float r = std::sqrt(1.0f - z*z);
        const float phi = float(i)*2.399963f;
        points.insert(points.end(), {r*std::cos(phi), r*std::sin(phi), z});
    }
    ConvexMeshDesc desc;
    desc.points = points.data();
    desc.pointStride = 12;
    desc.pointCount = 2000;
    std::vector<char> bytes;
    ASSERT_TRUE(Cooking{}.cookConvexMesh(desc, bytes));
    const std::unique_ptr<PhysicsMesh> mesh = PhysicsMesh::create(MeshKind::Convex, bytes);
    ASSERT_TRUE(mesh);
    EXPECT_LE(mesh->elementCount(), 255u);
    EXPECT_GE(mesh->elementCount(), 4u);
    /* Triangle data is not a convex mesh */
    EXPECT_FALSE(PhysicsMesh::create(MeshKind::Triangle, bytes));

    /* Flat or too few points have no hull */
    desc.pointCount = 3;
    EXPECT_FALSE(Cooking{}.cookConvexMesh(desc, bytes));
}

TEST(PhysicsTest, TriangleMeshDescriptorRules) {
    const float points[]{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    const std::uint16_t shorts[]{0, 1, 2, 0, 2, 3};
    const std::uint32_t ints[]{0, 1, 2, 0, 2, 3};
    const std::uint8_t bytes8[]{0, 1, 2, 0, 2, 3};

    TriangleMeshDesc desc;
    desc.points = points;
    desc.pointStride = 12;
    desc.pointCount = 4;
    desc.triangles = shorts;
    desc.triangleCount = 2;
    desc.triangleStride = 6;
    desc.sixteenBitIndices = true;
    EXPECT_TRUE(desc.isValid());

    std::vector<char> cooked;
    ASSERT_TRUE(Cooking{}.cookTriangleMesh(desc, cooked));
    const std::unique_ptr<PhysicsMesh> mesh = PhysicsMesh::create(MeshKind::Triangle, cooked);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->elementCount(), 2u);

    TriangleMeshDesc wide = desc;
    wide.triangles = ints;
    wide.triangleStride = 12;
    wide.sixteenBitIndices = false;
    EXPECT_TRUE(wide.isValid());

    /* 8-bit indices make a stride below the minimum */
    TriangleMeshDesc narrow = desc;
    narrow.triangles = bytes8;
    narrow.triangleStride = 3;
    EXPECT_FALSE(narrow.isValid());
    EXPECT_FALSE(Cooking{}.cookTriangleMesh(narrow, cooked));

    TriangleMeshDesc outOfRange = desc;
    outOfRange.pointCount = 3;
    EXPECT_FALSE(outOfRange.isValid());
    TriangleMeshDesc tightPoints = desc;
    tightPoints.pointStride = 8;
    EXPECT_FALSE(tightPoints.isValid());
    TriangleMeshDesc tooManyFor16 = desc;
    tooManyFor16.pointCount = 70000;
    EXPECT_FALSE(tooManyFor16.isValid());
}

TEST(PhysicsTest, CookedBytesTruncatedOrCorrupted) {
    const float points[]{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    ConvexMeshDesc desc;
    desc.points = points;
    desc.pointStride = 12;
    desc.pointCount = 4;
    std::vector<char> bytes;
    ASSERT_TRUE(Cooking{}.cookConvexMesh(desc, bytes));
    Testing::LogCapture log;
    for(std::size_t size: {std::size_t(0), std::size_t(5), std::size_t(11)})
        EXPECT_FALSE(PhysicsMesh::create(MeshKind::Convex, std::span<const char>{bytes.data(), size}));
    std::vector<char> garbage(bytes.size(), 'x');
    EXPECT_FALSE(PhysicsMesh::create(MeshKind::Convex, garbage));
    std::string expected;
    for(int i = 0; i != 4; ++i) expected += "Physics::PhysicsMesh::create(): no collision shape in cooked data\n";
    EXPECT_EQ(log.error(), expected);

    /* Cut anywhere after the file header: refused, never a crash */
    log.clear();
    for(std::size_t size = 12; size < bytes.size(); size += 7)
        EXPECT_FALSE(PhysicsMesh::create(MeshKind::Convex, std::span<const char>{bytes.data(), size})) << size;
}

}}
