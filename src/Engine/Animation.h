#pragma once
// Runtime animations: keyframe tracks of translation, rotation or scaling,
// sampled at a time, and their packed form.
//
// Packed animation ("ZANM", version 1, field = flags: bit 0 set when the
// keyframes were reduced, count = tracks): then the duration (f32), then per
// track a 16-bit target object id (0xFFFF: no target), an 8-bit property
// (0 translation, 1 rotation, 2 scaling), an 8-bit interpolation (0 constant,
// 1 linear, 2 spherical), a 32-bit keyframe count n, then n times (f32,
// ascending) and n values of 3 floats (x y z) or, for rotations, 4 floats (a
// unit quaternion x y z w). Little endian; every part is a multiple of 4
// bytes.
//
// Reduced keyframes: a key is left out when sampling the keys that remain
// gives its value back within 1e-4 per component; the first and last key
// always stay.

#include <cstdint>
#include <span>
#include <vector>

#include "Base/Export.h"
#include "Base/Math.h"
#include "Engine/Id.h"
#include "Engine/Trade.h"

namespace ZandelleEngine {

class DynamicSceneGraph;

namespace Data {

using ByteArray = std::vector<char>;

constexpr std::uint16_t AnimationDataVersion = 1;

enum class AnimationProperty: std::uint8_t { Translation = 0, Rotation = 1, Scaling = 2 };

/** Floats per keyframe value: 4 for rotations, 3 otherwise */
constexpr std::size_t componentCount(AnimationProperty property) {
    return property == AnimationProperty::Rotation ? 4 : 3;
}

struct AnimationTrack {
    AnimationProperty property = AnimationProperty::Translation;
    Trade::AnimationInterpolation interpolation = Trade::AnimationInterpolation::Linear;
    std::vector<float> times;
    std::vector<float> values;

    std::size_t keyCount() const { return times.size(); }
    /** Value at @p time: the first key's before it, the last key's after
        it; rotations as (x, y, z, w), vectors with w = 0. A track without
        keys gives zero, or the identity rotation. */
    Vector4 at(float time) const;
    Vector3 vectorAt(float time) const { return Vector3{at(time)}; }
    Quaternion rotationAt(float time) const;
};

/** An animation without its targets: the same tracks can drive any objects */
struct Animation {
    float duration = 0.0f;
    std::vector<AnimationTrack> tracks;
};

/** Why an imported animation cannot be packed */
enum class AnimationError: std::uint8_t {
    None,
    /** A track with an unknown property, times out of order or not
        finite, or a value count that is not the key count times the
        property's components */
    UnusableTrack,
    /** A rotation keyframe off unit length by 2e-5 or more */
    NotNormalized
};
struct AnimationCheck {
    AnimationError error = AnimationError::None;
    std::size_t track = 0;
};
/** The first track of @p animation that cannot be packed */
ZANDELLE_EXPORT AnimationCheck checkAnimation(const Trade::AnimationData& animation);

/** Packs @p animation with one target per track (missing entries become
    0xFFFF); with @p keepEveryKey false, keyframes that sampling gives back
    are left out. The animation must pass checkAnimation(). */
ZANDELLE_EXPORT ByteArray createAnimationData(const Trade::AnimationData& animation, std::span<const Id> targets, bool keepEveryKey);

/** Reads packed animation bytes; invalid when they are not animation data of
    this version or are cut short */
class ZANDELLE_EXPORT AnimationData {
    public:
        explicit AnimationData(std::span<const char> data);

        bool isValid() const { return _valid; }
        /** Keyframes were reduced */
        bool isPacked() const { return _packed; }
        /** The tracks; empty when invalid */
        Animation animation() const;
        /** One target object id per track; empty when invalid */
        std::vector<Id> targets() const;

    private:
        std::span<const char> _data;
        bool _valid = false, _packed = false;
};

/** Writes the pose of @p animation at @p time into the local transforms of
    the targets: translation and rotation into the dual quaternion, scaling
    into the scaling. Tracks whose target is 0, 0xFFFF or not an object are
    left out. */
ZANDELLE_EXPORT void applyPose(const Animation& animation, std::span<const Id> targets, float time, DynamicSceneGraph& scene);

}}
