#include "AssetCompiler/AssetCompiler.h"

#include <utility>

#include "AssetCompiler/CompileHelpers.h"
#include "AssetCompiler/ComponentEntry.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/PhysXManager.h"
#include "Engine/RuntimeData.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

namespace {

constexpr const char* ShapeNames[]{"none", "sphere", "capsule", "box", "plane", "convexMesh", "triangleMesh"};

PhysicsShape shapeFromName(std::string_view name) {
    for(std::size_t i = 0; i != std::size(ShapeNames); ++i) if(name == ShapeNames[i]) return PhysicsShape(i);
    return PhysicsShape::None;
}

bool isMeshShape(PhysicsShape shape) { return shape == PhysicsShape::ConvexMesh || shape == PhysicsShape::TriangleMesh; }

std::vector<Data::ByteArray>& cookedData(EditorSceneData& scene, PhysicsShape shape) {
    return shape == PhysicsShape::ConvexMesh ? scene.physxConvexMeshes : scene.physxTriangleMeshes;
}

Data::PhysXDataType dataType(PhysicsShape shape) {
    return shape == PhysicsShape::ConvexMesh ? Data::PhysXDataType::ConvexMesh : Data::PhysXDataType::TriangleMesh;
}

}

void AssetCompiler::compilePhysXComponent(const ComponentEntry& entry) {
    PhysXManager& m = data().scene().main().manager<PhysXManager>();
    Data::Id c = entry.component;
    if(c == Data::NoComponent) {
        c = m.addComponent(entry.object);
        if(c == Data::NoComponent) {
            Error{} << "AssetCompiler::compileObjects(): No room for another physx component, skipping the entry on object" << entry.objectKey;
            return;
        }
    }
    m.setActive(c, false);

    {
        RigidBodyDescriptor& d = m.rigidBodyDescriptor(c);
        d.offsetTransform = dualQuaternion(entry["rotationOffset"].asQuaternion(), entry["translationOffset"].asVector3());

        std::uint8_t flags = 0;
        if(entry["static"].asBool()) flags |= RigidBodyStatic;
        if(!entry["gravity"].asBool()) flags |= RigidBodyNoGravity;
        if(entry["kinematic"].asBool()) flags |= RigidBodyKinematic;
        if(!entry["simulate"].asBool()) flags |= RigidBodyNoSimulation;
        if(entry["allowSimulation"].asBool()) flags |= RigidBodyAllowSimulation;
        if(entry["allowQuery"].asBool()) flags |= RigidBodyAllowQuery;
        if(entry["trigger"].asBool()) flags |= RigidBodyTrigger;
        /* A shape that takes part in the simulation is never a trigger */
        if(flags & RigidBodyAllowSimulation) flags &= ~RigidBodyTrigger;
        d.rigidBodyFlags = flags;
        d.sleepOnActivate = entry["sleepOnActivate"].asBool() ? 1 : 0;

        d.mass = entry["mass"].asFloat();
        d.linearDamping = entry["linearDamping"].asFloat();
        d.angularDamping = entry["angularDamping"].asFloat();
        d.staticFriction = entry["staticFriction"].asFloat();
        d.dynamicFriction = entry["dynamicFriction"].asFloat();
        d.bounciness = entry["bounciness"].asFloat();
        d.groups = std::uint8_t(entry["groups"].asUnsignedInt());
        d.block = std::uint8_t(entry["block"].asUnsignedInt());
        d.lockAxis = std::uint8_t(entry["lockAxis"].asUnsignedInt());
        d.solverPositionIterations = std::uint8_t(entry["solverPositionIterations"].asUnsignedInt());
        d.solverVelocityIterations = std::uint8_t(entry["solverVelocityIterations"].asUnsignedInt());
    }

    const PhysicsShape shape = shapeFromName(entry["shape"].asString());
    {
        const RigidBodyDescriptor& d = m.rigidBodyDescriptor(c);
        if(PhysicsShape(d.physicsShape) != shape && isMeshShape(PhysicsShape(d.physicsShape)) && d.cookedMeshIndex != -1)
            releaseCookedMesh(c);
    }
    RigidBodyDescriptor& d = m.rigidBodyDescriptor(c);
    d.physicsShape = std::uint8_t(shape);

    bool cooked = true;
    switch(shape) {
        case PhysicsShape::Sphere:
            d.shapeParameters.x = entry["sphere/radius"].asFloat();
            break;
        case PhysicsShape::Capsule:
            d.shapeParameters.x = entry["capsule/radius"].asFloat();
            d.shapeParameters.y = entry["capsule/halfHeight"].asFloat();
            break;
        case PhysicsShape::Box:
            d.shapeParameters = entry["box/extents"].asVector3();
            break;
        case PhysicsShape::ConvexMesh:
        case PhysicsShape::TriangleMesh: {
            const std::string name = ShapeNames[std::size_t(shape)];
            const std::string_view mesh = entry[name + "/mesh"].asString();
            d.shapeParameters = entry[name + "/scaling"].asVector3();
            cooked = cookPhysicsMesh(c, entry.objectName, mesh, shape == PhysicsShape::ConvexMesh);
        } break;
        case PhysicsShape::None:
        case PhysicsShape::Plane:
            break;
    }
    m.setActive(c, cooked && entry.active);
}

bool AssetCompiler::cookPhysicsMesh(Data::Id c, std::string_view objectName, std::string_view meshName, bool convex) {
    if(meshName.empty()) return false;
    const char* const prefix = convex ? "Cooking convex mesh for physx component on object" :
        "Cooking triangle mesh for physx component on object";

    EditorSceneData& scene = data().scene();
    PhysXManager& m = scene.main().manager<PhysXManager>();
    const Data::Id id = meshId(meshName);
    if(!id || id >= scene.meshes.size()) {
        Error{} << prefix << objectName << "failed: Missing mesh";
        return false;
    }
    const Trade::MeshData& mesh = scene.meshes[id];
    if(!mesh.vertexCount) {
        Error{} << prefix << objectName << "failed: Mesh has no vertices";
        return false;
    }
    if(!mesh.indexCount()) {
        Error{} << prefix << objectName << "failed: Mesh has no indices";
        return false;
    }
    const Trade::MeshAttributeData* positions = mesh.attribute(Trade::MeshAttribute::Position);
    if(!positions || positions->format != Trade::VertexFormat::Vector3 ||
       std::size_t(positions->offset) + std::size_t(positions->stride)*(mesh.vertexCount - 1) + 12 > mesh.vertexData.size()) {
        Error{} << prefix << objectName << "failed";
        return false;
    }

    std::vector<char> bytes;
    bool ok;
    if(convex) {
        Physics::ConvexMeshDesc desc;
        desc.points = mesh.vertexData.data() + positions->offset;
        desc.pointStride = positions->stride;
        desc.pointCount = mesh.vertexCount;
        desc.computeConvexHull = true;
        desc.vertexLimit = 255;
        ok = cookingInterface.cookConvexMesh(desc, bytes);
    } else {
        Physics::TriangleMeshDesc desc;
        desc.points = mesh.vertexData.data() + positions->offset;
        desc.pointStride = positions->stride;
        desc.pointCount = mesh.vertexCount;
        const std::uint32_t indexSize = std::uint32_t(Trade::indexTypeSize(mesh.indexType));
        desc.triangles = mesh.indexData.data();
        desc.triangleCount = mesh.indexCount()/3;
        desc.triangleStride = 3*indexSize;
        desc.sixteenBitIndices = mesh.indexType == Trade::IndexType::UnsignedShort;
        /* 8-bit indices, too many points for 16-bit ones or indices out of
           range: the cooker does not take such a mesh */
        ok = desc.isValid() && cookingInterface.cookTriangleMesh(desc, bytes);
    }
    if(!ok) {
        Error{} << prefix << objectName << "failed";
        return false;
    }

    const PhysicsShape shape = convex ? PhysicsShape::ConvexMesh : PhysicsShape::TriangleMesh;
    std::vector<Data::ByteArray>& cooked = cookedData(scene, shape);
    auto& meshes = m.meshes(shape);
    if(meshes.size() < cooked.size()) meshes.resize(cooked.size());

    RigidBodyDescriptor& d = m.rigidBodyDescriptor(c);
    std::size_t slot = d.cookedMeshIndex < 0 ? cooked.size() : std::size_t(d.cookedMeshIndex);
    if(slot > cooked.size()) slot = cooked.size();
    if(slot >= 0x7fff) {
        Error{} << prefix << objectName << "failed: too many cooked meshes";
        return false;
    }
    std::unique_ptr<Physics::PhysicsMesh> created = m.createMesh(shape, bytes);
    if(!created) {
        Error{} << prefix << objectName << "failed";
        return false;
    }
    Data::ByteArray packed = Data::createPhysXData(dataType(shape), std::uint32_t(slot), bytes);
    if(slot < cooked.size()) {
        meshes[slot] = std::move(created);
        cooked[slot] = std::move(packed);
    } else {
        meshes.push_back(std::move(created));
        cooked.push_back(std::move(packed));
    }
    d.cookedMeshIndex = std::int16_t(slot);
    return true;
}

void AssetCompiler::releaseCookedMesh(Data::Id c) {
    EditorSceneData& scene = data().scene();
    PhysXManager& m = scene.main().manager<PhysXManager>();
    if(!m.isAlive(c)) return;
    RigidBodyDescriptor& d = m.rigidBodyDescriptor(c);
    const PhysicsShape shape = PhysicsShape(d.physicsShape);
    if(!isMeshShape(shape) || d.cookedMeshIndex < 0) return;

    std::vector<Data::ByteArray>& cooked = cookedData(scene, shape);
    auto& meshes = m.meshes(shape);
    const std::size_t slot = std::size_t(d.cookedMeshIndex);
    d.cookedMeshIndex = -1;
    if(slot >= cooked.size()) return;
    if(meshes.size() < cooked.size()) meshes.resize(cooked.size());

    /* The last entry moves into the freed slot; its owner follows it */
    const std::size_t last = cooked.size() - 1;
    if(slot != last) {
        std::swap(cooked[slot], cooked[last]);
        std::swap(meshes[slot], meshes[last]);
        if(const std::optional<Data::PhysXDataView> moved = Data::readPhysXData(cooked[slot])) {
            const std::uint32_t from = moved->slot;
            cooked[slot] = Data::createPhysXData(moved->type, std::uint32_t(slot), moved->cooked);
            for(std::uint32_t other = 0; other != m.capacity(); ++other) {
                if(other == c || !m.isAlive(Data::Id(other))) continue;
                RigidBodyDescriptor& o = m.rigidBodyDescriptor(Data::Id(other));
                if(o.cookedMeshIndex == std::int16_t(from) && PhysicsShape(o.physicsShape) == shape) {
                    o.cookedMeshIndex = std::int16_t(slot);
                    break;
                }
            }
        }
    }
    cooked.pop_back();
    meshes.pop_back();
}

}
