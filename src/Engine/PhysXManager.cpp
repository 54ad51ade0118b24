#include "Engine/PhysXManager.h"

namespace ZandelleEngine {

std::unique_ptr<Physics::PhysicsMesh> PhysXManager::createMesh(PhysicsShape shape, std::span<const char> bytes) const {
    return Physics::PhysicsMesh::create(shape == PhysicsShape::ConvexMesh ?
        Physics::MeshKind::Convex : Physics::MeshKind::Triangle, bytes);
}

void PhysXManager::initComponents() {
    for(std::uint32_t c = 0; c != capacity(); ++c) {
        if(!isAlive(Data::Id(c))) continue;
        RigidBodyDescriptor& d = data(Data::Id(c));
        const PhysicsShape shape = PhysicsShape(d.physicsShape);
        if(shape != PhysicsShape::ConvexMesh && shape != PhysicsShape::TriangleMesh) continue;
        if(d.cookedMeshIndex >= 0 && std::size_t(d.cookedMeshIndex) >= meshes(shape).size()) d.cookedMeshIndex = -1;
    }
}

Physics::World& PhysXManager::world() {
    if(!_world) {
        _world = std::make_unique<Physics::World>();
        _world->setVisualization(_visualization);
    }
    return *_world;
}

void PhysXManager::applyHeader() {
    world().setGravity(_header.gravity);
    world().setFixedTimestep(_header.maxTimestep);
}

void PhysXManager::setVisualization(bool enabled) {
    _visualization = enabled;
    if(_world) _world->setVisualization(enabled);
}

}
