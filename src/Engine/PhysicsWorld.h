#pragma once
// The physics world on Bullet: gravity, the fixed step the simulation
// advances by, and the debug drawing of its collision objects that the
// editor shows as physics visualisation.

#include <cstddef>
#include <memory>

#include "Base/Export.h"
#include "Base/Math.h"

class btDiscreteDynamicsWorld;

namespace ZandelleEngine { namespace Physics {

class ZANDELLE_EXPORT World {
    public:
        World();
        ~World();
        World(const World&) = delete;
        World& operator=(const World&) = delete;

        Vector3 gravity() const;
        void setGravity(const Vector3& gravity);

        /** Seconds per simulation step */
        float fixedTimestep() const { return _fixedTimestep; }
        void setFixedTimestep(float seconds) { _fixedTimestep = seconds; }

        /** With visualisation on, every update draws the wireframes and
            bounding boxes of the collision objects into line segments */
        bool visualization() const;
        void setVisualization(bool enabled);

        /** Advances the simulation by @p seconds in fixed steps */
        void step(float seconds);
        /** Updates bounding boxes, overlapping pairs and the visualisation
            lines without advancing the simulation */
        void falseUpdate();
        /** Line segments drawn by the last update, 0 with visualisation off */
        std::size_t visualizationLineCount() const;

        btDiscreteDynamicsWorld& bullet() { return *_world; }

    private:
        void redraw();

        struct State;
        std::unique_ptr<State> _state;
        btDiscreteDynamicsWorld* _world;
        float _fixedTimestep = 1.0f/60.0f;
};

}}
