// Shader, pipeline and material compilation of a project with 200 materials
// spread over the shipped default pipelines: the three steps in a row, as a
// full compile runs them (reported per material), the materials step alone,
// and one edited material recompiled on its own. The last should cost about
// a two-hundredth of the materials step.

#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

constexpr int MaterialCount = 200;

JsonDocument parse(const std::string& json) {
    JsonDocument parsed;
    parsed.Parse(json.data(), json.size());
    return parsed;
}

struct Project {
    Project() {
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
        editor.shaderDirectory = ZANDELLE_RESOURCES_DIR "/shaders";
        initProject(editor, "", "");
        ProjectFile& file = editor.data().projectFile();

        /* Round robin over every default pipeline with a shader, with
           values for each shading model */
        std::vector<std::string> pipelines;
        for(const ValueAccess& p: file.pipelines().range())
            if(!p["shader"].asString().empty()) pipelines.push_back(p.key());
        std::string m = "{";
        for(int n = 0; n != MaterialCount; ++n)
            m += (n ? "," : "") + fmt::format(R"("m{}": {{"name": "M{}", "pipeline": "{}",)"
                R"( "Phong": {{"diffuseColor": [1, 0.5, 0, 1], "shininess": 8}},)"
                R"( "Flat": {{"color": [0, 1, 0, 1]}}, "Physical": {{"albedoColor": [1, 1, 1, 1], "roughnessFactor": 0.5}}}})",
                n, n, pipelines[std::size_t(n) % pipelines.size()]);
        file["materials"].setValue(parse(m + "}"));
        file.invalidateLookups();
        editor.assetCompiler->compileAll();
        editor.jobSystem->waitForIdle();
    }
    ZandelleEditor editor{2};
};

Project& project() {
    static std::unique_ptr<Project> p = std::make_unique<Project>();
    return *p;
}

/* Time per material, and what the project holds compiled (index 0 of each
   array is a placeholder) */
void perMaterial(benchmark::State& state) {
    state.counters["perMaterial"] = benchmark::Counter(double(state.iterations())*MaterialCount,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    const EditorSceneData& scene = project().editor.data().scene();
    state.counters["pipelines"] = double(scene.pipelines.size() - 1);
    state.counters["materials"] = double(scene.materials.size() - 1);
}

/* Shaders, pipelines (which recompile the materials of each pipeline they
   compile) and materials, in the order of a full compile */
void fullCompile(benchmark::State& state) {
    AssetCompiler& compiler = *project().editor.assetCompiler;
    for(auto _: state) {
        compiler.compile("shaders");
        compiler.compile("pipelines");
        compiler.compile("materials");
    }
    perMaterial(state);
}

void materialsStep(benchmark::State& state) {
    AssetCompiler& compiler = *project().editor.assetCompiler;
    for(auto _: state) compiler.compile("materials");
    perMaterial(state);
}

/* A colour edited between two values, then that material recompiled */
void oneEditedMaterial(benchmark::State& state) {
    ProjectFile& file = project().editor.data().projectFile();
    AssetCompiler& compiler = *project().editor.assetCompiler;
    const JsonDocument colors[]{parse("[1, 0.5, 0, 1]"), parse("[0, 0.5, 1, 1]")};
    std::size_t i = 0;
    for(auto _: state) {
        file["materials/m100/Phong/diffuseColor"].setValue(colors[++i % 2]);
        compiler.compile("materials", {"m100"});
    }
}

}

BENCHMARK(fullCompile)->Unit(benchmark::kMillisecond);
BENCHMARK(materialsStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(oneEditedMaterial)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
