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

/* Which time a figure is taken from: the wall clock, or the CPU time of
   the benchmark's own thread (which leaves out the workers and child
   processes it waits for) */
enum class Clock { Wall, Cpu };

struct Goal {
    const char* measure;
    /* The figure by a clock, or nothing when a benchmark it needs is
       missing; figures that are counters of a run ignore the clock */
    std::function<std::optional<double>(const Results&, Clock)> figure;
    bool atMost;
    double goal;
    const char* unit;
    /* Whether the figure differs by clock */
    bool timed = true;
};

const rapidjson::Value* find(const Results& results, const std::string& name) {
    const auto found = results.find(name);
    if(found == results.end() || found->second->HasMember("error_occurred")) return nullptr;
    return found->second;
}

/* A counter of a benchmark's entry */
std::optional<double> counter(const Results& results, const std::string& name, const char* member) {
    const rapidjson::Value* b = find(results, name);
    if(!b || !b->HasMember(member) || !(*b)[member].IsNumber()) return {};
    return (*b)[member].GetDouble();
}

/* Time per iteration in seconds */
std::optional<double> seconds(const Results& results, const std::string& name, Clock clock) {
    const rapidjson::Value* b = find(results, name);
    const char* member = clock == Clock::Wall ? "real_time" : "cpu_time";
    if(!b || !b->HasMember(member) || !b->HasMember("time_unit")) return {};
    const std::string unit = (*b)["time_unit"].GetString();
    const double scale = unit == "ns" ? 1e-9 : unit == "us" ? 1e-6 : unit == "ms" ? 1e-3 : 1.0;
    return (*b)[member].GetDouble()*scale;
}

std::optional<double> ratio(std::optional<double> a, std::optional<double> b) {
    if(!a || !b || *b == 0.0) return {};
    return *a / *b;
}

std::optional<double> scaled(std::optional<double> a, double by) {
    if(!a) return {};
    return *a*by;
}

const std::string Image = "imagecompression:tiledCompression/iterations:1/real_time";

const Goal Goals[]{
    {"Import of a 2048^2 image (cold compile) over basisu on its own threads",
        [](const Results& r, Clock) { return counter(r, Image, "coldOverBasisu"); }, true, 1.0, "x", false},
    {"Workers busy while the tiles of that image encode",
        [](const Results& r, Clock) { return counter(r, Image, "workersBusy"); }, false, 0.9, "", false},
    {"Tiled compression over one single-threaded encoder run",
        [](const Results& r, Clock) { return counter(r, Image, "tiledOverSingleRun"); }, true, 1.0, "x", false},
    {"Re-encode after a 64^2 edit over cold",
        [](const Results& r, Clock) { return counter(r, Image, "regionOverCold"); }, true, 0.05, "x", false},
    {"Font glyph data over FreeType decomposition, ASCII",
        [](const Results& r, Clock c) { return ratio(seconds(r, "fonts:Build/cjk:0", c), seconds(r, "fonts:FreeTypeDecompose/cjk:0", c)); }, true, 3.0, "x"},
    {"Font glyph data over FreeType decomposition, CJK",
        [](const Results& r, Clock c) { return ratio(seconds(r, "fonts:Build/cjk:1", c), seconds(r, "fonts:FreeTypeDecompose/cjk:1", c)); }, true, 3.0, "x"},
    {"Open 10k objects over plain RapidJSON parse",
        [](const Results& r, Clock c) { return ratio(seconds(r, "projectload:LoadProject/10000", c), seconds(r, "projectload:PlainRapidJsonParse/10000", c)); }, true, 1.3, "x"},
    {"Open 60k objects over plain RapidJSON parse",
        [](const Results& r, Clock c) { return ratio(seconds(r, "projectload:LoadProject/60000", c), seconds(r, "projectload:PlainRapidJsonParse/60000", c)); }, true, 1.3, "x"},
    {"First compile per object, 60k over 1k",
        [](const Results& r, Clock c) { return ratio(scaled(seconds(r, "compileobjects:firstCompile/60000", c), 1.0/60000), scaled(seconds(r, "compileobjects:firstCompile/1000", c), 1.0/1000)); }, true, 1.2, "x"},
    {"First compile per object at 60k, microseconds",
        [](const Results& r, Clock c) { return scaled(seconds(r, "compileobjects:firstCompile/60000", c), 1e6/60000); }, true, 2.0, " us"},
    {"Scene import over Assimp ReadFile",
        [](const Results& r, Clock c) { return ratio(seconds(r, "sceneimport:FirstImport", c), seconds(r, "sceneimport:AssimpReadFile", c)); }, true, 1.2, "x"},
    /* Bytes per iteration over the time of one */
    {"Shader preprocessor, MB/s",
        [](const Results& r, Clock c) { return scaled(ratio(scaled(counter(r, "shaderpreprocessor:Process", "bytes_per_second"), seconds(r, "shaderpreprocessor:Process", Clock::Cpu).value_or(0.0)), seconds(r, "shaderpreprocessor:Process", c)), 1e-6); }, false, 300.0, ""},
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

    /* Met or not by the wall clock, what a user waits for; the CPU time of
       the benchmark's thread beside it */
    std::printf("\n%-72s %12s %12s %9s  %s\n", "Measure", "Wall", "CPU", "Goal", "Met");
    std::size_t met = 0, measured = 0;
    auto text = [](std::optional<double> v, const char* unit) {
        return v ? fmt::format("{:.3f}{}", *v, unit) : std::string{"missing"};
    };
    for(const Goal& g: Goals) {
        const std::optional<double> wall = g.figure(results, Clock::Wall);
        const std::optional<double> cpu = g.timed ? g.figure(results, Clock::Cpu) : std::nullopt;
        const std::string goal = fmt::format("{}{:g}{}", g.atMost ? "<= " : ">= ", g.goal, g.unit);
        const char* verdict = "-";
        if(wall) {
            const bool ok = g.atMost ? *wall <= g.goal : *wall >= g.goal;
            ++measured;
            met += ok;
            verdict = ok ? "yes" : "NO";
        }
        std::printf("%-72s %12s %12s %9s  %s\n", g.measure, text(wall, g.unit).c_str(),
            g.timed ? text(cpu, g.unit).c_str() : "-", goal.c_str(), verdict);
    }
    std::printf("%zu of %zu measured goals met\n", met, measured);
    return 0;
}
