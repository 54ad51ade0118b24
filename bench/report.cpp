// The HTML report of a large run: a 60,000-object project with 20 images of
// 512 x 512 pixels (5 tiles each), compiled by the command line with a cold
// tile cache and again with a warm one, each writing its report. Each phase
// runs once; the figures to quote are the report's time over the compile's
// (goal: under a tenth) and the report's size (goal: under 5 MB).

#include <filesystem>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include "Base/Format.h"
#include "Base/Path.h"
#include "Base/String.h"
#include "Devices/Command.h"
#include "Engine/ImageTools.h"
#include "support/GeneratedProject.h"
#include "support/Photo.h"

using namespace ZandelleEngine;

namespace {

std::string q(const std::string& s) { return String::shellQuote(s); }

void reportOfALargeRun(benchmark::State& state) {
    const std::string root = Path::join(std::filesystem::temp_directory_path().string(), "zandelle-bench-report");
    std::filesystem::remove_all(root);
    Path::make(root);
    const std::string project = Path::join(root, "Big.zdp");
    Path::writeAtomic(project, Generated::project(60000, "[1, 1, 6, 1]"));
    std::string images;
    for(int i = 0; i != 20; ++i) {
        Trade::ImageData image = Generated::photo(512);
        for(std::size_t p = 0; p < image.data.size(); p += 4) image.data[p] = std::uint8_t(image.data[p] + 11*i);
        const std::string path = Path::join(root, format("image{}.png", i));
        ImageTools::writePng(path, image);
        images += " " + q(path);
    }
    const std::string zandelle = "APPDATA=" + q(Path::join(root, "appdata")) + " " + q(ZANDELLE_BINARY_DIR "/bin/zandelle");
    if(!runCommand(zandelle + " import --quiet " + q(project) + images + " 2>/dev/null")) {
        state.SkipWithError("the import failed");
        return;
    }
    std::filesystem::remove_all(Path::join(root, "cache"));

    for(auto _: state) {
        for(const char* phase: {"cold", "warm"}) {
            const std::string report = Path::join(root, format("{}.html", phase));
            const CommandResult r = runCommand(zandelle + " compile --quiet --json " + q(project) + " --report " + q(report) + " 2>/dev/null");
            rapidjson::Document summary;
            if(r) summary.Parse(r.output().c_str());
            if(!r || summary.HasParseError()) {
                state.SkipWithError("the compile failed");
                return;
            }
            const double compile = summary["timings"]["loadSeconds"].GetDouble();
            const double written = summary["timings"]["reportSeconds"].GetDouble();
            const std::string name{phase};
            state.counters[name + "CompileSeconds"] = compile;
            state.counters[name + "ReportSeconds"] = written;
            state.counters[name + "ReportOverCompile"] = written/compile;
            state.counters[name + "ReportMB"] = double(std::filesystem::file_size(report))/1e6;
            state.counters[name + "TilesEncoded"] = summary["jobs"]["tilesEncoded"].GetDouble();
        }
    }
    std::filesystem::remove_all(root);
}

}

BENCHMARK(reportOfALargeRun)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
