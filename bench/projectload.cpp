// Loading a large project against a plain RapidJSON parse of the same file.
// The ratio says what the document model, the editor state, plug-in trust and
// activation add on top of reading JSON.

#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <rapidjson/document.h>

#include "Base/Log.h"
#include "support/GeneratedProject.h"
#include "Base/Path.h"
#include "Editor/ProjectFile.h"
#include "Editor/ZandelleEditor.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;

namespace {

struct Fixture {
    Fixture() {
        char pattern[] = "/tmp/zandelle-bench-XXXXXX";
        directory = ::mkdtemp(pattern);
        ::setenv("APPDATA", (directory + "/appdata").c_str(), 1);
        path = directory + "/Big.zdp";
        text = Generated::project(10000, "[1, 1, 6, 1]");
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
