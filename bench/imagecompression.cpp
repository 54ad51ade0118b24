// Image compression of one 2048 x 2048 photo-like image: the tiled path (85
// tiles over four levels, encoded by the job workers) against one encoder run
// on the whole image with the same settings, and against the encoder making
// its own mip levels on its own threads (what importing the image costs
// without tiles); then the same compile with a warm tile cache; then after
// changing a 64 x 64 region. Each phase runs once (a cold compile takes tens
// of seconds); the ratios are the figures to quote. ZANDELLE_TILE_BATCH sets
// the tiles per encoder run (0 or unset: the compiler's own choice), to
// compare batch sizes.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <benchmark/benchmark.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Basis.h"
#include "Engine/RunRecord.h"
#include "Tools/ProjectFiles.h"
#include "support/Photo.h"
#include "support/ScratchProject.h"

using namespace ZandelleEngine;

namespace {

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void tiledCompression(benchmark::State& state) {
    BasisImageConverter single;
    if(!single.available()) {
        state.SkipWithError("no Basis encoder installed");
        return;
    }
    ZandelleEditor editor{2};
    const Generated::ScratchProject scratch{editor};
    if(scratch.root.empty()) {
        state.SkipWithError("no temporary directory");
        return;
    }
    AssetCompiler& compiler = *editor.assetCompiler;
    if(const char* batch = std::getenv("ZANDELLE_TILE_BATCH")) compiler.tileBatchSize = std::strtoul(batch, nullptr, 10);
    Trade::ImageData image = Generated::photo(2048);
    editor.data().projectFile()["images/photo/name"].setString("photo");
    editor.data().projectFile()["images/photo/compression"].setString("etc1s");
    editor.data().projectFile()["images/photo/link/file"].setString("photo.png");
    editor.data().projectFile()["images/photo/link/name"].setString("photo");

    auto compile = [&]() {
        editor.data().resources().images.add(FileLink{"photo.png", "photo"}, image);
        const auto start = std::chrono::steady_clock::now();
        compiler.compile("images", {"photo"});
        editor.jobSystem->waitForIdle();
        return seconds(start);
    };

    for(auto _: state) {
        single.setValue("compression_level", "2");
        single.setValue("threads", "1");
        single.setValue("y_flip", "true");
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(single.convertToData(image));
        const double singleRun = seconds(start);

        /* The encoder alone, with its own threads and mip levels */
        BasisImageConverter own;
        own.setValue("compression_level", "2");
        own.setValue("y_flip", "true");
        own.setValue("mip_gen", "true");
        own.setValue("mip_srgb", "true");
        start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(own.convertToData(image));
        const double ownThreads = seconds(start);

        const std::size_t spansBefore = editor.runRecord->spans().size();
        const double cold = compile();
        const std::uint32_t coldEncodes = compiler.tilesEncoded;
        /* How busy the workers were from the first tile batch to the last */
        const std::vector<RunSpan> spans = editor.runRecord->spans();
        double first = 1e30, last = 0.0, busy = 0.0;
        for(std::size_t i = spansBefore; i < spans.size(); ++i) if(spans[i].kind == RunSpanKind::Tiles) {
            first = std::min(first, spans[i].start);
            last = std::max(last, spans[i].end);
            busy += spans[i].end - spans[i].start;
        }
        const double workersBusy = last > first ? busy/((last - first)*editor.jobSystem->workerCount()) : 0.0;
        const double warm = compile();
        const std::uint32_t warmEncodes = compiler.tilesEncoded - coldEncodes;

        /* A 64 x 64 region in the middle of tile (3, 3) of level 0 */
        for(int y = 800; y != 864; ++y) for(int x = 800; x != 864; ++x) image.data[(std::size_t(y)*2048 + x)*4] ^= 0xff;
        const double region = compile();

        state.counters["singleRunSeconds"] = singleRun;
        state.counters["coldSeconds"] = cold;
        state.counters["tiledOverSingleRun"] = cold/singleRun;
        state.counters["basisuSeconds"] = ownThreads;
        state.counters["coldOverBasisu"] = cold/ownThreads;
        state.counters["workersBusy"] = workersBusy;
        state.counters["coldEncodes"] = coldEncodes;
        state.counters["warmEncodes"] = warmEncodes;
        state.counters["warmOverCold"] = warm/cold;
        state.counters["regionEncodes"] = compiler.tilesEncoded - coldEncodes - warmEncodes;
        state.counters["regionOverCold"] = region/cold;
    }
}

}

BENCHMARK(tiledCompression)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
