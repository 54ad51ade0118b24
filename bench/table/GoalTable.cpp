// The last word of `make bench`: one table of the figures the team steers
// by, each computed from the JSON outputs of the benchmark programs of the
// same run, beside its goal and whether it is met.
//
// Usage: zandelle-bench-table DIRECTORY
// DIRECTORY holds bench-NAME.json files written with --benchmark_out. A
// figure whose benchmark did not run (or was skipped) is shown as missing,
// never guessed; the exit code is 0 either way, the table is for people.

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <rapidjson/document.h>

#include "Base/Path.h"

using namespace ZandelleEngine;

namespace {

/* Every benchmark of every file, by "FILE:NAME" ("projectload:LoadProject/10000") */
using Results = std::map<std::string, const rapidjson::Value*>;

struct Goal {
    const char* measure;
    /* The figure, or nothing when a benchmark it needs is missing */
    std::function<std::optional<double>(const Results&)> figure;
    bool atMost;
    double goal;
    const char* unit;
};

const rapidjson::Value* find(const Results& results, const std::string& name) {
    const auto found = results.find(name);
    if(found == results.end() || found->second->HasMember("error_occurred")) return nullptr;
    return found->second;
}

/* A member of a benchmark's entry: a counter, real_time, bytes_per_second */
std::optional<double> value(const Results& results, const std::string& name, const char* member) {
    const rapidjson::Value* b = find(results, name);
    if(!b || !b->HasMember(member) || !(*b)[member].IsNumber()) return {};
    return (*b)[member].GetDouble();
}

/* Real time per iteration in seconds */
std::optional<double> seconds(const Results& results, const std::string& name) {
    const rapidjson::Value* b = find(results, name);
    if(!b || !b->HasMember("real_time") || !b->HasMember("time_unit")) return {};
    const std::string unit = (*b)["time_unit"].GetString();
    const double scale = unit == "ns" ? 1e-9 : unit == "us" ? 1e-6 : unit == "ms" ? 1e-3 : 1.0;
    return (*b)["real_time"].GetDouble()*scale;
}

std::optional<double> ratio(std::optional<double> a, std::optional<double> b) {
    if(!a || !b || *b == 0.0) return {};
    return *a / *b;
}

/* Time per item of a benchmark that sets items processed, in seconds */
std::optional<double> perItem(const Results& results, const std::string& name) {
    const std::optional<double> items = value(results, name, "items_per_second");
    if(!items || *items == 0.0) return {};
    return 1.0 / *items;
}

const std::string Image = "imagecompression:tiledCompression/iterations:1/real_time";

const Goal Goals[]{
    {"Import of a 2048^2 image (cold compile) over basisu on its own threads, wall",
        [](const Results& r) { return value(r, Image, "coldOverBasisu"); }, true, 1.0, "x"},
    {"Workers busy while the tiles of that image encode",
        [](const Results& r) { return value(r, Image, "workersBusy"); }, false, 0.9, ""},
    {"Tiled compression over one single-threaded encoder run",
        [](const Results& r) { return value(r, Image, "tiledOverSingleRun"); }, true, 1.0, "x"},
    {"Re-encode after a 64^2 edit over cold",
        [](const Results& r) { return value(r, Image, "regionOverCold"); }, true, 0.05, "x"},
    {"Font glyph data (ASCII) over FreeType decomposition",
        [](const Results& r) { return ratio(perItem(r, "fonts:Build/cjk:0"), perItem(r, "fonts:FreeTypeDecompose/cjk:0")); }, true, 3.0, "x"},
    {"Font glyph data (CJK) over FreeType decomposition",
        [](const Results& r) { return ratio(perItem(r, "fonts:Build/cjk:1"), perItem(r, "fonts:FreeTypeDecompose/cjk:1")); }, true, 3.0, "x"},
    {"Open 10k objects over plain RapidJSON parse",
        [](const Results& r) { return ratio(seconds(r, "projectload:LoadProject/10000"), seconds(r, "projectload:PlainRapidJsonParse/10000")); }, true, 1.3, "x"},
    {"Open 60k objects over plain RapidJSON parse",
        [](const Results& r) { return ratio(seconds(r, "projectload:LoadProject/60000"), seconds(r, "projectload:PlainRapidJsonParse/60000")); }, true, 1.3, "x"},
    {"First compile per object, 60k over 1k",
        [](const Results& r) { return ratio(perItem(r, "compileobjects:firstCompile/60000"), perItem(r, "compileobjects:firstCompile/1000")); }, true, 1.2, "x"},
    {"First compile per object at 60k, microseconds",
        [](const Results& r) { const auto s = perItem(r, "compileobjects:firstCompile/60000"); return s ? std::optional<double>{*s*1e6} : std::nullopt; }, true, 2.0, " us"},
    {"Scene import over Assimp ReadFile",
        [](const Results& r) { return ratio(seconds(r, "sceneimport:FirstImport"), seconds(r, "sceneimport:AssimpReadFile")); }, true, 1.2, "x"},
    {"Shader preprocessor, MB/s",
        [](const Results& r) { const auto b = value(r, "shaderpreprocessor:Process", "bytes_per_second"); return b ? std::optional<double>{*b/1e6} : std::nullopt; }, false, 300.0, ""},
};

}

int main(int argc, char** argv) {
    if(argc != 2) {
        std::fprintf(stderr, "Usage: zandelle-bench-table DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[1];
    std::vector<rapidjson::Document> documents;
    const std::vector<std::string> files = Path::list(directory).value_or(std::vector<std::string>{});
    documents.reserve(files.size());
    Results results;
    for(const std::string& file: files) {
        if(!file.starts_with("bench-") || !file.ends_with(".json")) continue;
        const std::optional<std::string> text = Path::readString(Path::join(directory, file));
        rapidjson::Document& d = documents.emplace_back();
        if(!text || d.Parse(text->data(), text->size()).HasParseError() || !d.IsObject() ||
           !d.HasMember("benchmarks") || !d["benchmarks"].IsArray()) {
            std::fprintf(stderr, "zandelle-bench-table: %s is no benchmark output, left out\n", file.c_str());
            continue;
        }
        const std::string program = file.substr(6, file.size() - 11);
        for(const rapidjson::Value& b: d["benchmarks"].GetArray())
            if(b.IsObject() && b.HasMember("name") && b["name"].IsString())
                results.emplace(program + ":" + b["name"].GetString(), &b);
    }

    std::printf("\n%-80s %12s %10s  %s\n", "Measure", "Figure", "Goal", "Met");
    std::size_t met = 0, measured = 0;
    for(const Goal& g: Goals) {
        const std::optional<double> figure = g.figure(results);
        const std::string goal = fmt::format("{}{:g}{}", g.atMost ? "<= " : ">= ", g.goal, g.unit);
        if(!figure) {
            std::printf("%-80s %12s %10s  %s\n", g.measure, "missing", goal.c_str(), "-");
            continue;
        }
        const bool ok = g.atMost ? *figure <= g.goal : *figure >= g.goal;
        ++measured;
        met += ok;
        std::printf("%-80s %12s %10s  %s\n", g.measure, fmt::format("{:.3f}{}", *figure, g.unit).c_str(), goal.c_str(), ok ? "yes" : "NO");
    }
    std::printf("%zu of %zu measured goals met\n", met, measured);
    return 0;
}
