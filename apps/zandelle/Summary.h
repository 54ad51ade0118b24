#pragma once
// The summary that open, compile and demo print: one structure, as text or
// as one JSON object. Members of subsystems this build does not compile are
// left out.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Engine/Basis.h"
#include "Engine/RunRecord.h"

namespace ZandelleEngine {
class ZandelleEditor;
}

namespace ZandelleEngine { namespace Cli {

struct SummaryData {
    std::string name, path;
    std::array<std::int32_t, 4> version{};
    /** (section, records in the document) */
    std::vector<std::pair<std::string, std::size_t>> records;
    /** Compiled runtime data: objects of the main scene, live components per
        manager name (in manager order), compiled meshes, skins and
        animations */
    std::size_t objects = 0, meshes = 0, skins = 0, animations = 0;
    /** Compiled shaders (vertex and fragment), pipelines and materials */
    std::size_t shaders = 0, pipelines = 0, materials = 0;
    std::vector<std::pair<std::string, std::size_t>> components;
    /** Fonts holding glyph data, compiled languages; fonts the font jobs
        built and those they took from the cache */
    std::size_t fonts = 0, languages = 0, fontsBuilt = 0, fontsFromCache = 0;
    /** Compiled images and textures; images the compression jobs finished,
        tiles they encoded and tiles they took from the cache */
    std::size_t images = 0, textures = 0, imagesCompressed = 0, tilesEncoded = 0, tilesFromCache = 0;
    /** The shared cache level, named without its password (empty without
        one); tiles and fonts it gave, entries written to it, failed
        commands plus bad entries, and the time spent waiting for it */
    std::string sharedCache;
    std::size_t tilesFromSharedCache = 0, fontsFromSharedCache = 0, sharedCacheWrites = 0, sharedCacheErrors = 0,
        sharedCacheHits = 0, sharedCacheMisses = 0;
    double sharedCacheSeconds = 0.0;
    std::vector<std::uint32_t> assetTypeCounters;
    /** Warning and error lines of the run, and the same grouped by text */
    std::size_t warnings = 0, errors = 0;
    std::vector<RunLogLine> logLines;
    /** What each cache answered: kind ("tiles", "fonts"), level ("local")
        and its figures, for the levels this build has */
    struct CacheRow {
        const char* kind;
        const char* level;
        CacheFigures figures;
    };
    std::vector<CacheRow> caches;
    /** The run's compile steps and background jobs on its timeline, and the
        tiles of each compressed image */
    std::vector<RunSpan> spans;
    std::vector<ImageTiles> compressedImages;
    /** When the run started ("2026-12-07 01:12:08 UTC"), the machine's
        hardware threads and the job system's workers */
    std::string startedAt;
    unsigned cores = 0;
    int workers = 0;
    double loadSeconds = 0.0;
    /** Time of each compile step of the load's full compile, in step order;
        time from the end of the finishing job until every job ended */
    std::vector<std::pair<std::string, double>> stepSeconds;
    double jobsSeconds = 0.0;
    /** Time the HTML report took to write; 0 without one */
    double reportSeconds = 0.0;
    /** Runs of the Basis executable by the image jobs, to encode tiles and
        to transcode them, over all workers; what one run costs beyond its
        tiles (measured with --timings only, when tiles were encoded) */
    BasisRuns encoderRuns, transcoderRuns;
    std::optional<double> encoderStartupSeconds;
};

/** The summary of @p editor's project and run record; @p startedAt is when
    the run began */
SummaryData collectSummary(ZandelleEditor& editor, std::string startedAt = {});
std::string summaryToJson(const SummaryData& summary);
std::string summaryToText(const SummaryData& summary);
/** One line per compile step: "objects 12.4 ms"; then, with a shared
    cache, "shared cache 3.1 ms (redis://HOST:PORT/DB, ...)"; then, when
    the image jobs ran the Basis executable, its runs and their start-up
    cost */
std::string stepTimesToText(const SummaryData& summary);

}}
