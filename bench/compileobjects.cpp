// Object and component compilation on generated projects: a first compile,
// a recompile of every record (ids exist, components are matched), and the
// recompile of one edited record in the largest project, with the document
// model's record lookup measured on its own beside it.
//
// Object ids are 16-bit, so a scene holds at most 65535 objects: the largest
// project has 60000.

#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <rapidjson/document.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

/* @p count objects in a binary tree, each with a transform, a mesh and a
   light component */
const JsonDocument& generatedObjects(std::size_t count) {
    static std::map<std::size_t, std::unique_ptr<JsonDocument>> cache;
    std::unique_ptr<JsonDocument>& d = cache[count];
    if(d) return *d;
    std::string text = "{";
    for(std::size_t i = 1; i <= count; ++i) {
        if(i != 1) text += ",";
        text += fmt::format(R"("{}": {{"name": "Object{}", "parent": "{}", "translation": [{}, 0.5, -2.0],)"
            R"( "rotation": [0.0, 0.0, 0.38268343, 0.9238795], "scaling": [1.0, 1.0, 1.0],)"
            R"( "components": [{{"type": "mesh", "active": true, "mesh": {{"mesh": "m", "material": "mat"}}}},)"
            R"( {{"type": "light", "active": true, "light": {{"type": "point", "color": [1, 1, 1], "intensity": 2}}}}]}})",
            i, i, i > 1 ? std::to_string(i/2) : std::string{}, float(i)*0.25f);
    }
    text += "}";
    d = std::make_unique<JsonDocument>();
    d->Parse(text.data(), text.size());
    return *d;
}

struct Project {
    Project() {
        Debug::setQuiet(true);
        editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
    }

    void reset(std::size_t count) {
        initProject(editor, "", "");
        ProjectFile& file = editor.data().projectFile();
        file.objects().setValue(generatedObjects(count));
        file["materials/mat/pipeline"].setString("pipe");
        AssetCompiler& compiler = *editor.assetCompiler;
        compiler.resourceIndex.pipelines["pipe"] = 1;
        compiler.resourceIndex.materials["mat"] = 1;
        compiler.resourceIndex.meshes["m"] = 1;
    }

    ZandelleEditor editor{2};
};

void firstCompile(benchmark::State& state) {
    const std::size_t count = std::size_t(state.range(0));
    Project project;
    for(auto _: state) {
        state.PauseTiming();
        project.reset(count);
        state.ResumeTiming();
        project.editor.assetCompiler->compile("components");
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()*count));
    state.counters["objects"] = double(project.editor.data().scene().main().objectCount());
}

void recompileAll(benchmark::State& state) {
    const std::size_t count = std::size_t(state.range(0));
    Project project;
    project.reset(count);
    project.editor.assetCompiler->compile("components");
    for(auto _: state) project.editor.assetCompiler->compile("components");
    state.SetItemsProcessed(std::int64_t(state.iterations()*count));
}

/* One record in the middle of the section edited and recompiled */
void recompileOne(benchmark::State& state) {
    const std::size_t count = std::size_t(state.range(0));
    Project project;
    project.reset(count);
    AssetCompiler& compiler = *project.editor.assetCompiler;
    compiler.compile("components");
    const std::string key = std::to_string(count/2);
    ProjectFile& file = project.editor.data().projectFile();
    float x = 0.0f;
    for(auto _: state) {
        file["objects/" + key + "/translation"].setArray(std::vector<float>{x += 1.0f, 0.5f, -2.0f});
        compiler.compile("components", {std::string{key}});
    }
}

/* What one record lookup through the document model costs, and the same
   member search in RapidJSON */
void recordLookup(benchmark::State& state) {
    const std::size_t count = std::size_t(state.range(0));
    Project project;
    project.reset(count);
    ProjectFile& file = project.editor.data().projectFile();
    const std::string key = std::to_string(count/2);
    for(auto _: state) benchmark::DoNotOptimize(file.objects()[key].readValue());
}

void rapidJsonFindMember(benchmark::State& state) {
    const JsonDocument& objects = generatedObjects(std::size_t(state.range(0)));
    const std::string key = std::to_string(state.range(0)/2);
    for(auto _: state) benchmark::DoNotOptimize(objects.FindMember(key.c_str()));
}

}

BENCHMARK(firstCompile)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(recompileAll)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(recompileOne)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMicrosecond);
BENCHMARK(recordLookup)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMicrosecond);
BENCHMARK(rapidJsonFindMember)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
