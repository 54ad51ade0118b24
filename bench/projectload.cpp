// Loading a large project (10,000 and 60,000 objects) against a plain
// RapidJSON parse of the same file.
// The ratio says what the document model, the editor state, plug-in trust and
// activation add on top of reading JSON.

#include <cstdint>
#include <map>
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
    explicit Fixture(int objects) {
        char pattern[] = "/tmp/zandelle-bench-XXXXXX";
        directory = ::mkdtemp(pattern);
        ::setenv("APPDATA", (directory + "/appdata").c_str(), 1);
        path = directory + "/Big.zdp";
        text = Generated::project(objects, "[1, 1, 6, 1]");
        Path::writeAtomic(path, text);
    }
    std::string directory, path, text;
};

/* One project per object count, made on first use */
Fixture& fixture(const benchmark::State& state) {
    static std::map<std::int64_t, Fixture> fixtures;
    const std::int64_t objects = state.range(0);
    auto found = fixtures.find(objects);
    if(found == fixtures.end()) found = fixtures.emplace(objects, Fixture{int(objects)}).first;
    return found->second;
}

void PlainRapidJsonParse(benchmark::State& state) {
    for(auto _: state) {
        const std::optional<std::string> text = Path::readString(fixture(state).path);
        rapidjson::Document d;
        d.Parse<rapidjson::kParseFullPrecisionFlag>(text->data(), text->size());
        benchmark::DoNotOptimize(d.IsObject());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()*fixture(state).text.size()));
}

void ProjectFileParse(benchmark::State& state) {
    for(auto _: state) {
        const std::optional<std::string> text = Path::readString(fixture(state).path);
        ProjectFile file;
        benchmark::DoNotOptimize(file.parse(*text));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()*fixture(state).text.size()));
}

void LoadProject(benchmark::State& state) {
    Debug::setQuiet(true);
    ZandelleEditor editor{2};
    editor.resourcesPath = ZANDELLE_RESOURCES_DIR;
    editor.suppressRecentProjects = true;
    for(auto _: state) {
        const std::optional<int> job = loadProject(fixture(state).path, editor);
        if(!job) {
            state.SkipWithError("loading failed");
            break;
        }
        editor.jobSystem->wait(*job);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()*fixture(state).text.size()));
    Debug::setQuiet(false);
}

}

BENCHMARK(PlainRapidJsonParse)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(ProjectFileParse)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadProject)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
