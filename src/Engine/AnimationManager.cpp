#include "Engine/AnimationManager.h"

#include <cmath>

namespace ZandelleEngine {

void OzzPlayer::advance(float seconds, float speed, float duration, std::int32_t playCount) {
    if(!_playing) return;
    if(duration <= 0.0f) {
        _playing = false;
        return;
    }
    _time += seconds*speed;
    while(_time >= duration) {
        _time -= duration;
        ++_iterations;
        if(playCount > 0 && _iterations >= std::uint32_t(playCount)) {
            _time = duration;
            _playing = false;
            return;
        }
    }
    while(_time < 0.0f) _time += duration;
}

void AnimationManager::setAnimation(Data::Id c, Data::Id animation, std::vector<Data::Id> targets) {
    data(c).animation = animation;
    data(c).targets = std::move(targets);
}

void AnimationManager::update(Data::Id c, float seconds, const Data::Animation& animation, DynamicSceneGraph& scene) {
    Implementation::AnimationComponent& a = data(c);
    a.player.advance(seconds, a.speed, animation.duration, a.playCount);
    Data::applyPose(animation, a.targets, a.player.time(), scene);
}

}
