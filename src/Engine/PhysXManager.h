#pragma once
// Physics components: one rigid body descriptor per component, the world
// parameters, and the collision meshes created from cooked data, kept per
// shape kind at the slot each component's `cookedMeshIndex` names.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/ComponentManager.h"
#include "Engine/Physics.h"
#include "Engine/PhysicsWorld.h"

namespace ZandelleEngine {

enum class PhysicsShape: std::uint8_t {
    None = 0, Sphere = 1, Capsule = 2, Box = 3, Plane = 4, ConvexMesh = 5, TriangleMesh = 6
};

/** Bits of RigidBodyDescriptor::rigidBodyFlags */
enum RigidBodyFlag: std::uint8_t {
    RigidBodyNoGravity = 0x01,
    RigidBodyStatic = 0x02,
    RigidBodyNoSimulation = 0x04,
    RigidBodyKinematic = 0x08,
    RigidBodyAllowSimulation = 0x10,
    RigidBodyAllowQuery = 0x20,
    RigidBodyTrigger = 0x40
};

struct RigidBodyDescriptor {
    float mass = 0.0f;
    /** Sphere radius; capsule radius and half height; box extents; mesh
        scaling */
    Vector3 shapeParameters{0.0f};
    DualQuaternion offsetTransform{Quaternion{1.0f, 0.0f, 0.0f, 0.0f}, Quaternion{0.0f, 0.0f, 0.0f, 0.0f}};
    float staticFriction = 0.0f, dynamicFriction = 0.0f, bounciness = 0.0f;
    float linearDamping = 0.0f, angularDamping = 0.0f;
    /** Slot in the cooked mesh arrays of the shape, -1 for none */
    std::int16_t cookedMeshIndex = -1;
    std::uint8_t rigidBodyFlags = 0;
    std::uint8_t physicsShape = 0;
    std::uint8_t groups = 0, block = 0, lockAxis = 0;
    std::uint8_t solverPositionIterations = 0, solverVelocityIterations = 0;
    std::uint8_t sleepOnActivate = 0;
};

/** World parameters */
struct PhysXHeader {
    float maxTimestep = 0.0f, contactOffset = 0.0f, restOffset = 0.0f;
    Vector3 gravity{0.0f};
    float lengthToleranceScale = 1.0f, speedToleranceScale = 1.0f;
};

class ZANDELLE_EXPORT PhysXManager: public TypedComponentManager<RigidBodyDescriptor> {
    public:
        static constexpr const char* Name = "physx";
        PhysXManager(): TypedComponentManager{Name} {}

        RigidBodyDescriptor& rigidBodyDescriptor(Data::Id c) { return data(c); }
        PhysXHeader& physxHeader() { return _header; }

        /** The cooking object and the created meshes, per kind */
        const Physics::Cooking& cooking() const { return _cooking; }
        std::vector<std::unique_ptr<Physics::PhysicsMesh>>& triangleMeshes() { return _triangleMeshes; }
        std::vector<std::unique_ptr<Physics::PhysicsMesh>>& convexMeshes() { return _convexMeshes; }
        std::vector<std::unique_ptr<Physics::PhysicsMesh>>& meshes(PhysicsShape shape) {
            return shape == PhysicsShape::ConvexMesh ? _convexMeshes : _triangleMeshes;
        }

        /** Creates a physics mesh from cooked bytes (without the runtime
            data header); null with an Error line when they hold none */
        std::unique_ptr<Physics::PhysicsMesh> createMesh(PhysicsShape shape, std::span<const char> bytes) const;

        /** Makes the components ready to simulate after the meshes were
            (re)created: clears mesh slots that point past the arrays */
        void initComponents();

        /** The world the components simulate in, created on first use */
        Physics::World& world();
        /** Gives the world the gravity and time step of the header */
        void applyHeader();

        bool visualization() const { return _visualization; }
        void setVisualization(bool enabled);
        /** Brings the world's bounding boxes and visualisation up to date
            without simulating */
        void doFalseUpdate() { world().falseUpdate(); }

    private:
        std::unique_ptr<Physics::World> _world;
        PhysXHeader _header;
        Physics::Cooking _cooking;
        std::vector<std::unique_ptr<Physics::PhysicsMesh>> _triangleMeshes, _convexMeshes;
        bool _visualization = false;
};

}
