#include "Summary.h"

#include <algorithm>
#include <thread>

#include <fmt/format.h>
#include <rapidjson/document.h>

#include "Base/Path.h"
#include "Editor/Json.h"
#include "Editor/ZandelleEditor.h"
#include "AssetCompiler/AssetCompiler.h"
#include "Engine/DynamicSceneGraph.h"

namespace ZandelleEngine { namespace Cli {

SummaryData collectSummary(ZandelleEditor& editor, std::string startedAt) {
    SummaryData s;
    s.startedAt = std::move(startedAt);
    s.cores = std::thread::hardware_concurrency();
    s.workers = editor.jobSystem ? editor.jobSystem->workerCount() : 0;
    const RunRecord& record = *editor.runRecord;
    s.warnings = record.lineCount(LogLevel::Warning);
    s.errors = record.lineCount(LogLevel::Error);
    s.logLines = record.logLines();
    s.spans = record.spans();
    s.compressedImages = record.images();
    using R = RunRecord;
    s.caches = {{"tiles", "local", record.cache(R::CacheKind::Tiles, R::CacheLevel::Local)},
                {"fonts", "local", record.cache(R::CacheKind::Fonts, R::CacheLevel::Local)}};
    if(editor.assetCompiler && editor.assetCompiler->compileCache.shared()) {
        const CacheCounts counts = editor.assetCompiler->compileCache.counts();
        auto figures = [&](CacheKind kind) {
            const CacheCounts::Counts& c = counts.at(kind, CacheLevel::Shared);
            return CacheFigures{c.hits, c.misses, c.writes};
        };
        s.caches.push_back({"tiles", "shared", figures(CacheKind::Tile)});
        s.caches.push_back({"fonts", "shared", figures(CacheKind::Font)});
    }
    ProjectFile& file = editor.data().projectFile();
    s.name = std::string{file["settings/project/name"].asString()};
    s.path = editor.data().project().projectFilePath();
    const std::vector<std::int32_t> version = file["settings/project/version"].asIntArray();
    for(std::size_t i = 0; i != 4 && i != version.size(); ++i) s.version[i] = version[i];
    for(const std::string& section: ProjectFile::sectionNames())
        s.records.emplace_back(section, file.section(section)->size());
    DynamicSceneGraph& scene = editor.data().scene().main();
    s.objects = scene.objectCount();
    for(std::size_t i = 0; i != scene.componentManagerCount(); ++i)
        s.components.emplace_back(scene.componentManager(i).name(), scene.componentManager(i).size());
    /* Slot 0 of the compiled arrays is the "none" placeholder */
    s.meshes = editor.data().scene().meshes.size() - 1;
    s.skins = editor.data().scene().skins.size() - 1;
    s.shaders = editor.data().scene().shaders.size() - 1;
    s.pipelines = editor.data().scene().pipelines.size() - 1;
    s.materials = editor.data().scene().materials.size() - 1;
    s.fonts = scene.fonts().filledCount();
    s.languages = scene.languages().languages.size() - 1;
    if(editor.assetCompiler) {
        s.fontsBuilt = editor.assetCompiler->fontsBuilt.load();
        s.fontsFromCache = editor.assetCompiler->fontsFromCache.load();
        for(const CompileStepTime& t: editor.assetCompiler->lastCompileTimes) s.stepSeconds.emplace_back(t.step->name, t.seconds);
        s.imagesCompressed = editor.assetCompiler->imagesCompressed.load();
        s.tilesEncoded = editor.assetCompiler->tilesEncoded.load();
        s.tilesFromCache = editor.assetCompiler->tilesFromCache.load();
        const CompileCache& cache = editor.assetCompiler->compileCache;
        const CacheCounts counts = cache.counts();
        const CacheCounts::Counts& tiles = counts.at(CacheKind::Tile, CacheLevel::Shared);
        const CacheCounts::Counts& fonts = counts.at(CacheKind::Font, CacheLevel::Shared);
        if(cache.shared()) s.sharedCache = cache.shared()->url().display();
        s.tilesFromSharedCache = tiles.hits;
        s.fontsFromSharedCache = fonts.hits;
        s.sharedCacheHits = tiles.hits + fonts.hits;
        s.sharedCacheMisses = tiles.misses + fonts.misses;
        s.sharedCacheWrites = tiles.writes + fonts.writes;
        s.sharedCacheErrors = counts.sharedErrors + tiles.rejected + fonts.rejected;
        s.sharedCacheSeconds = counts.sharedSeconds;
        /* Keys that failed to compile stay in the index with id 0 */
        auto compiled = [](const ResourceIndex::Map& map) {
            return std::size_t(std::count_if(map.begin(), map.end(), [](const auto& entry) { return entry.second != 0; }));
        };
        s.images = compiled(editor.assetCompiler->resourceIndex.images);
        for(const AssetCompiler::ImagePlugins& p: editor.assetCompiler->imagePlugins) {
            const BasisRuns encoder = p.encoder ? p.encoder->runs() : BasisRuns{};
            const BasisRuns transcoder = p.importer ? p.importer->runs() : BasisRuns{};
            s.encoderRuns.runs += encoder.runs;
            s.encoderRuns.seconds += encoder.seconds;
            s.transcoderRuns.runs += transcoder.runs;
            s.transcoderRuns.seconds += transcoder.seconds;
        }
        s.textures = compiled(editor.assetCompiler->resourceIndex.textures);
    }
    s.animations = editor.data().scene().animations.size() - 1;
    for(const auto& counter: editor.data().scene().assetTypeGenerations) s.assetTypeCounters.push_back(counter.load());
    return s;
}

namespace {

/* Unsigned members, in the order given */
void addCounts(JsonValue& object, std::initializer_list<std::pair<const char*, std::uint64_t>> counts,
    JsonDocument::AllocatorType& a)
{
    for(const auto& [name, count]: counts) object.AddMember(rapidjson::StringRef(name), JsonValue{count}, a);
}

}

std::string summaryToJson(const SummaryData& s) {
    JsonDocument d;
    d.SetObject();
    auto& a = d.GetAllocator();
    JsonValue project{rapidjson::kObjectType};
    project.AddMember("name", JsonValue{s.name.c_str(), a}, a);
    project.AddMember("path", JsonValue{s.path.c_str(), a}, a);
    JsonValue version{rapidjson::kArrayType};
    for(std::int32_t v: s.version) version.PushBack(v, a);
    project.AddMember("version", version, a);
    d.AddMember("project", project, a);
    JsonValue records{rapidjson::kObjectType};
    for(const auto& r: s.records) records.AddMember(JsonValue{r.first.c_str(), a}, JsonValue{std::uint64_t(r.second)}, a);
    d.AddMember("records", records, a);
    JsonValue counts{rapidjson::kObjectType};
    counts.AddMember("objects", JsonValue{std::uint64_t(s.objects)}, a);
    JsonValue components{rapidjson::kObjectType};
    for(const auto& c: s.components) components.AddMember(JsonValue{c.first.c_str(), a}, JsonValue{std::uint64_t(c.second)}, a);
    counts.AddMember("components", components, a);
    addCounts(counts, {{"meshes", s.meshes}, {"skins", s.skins}, {"shaders", s.shaders}, {"pipelines", s.pipelines},
        {"materials", s.materials}, {"fonts", s.fonts}, {"languages", s.languages}, {"animations", s.animations},
        {"images", s.images}, {"textures", s.textures}}, a);
    d.AddMember("counts", counts, a);
    JsonValue jobs{rapidjson::kObjectType};
    addCounts(jobs, {{"fontsBuilt", s.fontsBuilt}, {"fontsFromCache", s.fontsFromCache},
        {"imagesCompressed", s.imagesCompressed}, {"tilesEncoded", s.tilesEncoded}, {"tilesFromCache", s.tilesFromCache},
        {"tilesFromSharedCache", s.tilesFromSharedCache}, {"fontsFromSharedCache", s.fontsFromSharedCache},
        {"sharedCacheWrites", s.sharedCacheWrites}, {"sharedCacheErrors", s.sharedCacheErrors}}, a);
    d.AddMember("jobs", jobs, a);
    JsonValue counters{rapidjson::kArrayType};
    for(std::uint32_t c: s.assetTypeCounters) counters.PushBack(c, a);
    d.AddMember("assetTypeCounters", counters, a);
    JsonValue caches{rapidjson::kObjectType};
    for(const SummaryData::CacheRow& row: s.caches) {
        if(!caches.HasMember(row.kind)) caches.AddMember(rapidjson::StringRef(row.kind), JsonValue{rapidjson::kObjectType}, a);
        JsonValue level{rapidjson::kObjectType};
        addCounts(level, {{"hits", row.figures.hits}, {"misses", row.figures.misses}, {"writes", row.figures.writes}}, a);
        caches[row.kind].AddMember(rapidjson::StringRef(row.level), level, a);
    }
    d.AddMember("caches", caches, a);
    d.AddMember("warnings", JsonValue{std::uint64_t(s.warnings)}, a);
    d.AddMember("errors", JsonValue{std::uint64_t(s.errors)}, a);
    JsonValue timings{rapidjson::kObjectType};
    timings.AddMember("loadSeconds", s.loadSeconds, a);
    if(!s.stepSeconds.empty()) {
        JsonValue steps{rapidjson::kObjectType};
        for(const auto& step: s.stepSeconds) steps.AddMember(JsonValue{step.first.c_str(), a}, JsonValue{step.second}, a);
        timings.AddMember("steps", steps, a);
    }
    timings.AddMember("jobsSeconds", s.jobsSeconds, a);
    if(!s.sharedCache.empty()) timings.AddMember("sharedCacheSeconds", s.sharedCacheSeconds, a);
    if(s.reportSeconds > 0.0) timings.AddMember("reportSeconds", s.reportSeconds, a);
    auto runs = [&](const char* name, const BasisRuns& r, const std::optional<double>& startup) {
        if(!r.runs) return;
        JsonValue object{rapidjson::kObjectType};
        object.AddMember("runs", JsonValue{r.runs}, a);
        object.AddMember("seconds", r.seconds, a);
        if(startup) object.AddMember("startupSeconds", *startup, a);
        timings.AddMember(rapidjson::StringRef(name), object, a);
    };
    runs("encoder", s.encoderRuns, s.encoderStartupSeconds);
    runs("transcoder", s.transcoderRuns, {});
    d.AddMember("timings", timings, a);
    return Json::toString(d, 0).value_or("{}");
}

std::string summaryToText(const SummaryData& s) {
    std::string out = fmt::format("Project {} at {}, version {}.{}.{}{}\n", s.name.empty() ? "(unnamed)" : s.name, s.path,
        s.version[0], s.version[1], s.version[2], s.version[3] ? fmt::format(" prerelease {}", s.version[3]) : "");
    out += "Records:";
    for(const auto& r: s.records) out += fmt::format(" {} {}", r.first, r.second);
    out += fmt::format("\nCompiled: objects {}, meshes {}, skins {}, animations {}; components:", s.objects, s.meshes, s.skins, s.animations);
    for(const auto& c: s.components) out += fmt::format(" {} {}", c.first, c.second);
    out += fmt::format("\nWarnings {}, errors {}\nLoaded in {:.3f} s\n", s.warnings, s.errors, s.loadSeconds);
    return out;
}

std::string stepTimesToText(const SummaryData& s) {
    std::string out;
    for(const auto& step: s.stepSeconds) out += fmt::format("{} {:.1f} ms\n", step.first, step.second*1000.0);
    if(!s.sharedCache.empty())
        out += fmt::format("shared cache {:.1f} ms ({}, {} hits, {} misses, {} writes, {} errors)\n", s.sharedCacheSeconds*1000.0,
            s.sharedCache, s.sharedCacheHits, s.sharedCacheMisses, s.sharedCacheWrites, s.sharedCacheErrors);
    if(s.reportSeconds > 0.0) out += fmt::format("report {:.1f} ms\n", s.reportSeconds*1000.0);
    /* The runs' wall times overlap when several workers encode */
    if(s.encoderRuns.runs) {
        out += fmt::format("encoder {} runs {:.1f} s", s.encoderRuns.runs, s.encoderRuns.seconds);
        if(s.encoderStartupSeconds) out += fmt::format(", start-up {:.1f} ms a run, {:.2f} s in all",
            *s.encoderStartupSeconds*1000.0, *s.encoderStartupSeconds*double(s.encoderRuns.runs));
        out += "\n";
    }
    if(s.transcoderRuns.runs)
        out += fmt::format("transcoder {} runs {:.1f} s\n", s.transcoderRuns.runs, s.transcoderRuns.seconds);
    return out;
}

}}
