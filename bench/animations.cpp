// Animation compilation: 1,000 imported animations of 50 tracks with 100
// keyframes each, bound to 50 objects, packed with every key kept and with
// keyframe reduction; figures are per track.

#include <cmath>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

constexpr std::size_t Animations = 1000, Tracks = 50, Keys = 100;

/* Translation, rotation and scaling tracks in turn, on curves that keyframe
   reduction can only partly thin out */
Trade::AnimationData generatedAnimation(std::size_t seed) {
    Trade::AnimationData animation;
    animation.duration = 0.04f*(Keys - 1);
    for(std::size_t t = 0; t != Tracks; ++t) {
        static const char* const properties[]{"translation", "rotation", "scaling"};
        Trade::AnimationTrack track{fmt::format("joint{}", t), properties[t % 3], {}, {}};
        for(std::size_t k = 0; k != Keys; ++k) {
            const float time = 0.04f*k, phase = time + 0.1f*float(seed + t);
            track.times.push_back(time);
            if(t % 3 == 1) {
                const float half = 0.5f*std::sin(phase);
                track.values.insert(track.values.end(), {0.0f, std::sin(half), 0.0f, std::cos(half)});
            } else track.values.insert(track.values.end(), {std::sin(phase), k < Keys/2 ? 1.0f : time, 0.5f*std::cos(phase)});
        }
        animation.tracks.push_back(std::move(track));
    }
    return animation;
}

void compileAnimations(benchmark::State& state) {
    Debug::setQuiet(true);
    ZandelleEditor editor{1};
    editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
    initProject(editor, "", "");
    ProjectFile& file = editor.data().projectFile();

    std::string objects = "{", targets = "[";
    for(std::size_t t = 0; t != Tracks; ++t) {
        objects += fmt::format(R"({}"joint{}": {{"name": "Joint{}"}})", t ? "," : "", t, t);
        targets += fmt::format(R"({}"joint{}")", t ? "," : "", t);
    }
    objects += "}";
    targets += "]";
    std::string animations = "{";
    for(std::size_t a = 0; a != Animations; ++a) {
        const std::string key = fmt::format("anim{}", a);
        editor.data().resources().animations.add(FileLink{"scene.glb", key}, generatedAnimation(a));
        animations += fmt::format(R"({}"{}": {{"link": {{"file": "scene.glb", "name": "{}"}}, "targets": {}, "pack": {}}})",
            a ? "," : "", key, key, targets, state.range(0) ? "true" : "false");
    }
    animations += "}";
    JsonDocument parsed;
    parsed.Parse(objects.data(), objects.size());
    file.objects().setValue(parsed);
    parsed.Parse(animations.data(), animations.size());
    file.animations().setValue(parsed);
    AssetCompiler& compiler = *editor.assetCompiler;
    compiler.compile("objects");

    for(auto _: state) compiler.compile("animations");
    state.SetItemsProcessed(std::int64_t(state.iterations()*Animations*Tracks));
    state.SetLabel(state.range(0) ? "pack: keyframes reduced" : "every keyframe kept");
}

}

BENCHMARK(compileAnimations)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
