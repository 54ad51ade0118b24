#include "Engine/Animation.h"

#include <algorithm>
#include <cmath>

#include "Engine/DynamicSceneGraph.h"
#include "Engine/RuntimeDataFormat.h"

namespace ZandelleEngine { namespace Data {

using namespace Implementation;

namespace {

using Trade::AnimationInterpolation;

constexpr float ReductionTolerance = 1.0e-4f;
constexpr std::size_t TrackHeaderSize = 8;

Vector4 load(const float* v, std::size_t components) {
    return Vector4{v[0], v[1], v[2], components == 4 ? v[3] : 0.0f};
}

/* Quaternion components as stored (x y z w) */
Quaternion quaternion(const Vector4& v) { return Quaternion{v.w, v.x, v.y, v.z}; }
Vector4 vector(const Quaternion& q) { return Vector4{q.x, q.y, q.z, q.w}; }

/* The value a fraction @p f of the way from key value @p a to @p b */
Vector4 blend(const Vector4& a, const Vector4& b, float f, AnimationProperty property, AnimationInterpolation interpolation) {
    if(interpolation == AnimationInterpolation::Constant) return a;
    if(property != AnimationProperty::Rotation) return a + (b - a)*f;
    /* Both take the shorter way round: q and -q are the same rotation */
    Vector4 to = b;
    if(glm::dot(a, b) < 0.0f) to = -b;
    if(interpolation == AnimationInterpolation::Spherical)
        return vector(glm::slerp(quaternion(a), quaternion(to), f));
    const Vector4 mixed = a + (to - a)*f;
    const float length = glm::length(mixed);
    return length > 0.0f ? mixed/length : a;
}

Vector4 sampleKeys(std::span<const float> times, std::span<const float> values, float time,
    AnimationProperty property, AnimationInterpolation interpolation)
{
    const std::size_t components = componentCount(property);
    if(times.empty()) return property == AnimationProperty::Rotation ? Vector4{0.0f, 0.0f, 0.0f, 1.0f} : Vector4{0.0f};
    if(!(time > times.front())) return load(values.data(), components);
    if(time >= times.back()) return load(values.data() + (times.size() - 1)*components, components);
    const std::size_t next = std::size_t(std::upper_bound(times.begin(), times.end(), time) - times.begin());
    const std::size_t i = next - 1;
    const float span = times[next] - times[i];
    const float f = span > 0.0f ? (time - times[i])/span : 0.0f;
    return blend(load(values.data() + i*components, components), load(values.data() + next*components, components),
        f, property, interpolation);
}

bool propertyOf(const std::string& name, AnimationProperty& out) {
    if(name == "translation") out = AnimationProperty::Translation;
    else if(name == "rotation") out = AnimationProperty::Rotation;
    else if(name == "scaling") out = AnimationProperty::Scaling;
    else return false;
    return true;
}

bool close(const Vector4& a, const Vector4& b, AnimationProperty property) {
    const auto within = [](const Vector4& d) {
        return std::abs(d.x) <= ReductionTolerance && std::abs(d.y) <= ReductionTolerance &&
               std::abs(d.z) <= ReductionTolerance && std::abs(d.w) <= ReductionTolerance;
    };
    return within(a - b) || (property == AnimationProperty::Rotation && within(a + b));
}

/* Indices of the keys to keep: greedily extends the segment from the last
   kept key as long as every key it skips is given back by interpolating
   between the segment's ends */
std::vector<std::size_t> reducedKeys(const Trade::AnimationTrack& track, AnimationProperty property) {
    const std::size_t n = track.times.size();
    const std::size_t components = componentCount(property);
    std::vector<std::size_t> kept;
    if(n) kept.push_back(0);
    std::size_t anchor = 0;
    for(std::size_t i = 1; i + 1 < n; ++i) {
        const Vector4 a = load(track.values.data() + anchor*components, components);
        const Vector4 b = load(track.values.data() + (i + 1)*components, components);
        const float span = track.times[i + 1] - track.times[anchor];
        bool skippable = span > 0.0f;
        for(std::size_t j = anchor + 1; skippable && j <= i; ++j) {
            const Vector4 expected = load(track.values.data() + j*components, components);
            skippable = close(blend(a, b, (track.times[j] - track.times[anchor])/span, property, track.interpolation), expected, property);
        }
        if(!skippable) {
            kept.push_back(i);
            anchor = i;
        }
    }
    if(n > 1) kept.push_back(n - 1);
    return kept;
}

}

Vector4 AnimationTrack::at(float time) const {
    return sampleKeys(times, values, time, property, interpolation);
}

Quaternion AnimationTrack::rotationAt(float time) const {
    return quaternion(at(time));
}

AnimationCheck checkAnimation(const Trade::AnimationData& animation) {
    for(std::size_t t = 0; t != animation.tracks.size(); ++t) {
        const Trade::AnimationTrack& track = animation.tracks[t];
        AnimationProperty property;
        if(!propertyOf(track.property, property) || track.values.size() != track.times.size()*componentCount(property) ||
           track.times.size() > 0xFFFFFFFFu || std::uint8_t(track.interpolation) > std::uint8_t(AnimationInterpolation::Spherical))
            return {AnimationError::UnusableTrack, t};
        for(std::size_t k = 0; k != track.times.size(); ++k)
            if(!std::isfinite(track.times[k]) || (k && !(track.times[k] >= track.times[k - 1]))) return {AnimationError::UnusableTrack, t};
        for(const float v: track.values) if(!std::isfinite(v)) return {AnimationError::UnusableTrack, t};
        if(property != AnimationProperty::Rotation) continue;
        for(std::size_t k = 0; k != track.times.size(); ++k) {
            const float* q = track.values.data() + 4*k;
            if(!(std::abs(q[0]*q[0] + q[1]*q[1] + q[2]*q[2] + q[3]*q[3] - 1.0f) < 2.0e-5f)) return {AnimationError::NotNormalized, t};
        }
    }
    return {};
}

ByteArray createAnimationData(const Trade::AnimationData& animation, std::span<const Id> targets, bool keepEveryKey) {
    ByteArray out;
    std::size_t size = HeaderSize + 4;
    for(const Trade::AnimationTrack& track: animation.tracks)
        size += TrackHeaderSize + 4*(track.times.size() + track.values.size());
    out.reserve(size);
    appendHeader(out, "ZANM", AnimationDataVersion, keepEveryKey ? 0 : 1, std::uint32_t(animation.tracks.size()));
    append(out, animation.duration);

    std::vector<std::size_t> keys;
    for(std::size_t t = 0; t != animation.tracks.size(); ++t) {
        const Trade::AnimationTrack& track = animation.tracks[t];
        AnimationProperty property = AnimationProperty::Translation;
        propertyOf(track.property, property);
        const std::size_t components = componentCount(property);
        if(keepEveryKey) {
            keys.resize(track.times.size());
            for(std::size_t k = 0; k != keys.size(); ++k) keys[k] = k;
        } else keys = reducedKeys(track, property);

        append(out, t < targets.size() ? targets[t] : NoComponent);
        append(out, std::uint8_t(property));
        append(out, std::uint8_t(track.interpolation));
        append(out, std::uint32_t(keys.size()));
        for(const std::size_t k: keys) append(out, track.times[k]);
        for(const std::size_t k: keys)
            for(std::size_t c = 0; c != components; ++c) append(out, track.values[k*components + c]);
    }
    return out;
}

/* Walks the tracks once to check that every one fits in the bytes */
AnimationData::AnimationData(std::span<const char> data): _data{data} {
    if(!checkHeader(data, "ZANM", AnimationDataVersion) || data.size() < HeaderSize + 4) return;
    const std::uint32_t count = readAt<std::uint32_t>(data, 8);
    std::size_t offset = HeaderSize + 4;
    for(std::uint32_t t = 0; t != count; ++t) {
        if(data.size() - offset < TrackHeaderSize) return;
        const std::uint8_t property = readAt<std::uint8_t>(data, offset + 2);
        const std::uint8_t interpolation = readAt<std::uint8_t>(data, offset + 3);
        if(property > std::uint8_t(AnimationProperty::Scaling) || interpolation > std::uint8_t(AnimationInterpolation::Spherical)) return;
        const std::uint64_t keys = readAt<std::uint32_t>(data, offset + 4);
        const std::uint64_t bytes = 4*keys*(1 + componentCount(AnimationProperty(property)));
        offset += TrackHeaderSize;
        if(data.size() - offset < bytes) return;
        offset += std::size_t(bytes);
    }
    _valid = offset == data.size();
    _packed = _valid && (readAt<std::uint16_t>(data, 6) & 1);
}

Animation AnimationData::animation() const {
    Animation animation;
    if(!_valid) return animation;
    animation.duration = readAt<float>(_data, HeaderSize);
    animation.tracks.resize(readAt<std::uint32_t>(_data, 8));
    std::size_t offset = HeaderSize + 4;
    for(AnimationTrack& track: animation.tracks) {
        track.property = AnimationProperty(readAt<std::uint8_t>(_data, offset + 2));
        track.interpolation = AnimationInterpolation(readAt<std::uint8_t>(_data, offset + 3));
        const std::size_t keys = readAt<std::uint32_t>(_data, offset + 4);
        offset += TrackHeaderSize;
        track.times.resize(keys);
        std::memcpy(track.times.data(), _data.data() + offset, 4*keys);
        offset += 4*keys;
        track.values.resize(keys*componentCount(track.property));
        std::memcpy(track.values.data(), _data.data() + offset, 4*track.values.size());
        offset += 4*track.values.size();
    }
    return animation;
}

std::vector<Id> AnimationData::targets() const {
    std::vector<Id> targets;
    if(!_valid) return targets;
    targets.reserve(readAt<std::uint32_t>(_data, 8));
    for(std::size_t offset = HeaderSize + 4; offset != _data.size();) {
        targets.push_back(readAt<Id>(_data, offset));
        const std::size_t keys = readAt<std::uint32_t>(_data, offset + 4);
        offset += TrackHeaderSize + 4*keys*(1 + componentCount(AnimationProperty(readAt<std::uint8_t>(_data, offset + 2))));
    }
    return targets;
}

void applyPose(const Animation& animation, std::span<const Id> targets, float time, DynamicSceneGraph& scene) {
    for(std::size_t t = 0; t != animation.tracks.size() && t != targets.size(); ++t) {
        const Id object = targets[t];
        if(!scene.isObject(object)) continue;
        const AnimationTrack& track = animation.tracks[t];
        DualQuaternion& local = scene.localTransformation(object);
        if(track.property == AnimationProperty::Scaling) {
            scene.localScaling(object) = track.vectorAt(time);
        } else {
            Quaternion rotation = local.real;
            const Quaternion t4 = local.dual*glm::conjugate(local.real)*2.0f;
            Vector3 translation{t4.x, t4.y, t4.z};
            if(track.property == AnimationProperty::Rotation) rotation = track.rotationAt(time);
            else translation = track.vectorAt(time);
            local = DualQuaternion{rotation, translation};
        }
        scene.setDirty(object);
    }
}

}}
