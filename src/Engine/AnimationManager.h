#pragma once
// Animation components and the player that stands in for the engine's
// skeletal animation runtime: it keeps time, speed, play count and state,
// and poses the target objects by sampling the animation's tracks.

#include <cstdint>
#include <vector>

#include "Base/Export.h"
#include "Engine/Animation.h"
#include "Engine/ComponentManager.h"
#include "Engine/Id.h"

namespace ZandelleEngine {

namespace Data {

/** A compiled animation bound to scene objects: one target object id per
    track, 0xFFFF for a track without target */
struct TargetedAnimation {
    Id animation = 0;
    std::vector<Id> targets;
};

}

/** Plays one animation: time, play count and state */
class ZANDELLE_EXPORT OzzPlayer {
    public:
        bool isPlaying() const { return _playing; }
        float time() const { return _time; }
        /** Completed runs since play() */
        std::uint32_t iterations() const { return _iterations; }

        void play() { _playing = true; _time = 0.0f; _iterations = 0; }
        void stop() { _playing = false; }
        /** Advances by @p seconds (scaled by @p speed) through an animation
            of @p duration; stops after @p playCount runs (0: forever). */
        void advance(float seconds, float speed, float duration, std::int32_t playCount);

    private:
        float _time = 0.0f;
        std::uint32_t _iterations = 0;
        bool _playing = false;
};

namespace Implementation {
struct AnimationComponent {
    Data::Id animation = 0, skin = 0;
    std::int32_t playCount = 0;
    float speed = 1.0f;
    bool retarget = false, autoplay = false;
    std::vector<Data::Id> targets;
    OzzPlayer player;
};
}

class ZANDELLE_EXPORT AnimationManager: public TypedComponentManager<Implementation::AnimationComponent> {
    public:
        static constexpr const char* Name = "animation";
        AnimationManager(): TypedComponentManager{Name} {}

        Data::Id& animation(Data::Id c) { return data(c).animation; }
        Data::Id& skin(Data::Id c) { return data(c).skin; }
        /** Runs before stopping, 0 for endless */
        std::int32_t& playCount(Data::Id c) { return data(c).playCount; }
        float speed(Data::Id c) const { return data(c).speed; }
        void setSpeed(Data::Id c, float speed) { data(c).speed = speed; }
        bool retarget(Data::Id c) const { return data(c).retarget; }
        void setRetarget(Data::Id c, bool retarget) { data(c).retarget = retarget; }
        bool autoplay(Data::Id c) const { return data(c).autoplay; }
        void setAutoplay(Data::Id c, bool autoplay) { data(c).autoplay = autoplay; }

        OzzPlayer& player(Data::Id c) { return data(c).player; }
        bool isPlaying(Data::Id c) const { return isAlive(c) && data(c).player.isPlaying(); }
        void play(Data::Id c) { data(c).player.play(); }

        /** Binds animation @p animation with one target object per track */
        void setAnimation(Data::Id c, Data::Id animation, std::vector<Data::Id> targets);
        const std::vector<Data::Id>& targets(Data::Id c) const { return data(c).targets; }

        /** Advances the player of @p c by @p seconds through @p animation
            (the one its animation id names) and writes the pose at the new
            time into the target objects of @p scene */
        void update(Data::Id c, float seconds, const Data::Animation& animation, DynamicSceneGraph& scene);
};

}
