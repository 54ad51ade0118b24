#include "Engine/PhysicsWorld.h"

#include <btBulletDynamicsCommon.h>

namespace ZandelleEngine { namespace Physics {

namespace {

/* Counts the segments Bullet draws; a renderer would upload them */
class LineCollector: public btIDebugDraw {
    public:
        void drawLine(const btVector3&, const btVector3&, const btVector3&) override { ++lines; }
        void drawContactPoint(const btVector3&, const btVector3&, btScalar, int, const btVector3&) override {}
        void reportErrorWarning(const char*) override {}
        void draw3dText(const btVector3&, const char*) override {}
        void setDebugMode(int mode) override { _mode = mode; }
        int getDebugMode() const override { return _mode; }

        std::size_t lines = 0;

    private:
        int _mode = DBG_NoDebug;
};

}

/* Members in construction order: each part is used by the ones after it */
struct World::State {
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world{&dispatcher, &broadphase, &solver, &configuration};
    LineCollector lines;
};

World::World(): _state{std::make_unique<State>()}, _world{&_state->world} {
    _world->setDebugDrawer(&_state->lines);
}

World::~World() = default;

Vector3 World::gravity() const {
    const btVector3 g = _world->getGravity();
    return {g.x(), g.y(), g.z()};
}

void World::setGravity(const Vector3& gravity) {
    _world->setGravity(btVector3{gravity.x, gravity.y, gravity.z});
}

bool World::visualization() const { return _state->lines.getDebugMode() != btIDebugDraw::DBG_NoDebug; }

void World::setVisualization(bool enabled) {
    _state->lines.setDebugMode(enabled ? btIDebugDraw::DBG_DrawWireframe | btIDebugDraw::DBG_DrawAabb : btIDebugDraw::DBG_NoDebug);
    _state->lines.lines = 0;
}

void World::step(float seconds) {
    _world->stepSimulation(seconds, 8, _fixedTimestep);
    redraw();
}

void World::falseUpdate() {
    _world->updateAabbs();
    _world->computeOverlappingPairs();
    redraw();
}

void World::redraw() {
    _state->lines.lines = 0;
    if(visualization()) _world->debugDrawWorld();
}

std::size_t World::visualizationLineCount() const { return _state->lines.lines; }

}}
