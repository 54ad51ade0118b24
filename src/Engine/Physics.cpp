#include "Engine/Physics.h"

#include <cstring>

#include <btBulletCollisionCommon.h>
#include <BulletCollision/CollisionShapes/btShapeHull.h>
#include <BulletWorldImporter/btBulletWorldImporter.h>
#include <LinearMath/btConvexHullComputer.h>
#include <LinearMath/btSerializer.h>

#include "Base/Log.h"

namespace ZandelleEngine { namespace Physics {

namespace {

btVector3 point(const void* points, std::uint32_t stride, std::uint32_t i) {
    float p[3];
    std::memcpy(p, static_cast<const char*>(points) + std::size_t(stride)*i, sizeof(p));
    return {p[0], p[1], p[2]};
}

std::vector<char> serialize(btCollisionShape& shape) {
    btDefaultSerializer serializer;
    serializer.startSerialization();
    shape.serializeSingleShape(&serializer);
    serializer.finishSerialization();
    const char* begin = reinterpret_cast<const char*>(serializer.getBufferPointer());
    return std::vector<char>(begin, begin + serializer.getCurrentBufferSize());
}

/* Bullet's file loader trusts the chunk lengths it reads, so a cut or
   damaged buffer is refused here: the header of this build (float values,
   little endian, this pointer size), then chunks that each fit in the
   buffer, with the type description ("DNA1") among them, up to the end or
   to an "ENDB" chunk. */
bool wellFormed(std::span<const char> bytes) {
    constexpr char PointerSize = sizeof(void*) == 8 ? '-' : '_';
    if(bytes.size() < 12 || std::memcmp(bytes.data(), "BULLETf", 7) != 0 || bytes[7] != PointerSize || bytes[8] != 'v')
        return false;
    const std::size_t header = 16 + sizeof(void*);
    bool dna = false;
    std::size_t offset = 12;
    while(offset != bytes.size()) {
        if(bytes.size() - offset < header) return false;
        std::int32_t length;
        std::memcpy(&length, bytes.data() + offset + 4, 4);
        if(std::memcmp(bytes.data() + offset, "ENDB", 4) == 0) break;
        if(length < 0 || std::size_t(length) > bytes.size() - offset - header) return false;
        if(std::memcmp(bytes.data() + offset, "DNA1", 4) == 0) dna = true;
        offset += header + std::size_t(length);
    }
    return dna;
}

}

bool TriangleMeshDesc::isValid() const {
    if(!points || !triangles || pointCount < 3 || pointStride < 12 || triangleCount == 0) return false;
    if(sixteenBitIndices ? (triangleStride < 6 || pointCount > 65535) : triangleStride < 12) return false;
    const std::size_t indexSize = sixteenBitIndices ? 2 : 4;
    for(std::uint32_t t = 0; t != triangleCount; ++t) for(std::uint32_t k = 0; k != 3; ++k) {
        const char* at = static_cast<const char*>(triangles) + std::size_t(triangleStride)*t + indexSize*k;
        std::uint32_t index;
        if(sixteenBitIndices) {
            std::uint16_t i16;
            std::memcpy(&i16, at, 2);
            index = i16;
        } else std::memcpy(&index, at, 4);
        if(index >= pointCount) return false;
    }
    return true;
}

bool Cooking::cookConvexMesh(const ConvexMeshDesc& desc, std::vector<char>& out) const {
    if(!desc.points || desc.pointStride < 12 || desc.pointCount < 4 || desc.vertexLimit < 4) return false;

    std::vector<btVector3> points;
    points.reserve(desc.pointCount);
    for(std::uint32_t i = 0; i != desc.pointCount; ++i) points.push_back(point(desc.points, desc.pointStride, i));

    if(desc.computeConvexHull) {
        btConvexHullComputer hull;
        if(hull.compute(&points[0].x(), sizeof(btVector3), int(points.size()), 0.0f, 0.0f) < 0 ||
           hull.vertices.size() < 4) return false;
        points.assign(&hull.vertices[0], &hull.vertices[0] + hull.vertices.size());
    }

    btConvexHullShape shape{&points[0].x(), int(points.size()), sizeof(btVector3)};
    if(points.size() > desc.vertexLimit) {
        /* Too many hull vertices: sample the hull in a fixed set of
           directions, which keeps well below the limit */
        btShapeHull reduced{&shape};
        if(!reduced.buildHull(shape.getMargin()) || reduced.numVertices() < 4) return false;
        btConvexHullShape simplified{&reduced.getVertexPointer()->x(), reduced.numVertices(), sizeof(btVector3)};
        out = serialize(simplified);
        return true;
    }
    out = serialize(shape);
    return true;
}

bool Cooking::cookTriangleMesh(const TriangleMeshDesc& desc, std::vector<char>& out) const {
    if(!desc.isValid()) return false;

    /* Copies of points and indices in the layout Bullet expects */
    std::vector<btScalar> vertices;
    vertices.reserve(std::size_t(desc.pointCount)*3);
    for(std::uint32_t i = 0; i != desc.pointCount; ++i) {
        const btVector3 p = point(desc.points, desc.pointStride, i);
        vertices.insert(vertices.end(), {p.x(), p.y(), p.z()});
    }
    std::vector<int> indices;
    indices.reserve(std::size_t(desc.triangleCount)*3);
    const std::size_t indexSize = desc.sixteenBitIndices ? 2 : 4;
    for(std::uint32_t t = 0; t != desc.triangleCount; ++t) for(std::uint32_t k = 0; k != 3; ++k) {
        const char* at = static_cast<const char*>(desc.triangles) + std::size_t(desc.triangleStride)*t + indexSize*k;
        if(desc.sixteenBitIndices) {
            std::uint16_t i16;
            std::memcpy(&i16, at, 2);
            indices.push_back(i16);
        } else {
            std::uint32_t i32;
            std::memcpy(&i32, at, 4);
            indices.push_back(int(i32));
        }
    }

    btTriangleIndexVertexArray mesh{int(desc.triangleCount), indices.data(), 3*int(sizeof(int)),
        int(desc.pointCount), vertices.data(), 3*int(sizeof(btScalar))};
    btBvhTriangleMeshShape shape{&mesh, true, true};
    out = serialize(shape);
    return true;
}

std::unique_ptr<PhysicsMesh> PhysicsMesh::create(MeshKind kind, std::span<const char> bytes) {
    std::unique_ptr<PhysicsMesh> mesh{new PhysicsMesh};
    mesh->_kind = kind;
    mesh->_bytes.assign(bytes.begin(), bytes.end());
    mesh->_importer = std::make_unique<btBulletWorldImporter>(nullptr);
    mesh->_importer->setVerboseMode(0);
    if(!wellFormed(mesh->_bytes) ||
       !mesh->_importer->loadFileFromMemory(mesh->_bytes.data(), int(mesh->_bytes.size())) ||
       mesh->_importer->getNumCollisionShapes() < 1) {
        Error{} << "Physics::PhysicsMesh::create(): no collision shape in cooked data";
        return nullptr;
    }
    btCollisionShape* shape = mesh->_importer->getCollisionShapeByIndex(0);
    const int expected = kind == MeshKind::Convex ? CONVEX_HULL_SHAPE_PROXYTYPE : TRIANGLE_MESH_SHAPE_PROXYTYPE;
    if(!shape || shape->getShapeType() != expected) {
        Error{} << "Physics::PhysicsMesh::create(): cooked data holds another kind of shape";
        return nullptr;
    }
    mesh->_shape = shape;
    return mesh;
}

PhysicsMesh::~PhysicsMesh() {
    if(_importer) _importer->deleteAllData();
}

std::uint32_t PhysicsMesh::elementCount() const {
    if(!_shape) return 0;
    if(_kind == MeshKind::Convex) return std::uint32_t(static_cast<const btConvexHullShape*>(_shape)->getNumPoints());
    const btStridingMeshInterface* mesh = static_cast<const btBvhTriangleMeshShape*>(_shape)->getMeshInterface();
    std::uint32_t count = 0;
    for(int part = 0; part != mesh->getNumSubParts(); ++part) {
        const unsigned char* vertexBase; int numVerts; PHY_ScalarType type; int stride;
        const unsigned char* indexBase; int indexStride; int numFaces; PHY_ScalarType indexType;
        mesh->getLockedReadOnlyVertexIndexBase(&vertexBase, numVerts, type, stride, &indexBase, indexStride, numFaces, indexType, part);
        count += std::uint32_t(numFaces);
        mesh->unLockReadOnlyVertexBase(part);
    }
    return count;
}

}}
