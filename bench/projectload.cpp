// Loading a large project against a plain RapidJSON parse of the same file.
// The ratio says what the document model, the editor state, plug-in trust and
// activation add on top of reading JSON.

#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <rapidjson/document.h>

#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

/* A current-version project with @p count objects in a hierarchy, each with
   a transform and a mesh component */
std::string generateProject(std::size_t count) {
    std::string text = R"({"objects": {)";
    for(std::size_t i = 1; i <= count; ++i) {
        if(i != 1) text += ",";
        const std::string parent = i > 1 ? fmt::format(R"("parent": "{}", )", (i - 1)/2 + 1) : std::string{};
        text += fmt::format(R"("{}": {{"name": "Object{}", {}"translation": [{}, 0.5, -2.0],)"
            R"( "rotation": [0.0, 0.0, 0.0, 1.0], "scaling": [1.0, 1.0, 1.0], "link": {{"file": "scene.gltf", "name": "Object{}"}},)"
            R"( "components": [{{"type": "mesh", "mesh": {{"mesh": "p1", "material": "DefaultFontMaterial"}}}}]}})",
            i, i, parent, float(i)*0.25f, i);
    }
    /* The built-in cube and text material, as a saved project holds them */
    text += R"(}, "meshes": {"p1": {"link": {"file": "default", "name": "PrimitiveCube"}}},)"
        R"( "materials": {"DefaultFontMaterial": {"link": {"file": "default", "name": "DefaultFontMaterial"}}},)"
        R"( "settings": {"project": {"name": "Big", "version": [1, 1, 6, 1]}}})";
    return text;
}

struct Fixture {
    Fixture() {
        char pattern[] = "/tmp/zandelle-bench-XXXXXX";
        directory = ::mkdtemp(pattern);
        ::setenv("APPDATA", (directory + "/appdata").c_str(), 1);
        path = directory + "/Big.zdp";
        text = generateProject(10000);
        Path::writeAtomic(path, text);
    }
    std::string directory, path, text;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void PlainRapidJsonParse(benchmark::State& state) {
    for(auto _: state) {
        const std::optional<std::string> text = Path::readString(fixture().path);
        rapidjson::Document d;
        d.Parse<rapidjson::kParseFullPrecisionFlag>(text->data(), text->size());
        benchmark::DoNotOptimize(d.IsObject());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()*fixture().text.size()));
}

void ProjectFileParse(benchmark::State& state) {
    for(auto _: state) {
        const std::optional<std::string> text = Path::readString(fixture().path);
        ProjectFile file;
        benchmark::DoNotOptimize(file.parse(*text));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()*fixture().text.size()));
}

void LoadProject10000Objects(benchmark::State& state) {
    Debug::setQuiet(true);
    ZandelleEditor editor{2};
    editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
    editor.suppressRecentProjects = true;
    for(auto _: state) {
        const std::optional<int> job = loadProject(fixture().path, editor);
        if(!job) {
            state.SkipWithError("loading failed");
            break;
        }
        editor.jobSystem->wait(*job);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()*fixture().text.size()));
    Debug::setQuiet(false);
}

}

BENCHMARK(PlainRapidJsonParse)->Unit(benchmark::kMillisecond);
BENCHMARK(ProjectFileParse)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadProject10000Objects)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
