#pragma once
// Collision mesh cooking on Bullet: a convex hull (at most 255 vertices) or a
// triangle mesh with its bounding volume hierarchy is built once and
// serialised into bytes; a PhysicsMesh is created back from those bytes
// without cooking again.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Base/Export.h"

class btCollisionShape;
class btBulletWorldImporter;

namespace ZandelleEngine { namespace Physics {

/** Point cloud of a convex mesh; points are three floats each */
struct ConvexMeshDesc {
    const void* points = nullptr;
    std::uint32_t pointStride = 0;
    std::uint32_t pointCount = 0;
    /** Computes the hull of the points; without it the points must
        already form one */
    bool computeConvexHull = true;
    /** Hulls with more vertices are simplified */
    std::uint16_t vertexLimit = 255;
};

/** Indexed triangles; points are three floats each */
struct TriangleMeshDesc {
    const void* points = nullptr;
    std::uint32_t pointStride = 0;
    std::uint32_t pointCount = 0;
    const void* triangles = nullptr;
    std::uint32_t triangleStride = 0;
    std::uint32_t triangleCount = 0;
    /** Indices are 16-bit, else 32-bit */
    bool sixteenBitIndices = false;

    /** At least three points of at least 12 bytes, triangles of at least 6
        (16-bit) or 12 (32-bit) bytes, at most 65535 points with 16-bit
        indices, and every index below the point count */
    bool isValid() const;
};

/** Cooks collision meshes. Cooking fails (false, @p out untouched) on an
    invalid descriptor or a degenerate hull. */
class ZANDELLE_EXPORT Cooking {
    public:
        bool cookConvexMesh(const ConvexMeshDesc& desc, std::vector<char>& out) const;
        bool cookTriangleMesh(const TriangleMeshDesc& desc, std::vector<char>& out) const;
};

enum class MeshKind: std::uint8_t { Triangle, Convex };

/** A collision shape created from cooked bytes */
class ZANDELLE_EXPORT PhysicsMesh {
    public:
        /** Null, with one Error line, when the bytes hold no shape of the kind */
        static std::unique_ptr<PhysicsMesh> create(MeshKind kind, std::span<const char> bytes);
        ~PhysicsMesh();

        MeshKind kind() const { return _kind; }
        const btCollisionShape& shape() const { return *_shape; }
        /** Hull vertices of a convex mesh, triangles of a triangle mesh */
        std::uint32_t elementCount() const;

    private:
        PhysicsMesh() = default;

        MeshKind _kind{};
        /* The importer owns the shape and its mesh data; the bytes it read
           stay alive with it */
        std::vector<char> _bytes;
        std::unique_ptr<btBulletWorldImporter> _importer;
        btCollisionShape* _shape = nullptr;
};

}}
