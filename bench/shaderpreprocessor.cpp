// Preprocessing throughput over the shipped shaders: the plain inspection
// pass, the pipeline pass with every feature of the shader enabled, and the
// include tools, each against a byte scan of the same text as a baseline.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Base/Resource.h"
#include "Shaders/MaterialDefinition.h"
#include "Shaders/Preprocessor.h"
#include "Shaders/ShaderDefines.h"

using namespace ZandelleEngine;

namespace {

struct Sources {
    std::vector<std::string> texts;
    std::vector<std::vector<std::string>> features;
    std::int64_t bytes = 0;
    IncludeMap includes{64};
};

const Sources& sources() {
    static const Sources s = [] {
        Sources out;
        std::vector<std::pair<std::string, std::string>> files;
        const std::filesystem::path root{ZANDELLE_RESOURCES_DIR "/shaders"};
        for(const auto& entry: std::filesystem::recursive_directory_iterator(root)) {
            const std::string ext = entry.path().extension().string();
            if(!entry.is_regular_file() || (ext != ".vert" && ext != ".frag" && ext != ".glsl")) continue;
            std::ifstream file{entry.path(), std::ios::binary};
            std::ostringstream text;
            text << file.rdbuf();
            files.emplace_back(std::filesystem::relative(entry.path(), root).generic_string(), text.str());
        }
        for(const char* group: {"ZandelleEngineInternalShaders", "ZandelleEditorShaders"})
            for(const std::string& path: Resource{group}.list())
                files.emplace_back(path, Resource{group}.getString(path).value_or(""));
        for(auto& [path, text]: files) {
            if(path.rfind("lib/", 0) == 0) out.includes.put(path, text);
            Preprocessor p;
            p.process(text);
            out.features.push_back(shaderFeatures(p));
            out.bytes += std::int64_t(text.size());
            out.texts.push_back(std::move(text));
        }
        out.includes.compile();
        return out;
    }();
    return s;
}

void ByteScanBaseline(benchmark::State& state) {
    const Sources& s = sources();
    for(auto _: state)
        for(const std::string& text: s.texts)
            benchmark::DoNotOptimize(std::count(text.begin(), text.end(), '#'));
    state.SetBytesProcessed(state.iterations()*s.bytes);
}

void Process(benchmark::State& state) {
    const Sources& s = sources();
    for(auto _: state)
        for(const std::string& text: s.texts) {
            Preprocessor p;
            p.process(text);
            benchmark::DoNotOptimize(p.output().data());
        }
    state.SetBytesProcessed(state.iterations()*s.bytes);
}

void PipelinePass(benchmark::State& state) {
    const Sources& s = sources();
    for(auto _: state)
        for(std::size_t i = 0; i != s.texts.size(); ++i) {
            const Preprocessor p = preprocessForPipeline(s.texts[i], 1, 1, 1, s.features[i], 0);
            benchmark::DoNotOptimize(p.output().data());
        }
    state.SetBytesProcessed(state.iterations()*s.bytes);
}

void IncludeTools(benchmark::State& state) {
    const Sources& s = sources();
    for(auto _: state)
        for(const std::string& text: s.texts) {
            benchmark::DoNotOptimize(listIncludes(text));
            benchmark::DoNotOptimize(resolveIncludes(text, s.includes));
        }
    state.SetBytesProcessed(state.iterations()*s.bytes);
}

void ParseMaterial(benchmark::State& state) {
    const Sources& s = sources();
    std::int64_t bytes = 0;
    std::vector<const std::string*> materials;
    for(const std::string& text: s.texts)
        if(text.find("{{decoder}}") != std::string::npos) {
            materials.push_back(&text);
            bytes += std::int64_t(text.size());
        }
    for(auto _: state)
        for(const std::string* text: materials)
            benchmark::DoNotOptimize(parseMaterialDefinition("Bench", *text).parameterCount());
    state.SetBytesProcessed(state.iterations()*bytes);
}

/* A chain of defines, each referring to the one before, read by one #if at
   the end: the define map's growth and lookups, per define */
void ChainedDefines(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    std::string text = "#define M0 1\n";
    for(std::int64_t i = 1; i != n; ++i)
        text += "#define M" + std::to_string(i) + " (M" + std::to_string(i - 1) + ")\n";
    text += "#if M" + std::to_string(n - 1) + "\nx\n#endif\n";
    for(auto _: state) {
        Preprocessor p;
        p.process(text);
        benchmark::DoNotOptimize(p.output().data());
    }
    state.SetItemsProcessed(state.iterations()*n);
}

}

BENCHMARK(ByteScanBaseline);
BENCHMARK(Process);
BENCHMARK(PipelinePass);
BENCHMARK(IncludeTools);
BENCHMARK(ParseMaterial);
BENCHMARK(ChainedDefines)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
