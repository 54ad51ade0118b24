// The shared level of the tile cache on a redis-server of the benchmark's own:
// machine A compiles a 2048 x 2048 photo (85 tiles) with both cache levels
// cold and fills the server; machine B, a fresh project folder, compiles the
// same image from the warm server, then again from its own warm cache folder.
// Each phase runs once; quote the ratios of one run:
//   sharedOverCold   B's compile from the server over A's cold compile (goal <= 0.1)
//   sharedOverLocal  B's compile from the server over its warm local compile (goal <= 1.5)
//   serverBytesPerTile  growth of the server's used_memory per tile written

#include <chrono>

#include <benchmark/benchmark.h>

#include "AssetCompiler/AssetCompiler.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Basis.h"
#include "Support/RedisServer.h"
#include "support/Photo.h"
#include "support/ScratchProject.h"

using namespace ZandelleEngine;

namespace {

struct Machine {
    explicit Machine(const std::string& url) {
        editor.assetCompiler->compileCache.configureShared(url, editor.jobSystem->workerCount());
    }
    /* Compiles the photo and waits for its jobs; seconds */
    double compile(const Trade::ImageData& image) {
        ProjectFile& file = editor.data().projectFile();
        file["images/photo/name"].setString("photo");
        file["images/photo/compression"].setString("etc1s");
        file["images/photo/link/file"].setString("photo.png");
        file["images/photo/link/name"].setString("photo");
        editor.data().resources().images.add(FileLink{"photo.png", "photo"}, image);
        const auto start = std::chrono::steady_clock::now();
        editor.assetCompiler->compile("images", {"photo"});
        editor.jobSystem->waitForIdle();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    ZandelleEditor editor{2};
    Generated::ScratchProject scratch{editor};
};

void sharedTileCache(benchmark::State& state) {
    if(!BasisImageConverter{}.available()) {
        state.SkipWithError("no Basis encoder installed");
        return;
    }
    Testing::RedisServer redis;
    if(!redis.error().empty()) {
        state.SkipWithError(redis.error().c_str());
        return;
    }
    const Trade::ImageData image = Generated::photo(2048);
    for(auto _: state) {
        const long long memoryBefore = redis.info("used_memory");
        Machine a{redis.url()};
        const double cold = a.compile(image);
        const CacheCounts written = a.editor.assetCompiler->compileCache.counts();
        const std::uint32_t tiles = written.at(CacheKind::Tile, CacheLevel::Shared).writes;
        const long long memoryAfter = redis.info("used_memory");

        Machine b{redis.url()};
        const double shared = b.compile(image);
        const double local = b.compile(image);
        const CacheCounts read = b.editor.assetCompiler->compileCache.counts();

        state.counters["coldSeconds"] = cold;
        state.counters["sharedSeconds"] = shared;
        state.counters["localSeconds"] = local;
        state.counters["sharedOverCold"] = shared/cold;
        state.counters["sharedOverLocal"] = shared/local;
        state.counters["tilesWritten"] = tiles;
        state.counters["tilesFromShared"] = read.at(CacheKind::Tile, CacheLevel::Shared).hits;
        state.counters["encodesOnB"] = b.editor.assetCompiler->tilesEncoded.load();
        state.counters["serverBytesPerTile"] = tiles ? double(memoryAfter - memoryBefore)/tiles : 0.0;
    }
}

}

BENCHMARK(sharedTileCache)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
