#include <cmath>
#include <fstream>
#include <sstream>
#include <tuple>

#include <rapidjson/document.h>

#include "CompilerFixture.h"
#include "Engine/Animation.h"
#include "Engine/AnimationManager.h"
#include "Support/LogCapture.h"
#include "Tools/Import.h"

namespace ZandelleEngine { namespace Testing { namespace {

using Trade::AnimationInterpolation;
constexpr AnimationInterpolation Constant = AnimationInterpolation::Constant;
constexpr AnimationInterpolation Spherical = AnimationInterpolation::Spherical;

Trade::AnimationTrack track(std::string property, std::vector<float> times, std::vector<float> values,
    AnimationInterpolation interpolation = AnimationInterpolation::Linear)
{
    return Trade::AnimationTrack{"", std::move(property), std::move(times), std::move(values), interpolation};
}

/* A translation along x from 0 to 2 over a second */
Trade::AnimationTrack slide() { return track("translation", {0.0f, 1.0f}, {0, 0, 0, 2, 0, 0}); }

class AnimationsTest: public CompilerTest {
    protected:
        AnimationsTest() {
            setSection("objects", R"({"a": {"name": "A"}, "b": {"name": "B"}})");
            compiler().compile("objects");
        }

        void addAnimation(std::string_view key, Trade::AnimationData animation, std::string_view extra = {}) {
            editor.data().resources().animations.add(FileLink{"scene.glb", std::string{key}}, std::move(animation));
            setLinkedRecord("animations", key, extra);
        }
        Data::Id id(std::string_view key) { return ResourceIndex::lookup(compiler().resourceIndex.animations, key); }
};

TEST_F(AnimationsTest, TargetsAndStableSlots) {
    addAnimation("one", {{slide()}, 1.0f}, R"("targets": ["a"])");
    addAnimation("walk", {{slide(), slide(), slide(), slide(), slide()}, 1.0f},
        R"("targets": ["a", "", "ghost", "ghost"], "pack": true)");
    addAnimation("gone", {}, {});
    editor.data().resources().animations.remove(FileLink{"scene.glb", "gone"});
    const std::uint32_t runs = counter(AssetType::Animations);
    LogCapture log;
    compiler().compile("animations");
    ASSERT_EQ(std::tuple(id("one"), id("walk"), id("gone")), std::tuple(1, 2, 0));
    /* "ghost" is reported for each track naming it */
    EXPECT_EQ(log.warning(),
        "AssetCompiler::compileAnimations(): missing animation target ghost in animation walk\n"
        "AssetCompiler::compileAnimations(): missing animation target ghost in animation walk\n"
        "AssetCompiler::compileAnimations(): missing animation gone\n");

    /* Compiling one again replaces its slot in each of the parallel arrays */
    setLinkedRecord("animations", "one", R"("targets": ["b"])");
    compiler().compile("animations", {"one"});
    ASSERT_EQ(std::tuple(id("one"), sceneData().animations.size(), sceneData().runtimeAnimations.size(),
                         sceneData().targetedAnimations.size()), std::tuple(1, 3, 3, 3));
    EXPECT_EQ(sceneData().targetedAnimations[1].animation, 1);
    EXPECT_EQ(sceneData().targetedAnimations[1].targets, std::vector<Data::Id>{object("b")});
    EXPECT_EQ(Data::AnimationData{sceneData().animations[1]}.targets(), std::vector<Data::Id>{object("b")});
    /* The fifth track of walk has no entry */
    EXPECT_EQ(sceneData().targetedAnimations[2].targets, (std::vector<Data::Id>{object("a"), 0, 0, 0, 0xFFFF}));
    /* Keyframes are reduced when the record asks */
    EXPECT_EQ(std::tuple(Data::AnimationData{sceneData().animations[1]}.isPacked(),
                         Data::AnimationData{sceneData().animations[2]}.isPacked()), std::tuple(false, true));
    EXPECT_EQ(counter(AssetType::Animations), runs + 2);
}

TEST_F(AnimationsTest, UnusableTracksSkipTheAnimation) {
    /* Rows without a message get the step's own */
    const struct { const char* name; Trade::AnimationTrack bad; const char* error; } data[]{
        {"not unit length", track("rotation", {0.0f}, {0, 0, 0, 1.0001f}), "Quaternion not normalized in track 1\n"},
        {"rotation of three values", track("rotation", {0.0f}, {0, 0, 1}), nullptr},
        {"times out of order", track("scaling", {1.0f, 0.5f}, {1, 1, 1, 2, 2, 2}), nullptr},
        {"unknown property", track("weights", {0.0f}, {1, 1, 1}), nullptr},
        {"not a number", track("translation", {0.0f}, {0, NAN, 0}), nullptr},
    };
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        addAnimation("bad", {{track("rotation", {0.0f}, {0, 0, 0.6f, 0.8f}), row.bad}, 1.0f});
        LogCapture log;
        compiler().compile("animations", {"bad"});
        EXPECT_EQ(log.error(), row.error ? row.error :
            "AssetCompiler::compileAnimations(): unusable keyframes in track 1 of animation bad\n");
        EXPECT_EQ(id("bad"), 0);
    }
    EXPECT_EQ(sceneData().animations.size(), 1u);
}

TEST(AnimationSampling, Interpolations) {
    const float s = std::sqrt(0.5f);
    /* Identity to a quarter turn about z */
    const std::vector<float> quarter{0, 0, 0, 1, 0, 0, s, s};
    const struct { const char* name; Trade::AnimationTrack track; float time; Vector4 expected; } data[]{
        {"linear translation", track("translation", {1.0f, 3.0f}, {0, 0, 0, 2, 4, -6}), 1.5f, {0.5f, 1, -1.5f, 0}},
        {"before the first key", track("scaling", {1.0f, 3.0f}, {1, 1, 1, 2, 2, 2}), 0.0f, {1, 1, 1, 0}},
        {"after the last key", track("scaling", {1.0f, 3.0f}, {1, 1, 1, 2, 2, 2}), 9.0f, {2, 2, 2, 0}},
        {"constant", track("translation", {0.0f, 1.0f}, {5, 5, 5, 9, 9, 9}, Constant), 0.99f, {5, 5, 5, 0}},
        /* A quarter of the way: 22.5 degrees for the spherical blend, a
           slightly larger angle for the normalised linear one */
        {"spherical rotation", track("rotation", {0.0f, 1.0f}, quarter, Spherical), 0.25f,
            {0, 0, std::sin(0.19634954f), std::cos(0.19634954f)}},
        {"normalised linear rotation", track("rotation", {0.0f, 1.0f}, quarter), 0.25f,
            Vector4{0, 0, 0.25f*s, 0.75f + 0.25f*s}/std::sqrt(0.0625f*0.5f + (0.75f + 0.25f*s)*(0.75f + 0.25f*s))},
        /* -q is the same rotation as q: the blend goes the short way */
        {"shorter way round", track("rotation", {0.0f, 1.0f}, {0, 0, 0, 1, 0, 0, -s, -s}, Spherical), 0.5f,
            {0, 0, std::sin(0.39269908f), std::cos(0.39269908f)}},
    };
    for(const auto& row: data) {
        SCOPED_TRACE(row.name);
        const Data::ByteArray bytes = Data::createAnimationData({{row.track}, 3.0f}, {}, true);
        const Data::Animation animation = Data::AnimationData{bytes}.animation();
        const Vector4 value = animation.tracks.at(0).at(row.time);
        for(int i = 0; i != 4; ++i) EXPECT_NEAR(value[i], row.expected[i], 1e-6f) << i;
    }
}

TEST(AnimationSampling, PackingLeavesOutWhatSamplingGivesBack) {
    /* A straight run of 100 keys, then a turn */
    Trade::AnimationTrack line = track("translation", {}, {});
    for(int k = 0; k != 100; ++k) {
        line.times.push_back(0.1f*k);
        line.values.insert(line.values.end(), {0.5f*k, k < 60 ? 0.0f : 0.25f*(k - 59), 1.0f});
    }
    const Trade::AnimationData source{{line}, 9.9f};
    const Data::ByteArray full = Data::createAnimationData(source, {}, true);
    const Data::ByteArray packed = Data::createAnimationData(source, {}, false);
    const Data::AnimationData fullView{full}, packedView{packed};
    EXPECT_EQ(std::tuple(fullView.isPacked(), fullView.animation().tracks.at(0).keyCount()), std::tuple(false, 100u));
    EXPECT_EQ(std::tuple(packedView.isPacked(), packedView.animation().tracks.at(0).keyCount()), std::tuple(true, 3u));
    const Data::AnimationTrack reduced = packedView.animation().tracks.at(0);
    for(int k = 0; k != 100; ++k) for(int c = 0; c != 3; ++c)
        EXPECT_NEAR(reduced.at(line.times[k])[c], line.values[3*k + c], 1e-4f) << k;
}

TEST(AnimationSampling, DamagedBytesReadAsInvalid) {
    const Data::ByteArray bytes =
        Data::createAnimationData({{slide(), track("rotation", {0.0f}, {0, 0, 0, 1})}, 1.0f}, {{7, 8}}, true);
    ASSERT_TRUE(Data::AnimationData{bytes}.isValid());
    EXPECT_EQ(Data::AnimationData{bytes}.targets(), (std::vector<Data::Id>{7, 8}));
    for(std::size_t size = 0; size != bytes.size(); ++size) {
        const Data::AnimationData cut{std::span<const char>{bytes.data(), size}};
        EXPECT_FALSE(cut.isValid()) << size;
        EXPECT_TRUE(cut.animation().tracks.empty() && cut.targets().empty()) << size;
    }
    /* One byte too many; the first track's property out of range */
    Data::ByteArray longer = bytes, badProperty = bytes;
    longer.push_back(0);
    badProperty[12 + 4 + 2] = 3;
    EXPECT_FALSE(Data::AnimationData{longer}.isValid());
    EXPECT_FALSE(Data::AnimationData{badProperty}.isValid());
}

TEST_F(AnimationsTest, PlayingPosesTheTargets) {
    const Trade::AnimationTrack turn = track("rotation", {0.0f, 2.0f}, {0, 0, 0, 1, 0, 0, 1, 0}, Spherical);
    addAnimation("anim", {{slide(), turn, track("scaling", {0.0f, 2.0f}, {1, 1, 1, 3, 3, 3})}, 2.0f},
        R"("targets": ["a", "a", "b"])");
    compiler().compile("animations");
    setRecord("objects", "a", R"({"name": "A", "components": [{"type": "animation", "active": true,
        "animation": {"animation": "anim", "preview": true, "speed": 1}}]})");
    compiler().compile("components", {"a"});

    AnimationManager& m = scene().manager<AnimationManager>();
    const Data::Id c = scene().components(object("a")).at(0);
    ASSERT_TRUE(m.isPlaying(c));
    m.update(c, 1.0f, sceneData().runtimeAnimations.at(m.animation(c)), scene());
    /* Half way: the slide ended at x = 2, a quarter turn about z, scaling 2 */
    const DualQuaternion& local = scene().localTransformation(object("a"));
    EXPECT_NEAR(translationOf(local).x, 2.0f, 1e-5f);
    EXPECT_NEAR(glm::length(local.real - Quaternion(std::sqrt(0.5f), 0.0f, 0.0f, std::sqrt(0.5f))), 0.0f, 1e-5f);
    EXPECT_EQ(scene().localScaling(object("b")), Vector3{2.0f});
    EXPECT_TRUE(scene().isDirty(object("b")));

    /* Stopping the preview puts the targets back where the document has them,
       in one object pass besides the object's own */
    const std::uint32_t objects = counter(AssetType::Objects);
    file()["objects/a/components/0/animation/preview"].setBool(false);
    compiler().compile("components", {"a"});
    EXPECT_FALSE(m.isPlaying(c));
    EXPECT_EQ(scene().localScaling(object("b")), Vector3{1.0f});
    EXPECT_EQ(counter(AssetType::Objects), objects + 2);
}

/* The keyframes of a glTF sampler read straight from the file: its
   embedded base64 buffer and accessors */
std::vector<float> gltfAccessorFloats(const rapidjson::Document& gltf, unsigned accessor) {
    const auto& a = gltf["accessors"][accessor];
    const auto& view = gltf["bufferViews"][a["bufferView"].GetUint()];
    const std::string_view uri = gltf["buffers"][view["buffer"].GetUint()]["uri"].GetString();
    const std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0, buffer = 0;
    for(const char c: uri.substr(uri.find(',') + 1)) {
        if(alphabet.find(c) == std::string_view::npos) break;
        buffer = (buffer << 6) | unsigned(alphabet.find(c));
        if((bits += 6) >= 8) bytes += char((buffer >> (bits -= 8)) & 0xFF);
    }
    const std::string_view type = a["type"].GetString();
    const std::size_t components = type == "VEC4" ? 4 : type == "VEC3" ? 3 : 1;
    std::vector<float> out(a["count"].GetUint()*components);
    const std::size_t offset = (view.HasMember("byteOffset") ? view["byteOffset"].GetUint() : 0) +
        (a.HasMember("byteOffset") ? a["byteOffset"].GetUint() : 0);
    std::memcpy(out.data(), bytes.data() + offset, 4*out.size());
    return out;
}

TEST_F(AnimationsTest, ImportedGltfSkinPlaysItsKeyframes) {
    const std::string path = "/usr/share/assimp/models/glTF2/simple_skin/simple_skin.gltf";
    std::stringstream text;
    text << std::ifstream{path}.rdbuf();
    rapidjson::Document gltf;
    gltf.Parse(text.str().c_str());
    ASSERT_FALSE(gltf.HasParseError());
    /* The file animates one rotation, with keys that are unit only to three
       digits; imported rotations are normalised */
    const auto& sampler = gltf["animations"][0]["samplers"][0];
    ASSERT_STREQ(gltf["animations"][0]["channels"][0]["target"]["path"].GetString(), "rotation");
    const std::vector<float> times = gltfAccessorFloats(gltf, sampler["input"].GetUint());
    const std::vector<float> values = gltfAccessorFloats(gltf, sampler["output"].GetUint());
    const auto key = [&](std::size_t k) {
        return glm::normalize(Quaternion{values[4*k + 3], values[4*k], values[4*k + 1], values[4*k + 2]});
    };

    ASSERT_TRUE(loadScene(path, editor, LoadMode::Reimport, "", false));
    ASSERT_EQ(sceneData().animations.size(), 2u);
    const Data::AnimationTrack* rotation = nullptr;
    for(const Data::AnimationTrack& t: sceneData().runtimeAnimations[1].tracks)
        if(t.property == Data::AnimationProperty::Rotation) rotation = &t;
    ASSERT_TRUE(rotation);
    EXPECT_EQ(rotation->times, times);
    /* A key, and a quarter of the way between keys 1 and 2 */
    const struct { float time; Quaternion expected; } data[]{
        {times[1], key(1)},
        {times[1] + 0.25f*(times[2] - times[1]), glm::slerp(key(1), key(2), 0.25f)},
    };
    for(const auto& row: data) {
        const Quaternion q = rotation->rotationAt(row.time);
        for(int c = 0; c != 4; ++c) EXPECT_NEAR(q[c], row.expected[c], 1e-5f) << row.time;
    }
}

}}}
