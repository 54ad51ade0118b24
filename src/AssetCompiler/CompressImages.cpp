#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include <xxhash.h>

#include "Base/Format.h"
#include "Base/Log.h"
#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Engine/Basis.h"
#include "Engine/EnvironmentConvolution.h"
#include "Engine/ImageTools.h"

namespace ZandelleEngine {

namespace {

constexpr int TileSize = 256;
constexpr int TileBorder = 2;
/* Most tiles one run of the Basis executable takes: a cancelled job still
   finishes its batch, and a worker that took a large batch late leaves the
   others idle */
constexpr std::size_t MaxTileBatch = 8;
/* Most cached tiles one run of the importer checks */
constexpr std::size_t MaxCacheChunk = 32;

/* Solid magenta 4x4 blocks of the four GPU formats, in memory order */
const char* placeholderBlock(Trade::CompressedPixelFormat format) {
    switch(format) {
        case Trade::CompressedPixelFormat::Astc4x4RGBAUnorm: return "\xfc\xfd\xff\xff\xff\xff\xff\xff\xff\xff\x00\x00\xff\xff\xff\xff";
        case Trade::CompressedPixelFormat::Bc3RGBAUnorm: return "\x00\xff\x49\x92\x24\x49\x92\x24\x1f\xf8\x1f\xf8\xaa\xaa\xaa\xaa";
        case Trade::CompressedPixelFormat::Bc7RGBAUnorm: return "\x04\xbe\xff\xfe\x7b\xe0\x81\x07\xfe\xfb\xef\xbf\x07\x00\x00\x00";
        case Trade::CompressedPixelFormat::Etc2RGBA8Unorm: return "\xff\x00\x00\x00\x00\x00\x00\x00\x7e\x81\xfb\xff\x01\xff\xe0\x3f";
    }
    return nullptr;
}

Trade::CompressedImageData placeholderTile(Trade::CompressedPixelFormat format, Vector2i size) {
    Trade::CompressedImageData out{format, size, {}};
    const std::size_t blocks = std::size_t((size.x + 3)/4)*((size.y + 3)/4);
    out.data.resize(blocks*16);
    for(std::size_t i = 0; i != blocks; ++i) std::memcpy(out.data.data() + 16*i, placeholderBlock(format), 16);
    return out;
}

std::string hashName(const void* data, std::size_t size) {
    const XXH128_hash_t hash = XXH3_128bits(data, size);
    return format("{:016x}{:016x}", hash.low64, hash.high64);
}

}

struct AssetCompiler::PreviousTiles {
    struct Tile {
        std::vector<char> bytes;
        std::optional<Trade::CompressedImageData> transcoded;
    };
    std::unordered_map<std::string, Tile> tiles;
};

void AssetCompiler::keepPreviousTiles(const std::string& key, const EditorSceneData::CompiledImage& slot) {
    _previousTiles.erase(key);
    const std::optional<Data::ImageDataView> view = Data::readImageData(slot.imageData);
    if(!view || !view->tiled || view->names.size() != slot.basisTiles.size()) return;
    /* Blocks only when every tile has them; placeholders have no name */
    const bool blocks = slot.compressedTiles.size() == view->names.size();
    auto previous = std::make_shared<PreviousTiles>();
    for(std::size_t i = 0; i != view->names.size(); ++i) {
        if(view->names[i].empty() || slot.basisTiles[i].empty()) continue;
        previous->tiles.emplace(view->names[i], PreviousTiles::Tile{slot.basisTiles[i],
            blocks ? std::optional<Trade::CompressedImageData>{slot.compressedTiles[i]} : std::nullopt});
    }
    if(!previous->tiles.empty()) _previousTiles.emplace(key, std::move(previous));
}

/* What one image's job chain works on */
struct AssetCompiler::ImageJob {
    /* The record's key and name, as the run record shows them */
    std::string key, name;
    Data::Id id;
    /* Revision of the image slot when the chain started */
    std::uint32_t revision;
    /* The project's cache directory: the project belongs to the owning
       thread while the chain runs */
    std::string cacheDirectory;
    bool uastc;
    /* Probe levels to convolve before compressing (5 specular, 1
       irradiance); 0 for plain images and probes read from the cache */
    int probeLevels = 0;
    /* Their sidecar file, and what it is to hold: the kind, format, size
       and hash of the source pixels */
    std::string probeSidecar, probeSource;
    std::vector<Trade::ImageData> levels;
    std::shared_ptr<Progress> progress;
    std::optional<ProgressReference> reference;
    /* The tiles of the image's previous compile; null when it had none */
    std::shared_ptr<const PreviousTiles> previous;
    /* Progress steps this chain added to the total and counted so far */
    std::uint32_t progressShare = 0;
    std::atomic<std::uint32_t> progressCounted{0};
    /* Set by the one that hands the chain's end over; the workers that
       encode its tiles may be several */
    std::atomic<bool> finished{false};
    /* The image's tiles while workers encode them */
    std::shared_ptr<TileWork> tiles;

    void step(std::uint32_t count = 1) {
        progressCounted += count;
        progress->done += count;
    }
};

struct AssetCompiler::Tile {
    /* Cut from its level only while its batch is encoded */
    Trade::ImageData image;
    /* Its place in the image's tile list, its level and column and row
       there, its size with the border, its cache name and cache file */
    std::size_t index;
    std::size_t level;
    int x, y;
    Vector2i size;
    std::string name, path;
    /* The Basis file, and its transcoded blocks with a compressed target;
       opened is false when neither cache nor encoder gave a usable file */
    std::optional<std::vector<char>> bytes;
    bool opened = false;
    /* The cache file holds the Basis file */
    bool cached = false;
    std::optional<Trade::CompressedImageData> transcoded;
    TileFate fate = TileFate::Failed;
    /* What to report once the image's tiles are put together, so that the
       lines come in tile order whichever worker encoded the tile: the
       cache file did not load, the encoder's reason for a tile that did
       not encode or transcode, the cache file could not be written */
    bool cacheRejected = false, writeFailed = false;
    /* The shared cache level's entry was bad: writing replaces it */
    bool sharedRejected = false;
    std::optional<std::string> failure;
    /* Taken from the cache or encoded (or failed to) */
    bool done = false;
};

/* The tiles of one image, shared by the workers that encode them. Each
   worker that joins takes the next batch of tiles nobody took until none is
   left or the job is cancelled; the last one to leave puts the image
   together. */
struct AssetCompiler::TileWork {
    /* Tiles with distinct cache names, in tile order; for each tile of the
       image, the distinct tile it equals */
    std::vector<Tile> distinct;
    std::vector<std::size_t> order;
    std::vector<ImageTiles::Level> levels;
    std::mutex mutex;
    /* Distinct tiles the cache did not have, in the order they were found */
    std::vector<Tile*> misses;
    /* The first distinct tile nobody checked in the cache, the first miss
       nobody took to encode, the workers inside */
    std::size_t nextChecked = 0, nextMiss = 0;
    int active = 0;
    bool cancelled = false, assembled = false;
};

void AssetCompiler::initializeImageCompression() {
    ZandelleEditor& e = editor();
    switch(e.compressedTextureFormat) {
        case 7: BasisImporter::setGlobalValue("format", "Bc3RGBA"); break;
        case 15: BasisImporter::setGlobalValue("format", "Bc7RGBA"); break;
        case 25: BasisImporter::setGlobalValue("format", "Etc2RGBA"); break;
        case 27: BasisImporter::setGlobalValue("format", "Astc4x4RGBA"); break;
        default: BasisImporter::setGlobalValue("format", "RGBA");
    }
    /* Every job was cancelled and drained before the editor data was reset */
    pendingImageJobs = 0;
    _previousTiles.clear();

    addImagePluginSets();
}

void AssetCompiler::workersChanged() {
    if(!imagePlugins.empty()) addImagePluginSets();
}

void AssetCompiler::addImagePluginSets() {
    /* One set per worker and one for the owning thread */
    ZandelleEditor& e = editor();
    const std::size_t sets = std::size_t(std::max(e.jobSystem ? e.jobSystem->workerCount() : 0, 1)) + 1;
    imagePlugins.resize(std::max(imagePlugins.size(), sets));
    for(ImagePlugins& p: imagePlugins) {
        if(!p.resizer) p.resizer = std::make_unique<ImageTools::StbResizeImageConverter>();
        if(!p.encoder) {
            p.encoder = std::make_unique<BasisImageConverter>();
            p.encoder->setValue("compression_level", "2");
            p.encoder->setValue("threads", "1");
            p.encoder->setValue("mip_gen", "false");
            p.encoder->setValue("mip_filter", "box");
            p.encoder->setValue("y_flip", "true");
            p.encoder->setValue("mip_srgb", "true");
        }
        if(!p.importer) p.importer = std::make_unique<BasisImporter>();
    }
}

AssetCompiler::ImagePlugins& AssetCompiler::threadImagePlugins() {
    ZE_ASSERT(!imagePlugins.empty());
    const int worker = JobSystem::workerId();
    /* More workers than sets: the job system was replaced other than by
       ZandelleEditor::setJobCount(), and two workers would share one */
    ZE_ASSERT(worker < 0 || std::size_t(worker) + 1 < imagePlugins.size());
    return imagePlugins[worker >= 0 ? std::size_t(worker) : imagePlugins.size() - 1];
}

std::string AssetCompiler::tileCacheName(const Trade::ImageData& tile, bool uastc) {
    const std::string name = hashName(tile.data.data(), tile.data.size());
    if(!uastc) return name;
    const std::string text = format("{}uastc", name);
    return hashName(text.data(), text.size());
}

int AssetCompiler::extraMipLevels(Vector2i size) {
    const unsigned larger = unsigned(std::max({size.x, size.y, 1}));
    /* ceil(log2(larger)) */
    const int log2 = larger <= 1 ? 0 : 32 - std::countl_zero(larger - 1);
    return std::max(log2 - 8, 0);
}

std::uint32_t AssetCompiler::workUnits(Vector2i size) {
    const int tilesX = (std::max(size.x, 0) + TileSize - 1)/TileSize;
    const int tilesY = (std::max(size.y, 0) + TileSize - 1)/TileSize;
    std::uint32_t units = 0;
    for(int l = 0, extra = extraMipLevels(size); l <= extra; ++l)
        units += std::uint32_t(std::max(tilesX >> l, 1))*std::uint32_t(std::max(tilesY >> l, 1));
    return units;
}

void AssetCompiler::compressImages(const std::vector<std::string>& keys) {
    if(keys.empty()) return;
    Debug{} << "Compressing" << keys.size() << "images";
    const std::string cache = data().project().cachePath();
    Path::makeOwned(cache);
    std::shared_ptr<Progress> progress = editor().addTask("Compressing textures", 1);
    JobSystem& jobs = *editor().jobSystem;
    EditorSceneData& scene = data().scene();

    for(const std::string& key: keys) {
        const ValueAccess record = projectFile().images()[key];
        auto job = std::make_shared<ImageJob>();
        job->key = key;
        job->name = record["name"].asString();
        job->id = ResourceIndex::lookup(resourceIndex.images, key);
        job->cacheDirectory = cache;
        job->uastc = record["compression"].asString() == "uastc";
        job->progress = progress;
        job->reference.emplace(*progress);
        if(auto previous = _previousTiles.find(key); previous != _previousTiles.end()) {
            job->previous = std::move(previous->second);
            _previousTiles.erase(previous);
        }
        Vector2i size;
        {
            std::lock_guard<std::mutex> lock{scene.imagesMutex};
            const EditorSceneData::CompiledImage& slot = scene.images[job->id];
            job->revision = slot.revision;
            size = slot.image.size;
        }
        const bool specular = record["isSpecularProbe"].asBool();
        const bool irradiance = record["isProbe"].asBool();
        job->progressShare = 3*workUnits(size);
        progress->total += job->progressShare;

        if(!specular && !irradiance) {
            dispatchImageJob(jobs, job, &AssetCompiler::generateMipsAndCompress);
            continue;
        }

        /* Probes: pre-filtered levels, from the cache when every level is
           there with the right size and the levels were made from these
           pixels: a sidecar file holds the hash of the source they were
           made from */
        Trade::ImageData source;
        {
            std::lock_guard<std::mutex> lock{scene.imagesMutex};
            source = scene.images[job->id].image;
        }
        const int levelCount = specular ? 5 : 1;
        const std::string sourcePath = Path::join(cache, format("{}-mip.source", key));
        const std::string sourceName = format("{} {} {}x{} {}", specular ? "specular" : "irradiance",
            int(source.format), source.size.x, source.size.y, hashName(source.data.data(), source.data.size()));
        /* Level files are named after the key, which must keep them
           inside the cache */
        const bool cacheable = Path::isPlainName(key);
        if(!cacheable) Warning{} << "AssetCompiler::compressImages(): Image" << key << "cannot name a cache file, not cached";
        if(cacheable && Path::readString(sourcePath) == sourceName) for(int l = 0; l != levelCount; ++l) {
            std::optional<Trade::ImageData> level = ImageTools::readPng(Path::join(cache, format("{}-mip-{}.png", key, l)));
            if(!level || level->size != glm::max(Vector2i{size.x >> l, size.y >> l}, Vector2i{1})) {
                job->levels.clear();
                break;
            }
            job->levels.push_back(std::move(*level));
        }
        if(!job->levels.empty()) {
            dispatchImageJob(jobs, job, &AssetCompiler::compressImage);
            continue;
        }
        if(specular) Debug{} << "Generating specular environment pyramid for image:" << key;
        else Debug{} << "Generating irradiance environment for image:" << key;
        job->probeLevels = levelCount;
        /* Empty when the key cannot name a cache file: nothing is written */
        job->probeSidecar = cacheable ? sourcePath : std::string{};
        job->probeSource = sourceName;
        dispatchImageJob(jobs, job, &AssetCompiler::convolveProbeAndCompress);
    }
    progress->done += 1;
}

void AssetCompiler::dispatchImageJob(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, void(AssetCompiler::*body)(JobSystem&, const std::shared_ptr<ImageJob>&)) {
    jobs.dispatchFunc([this, job, body](JobSystem& jobs, int) {
        /* A chain that ends by an exception says so and still hands its
           pending count back */
        std::optional<std::string> failure;
        try {
            (this->*body)(jobs, job);
        } catch(const std::exception& e) {
            failure = e.what();
        } catch(...) {
            failure = "unknown exception";
        }
        if(failure) {
            Error{} << "Image compression failed:" << *failure << "for image" << job->key;
            /* Once its tiles are shared, the last worker out ends the chain */
            if(!job->finished && (!job->tiles || job->tiles->assembled)) finishImageJob(jobs, job, {});
        }
        return JobResult::Success;
    });
}

bool AssetCompiler::imageStillCurrent(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, Trade::ImageData* copy) {
    EditorSceneData& scene = data().scene();
    {
        std::lock_guard<std::mutex> lock{scene.imagesMutex};
        const EditorSceneData::CompiledImage& slot = scene.images[job->id];
        if(slot.revision == job->revision) {
            /* A copy: the slot keeps the compiled pixels for the steps that
               read them while the tiles are encoded (the app icons) */
            if(copy) *copy = slot.image;
            return true;
        }
    }
    job->step(2);
    job->levels.clear();
    finishImageJob(jobs, job, {});
    return false;
}

void AssetCompiler::generateMipsAndCompress(JobSystem& jobs, const std::shared_ptr<ImageJob>& job) {
    Trade::ImageData image;
    if(!imageStillCurrent(jobs, job, &image)) return;
    job->levels.push_back(std::move(image));
    {
        const RunSpanScope span{editor().runRecord.get(), RunSpanKind::Mips, job->name};
        std::vector<Trade::ImageData> mips = ImageTools::generateMips(job->levels.front(),
            extraMipLevels(job->levels.front().size), *threadImagePlugins().resizer);
        for(Trade::ImageData& m: mips) job->levels.push_back(std::move(m));
    }
    job->step();
    /* Compiled again while the mips were made: the tiles would be stale */
    if(imageStillCurrent(jobs, job)) compressImage(jobs, job);
}

void AssetCompiler::convolveProbeAndCompress(JobSystem& jobs, const std::shared_ptr<ImageJob>& job) {
    Trade::ImageData source;
    if(!imageStillCurrent(jobs, job, &source)) return;
    const RunSpanScope span{editor().runRecord.get(), RunSpanKind::Probe, job->name};
    if(job->probeLevels > 1) job->levels = GLTools::convoluteSpecularEnvironment(source, job->probeLevels);
    else job->levels.push_back(GLTools::convoluteEnvironment(source));
    /* The sidecar goes first and comes back last, so levels half written
       never pass for those of any source */
    const bool cacheable = !job->probeSidecar.empty();
    bool written = cacheable;
    if(cacheable) Path::remove(job->probeSidecar);
    for(std::size_t l = 0; l != job->levels.size() && cacheable; ++l) {
        const std::string path = Path::join(job->cacheDirectory, format("{}-mip-{}.png", job->key, l));
        if(!ImageTools::writePng(path, job->levels[l])) {
            Error{} << "Failed writing cache file:" << path;
            written = false;
        }
    }
    if(written && !Path::writeAtomic(job->probeSidecar, job->probeSource))
        Error{} << "Failed writing cache file:" << job->probeSidecar;
    compressImage(jobs, job);
}

void AssetCompiler::compressImage(JobSystem& jobs, const std::shared_ptr<ImageJob>& job) {
    if(job->levels.empty()) {
        Error{} << "Image compression failed: attempting to compress 0 mips for image" << job->key;
        finishImageJob(jobs, job, {});
        return;
    }

    /* Names first: the hash of every tile, cut and dropped again, so that
       equal tiles (a plain area) are encoded once and the batches hold
       only distinct ones */
    auto work = std::make_shared<TileWork>();
    std::unordered_map<std::string, std::size_t> firstByName;
    bool cancelled = false;
    std::size_t tileCount = 0;
    for(std::size_t l = 0; l != job->levels.size() && !cancelled; ++l) {
        const Trade::ImageData& level = job->levels[l];
        const int tilesX = (level.size.x + TileSize - 1)/TileSize, tilesY = (level.size.y + TileSize - 1)/TileSize;
        work->levels.push_back({tilesX, tilesY});
        for(int y = 0; y < tilesY && !cancelled; ++y) for(int x = 0; x < tilesX; ++x) {
            if(jobs.cancelled()) {
                cancelled = true;
                break;
            }
            const Trade::ImageData image = ImageTools::tile(level, x, y, TileSize, TileBorder);
            std::string name = tileCacheName(image, job->uastc);
            const auto [first, added] = firstByName.emplace(name, work->distinct.size());
            work->order.push_back(first->second);
            if(added) {
                Tile& tile = work->distinct.emplace_back();
                tile.index = tileCount;
                tile.level = l;
                tile.x = x;
                tile.y = y;
                tile.size = image.size;
                tile.path = CompileCache::localPath(CacheKind::Tile, job->cacheDirectory, name);
                tile.name = std::move(name);
            }
            ++tileCount;
        }
    }
    job->tiles = work;
    work->cancelled = cancelled;
    work->active = 1;

    /* Every other worker may join; one that comes when the tiles are all
       taken leaves at once */
    if(!cancelled && work->distinct.size() > 1) try {
        for(int i = 1; i < jobs.workerCount(); ++i)
            dispatchImageJob(jobs, job, &AssetCompiler::joinTileBatches);
    } catch(const std::exception&) {
        /* Fewer workers join; this one does what they leave */
    }
    takeTileBatches(jobs, job, true);
}

std::size_t AssetCompiler::batchSize(std::size_t remaining, int workers) const {
    if(tileBatchSize) return tileBatchSize;
    /* Large batches while there is much left, then smaller ones, so that
       the workers run out of work at about the same time */
    const std::size_t share = (remaining + 2*std::size_t(std::max(workers, 1)) - 1)/(2*std::size_t(std::max(workers, 1)));
    return std::clamp<std::size_t>(share, 1, MaxTileBatch);
}

void AssetCompiler::joinTileBatches(JobSystem& jobs, const std::shared_ptr<ImageJob>& job) {
    takeTileBatches(jobs, job, false);
}

void AssetCompiler::takeTileBatches(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, bool joined) {
    TileWork& work = *job->tiles;
    ImagePlugins& plugins = threadImagePlugins();
    RunRecord& record = *editor().runRecord;
    {
        std::lock_guard<std::mutex> lock{work.mutex};
        if(!joined) {
            if(work.assembled || work.cancelled || (work.nextChecked == work.distinct.size() && work.nextMiss == work.misses.size()))
                return;
            ++work.active;
        }
    }
    const std::size_t workers = std::size_t(std::max(jobs.workerCount(), 1));
    /* Cache checks go in few large runs of the importer: a warm image
       costs a run per chunk, and a worker's share in one */
    const std::size_t chunk = std::clamp<std::size_t>((work.distinct.size() + workers - 1)/workers, 1, MaxCacheChunk);
    std::vector<Tile*> batch;
    for(;;) {
        bool check;
        {
            std::lock_guard<std::mutex> lock{work.mutex};
            if(jobs.cancelled()) work.cancelled = true;
            batch.clear();
            /* Checks first: they find the tiles to encode */
            check = work.nextChecked != work.distinct.size();
            if(work.cancelled || (!check && work.nextMiss == work.misses.size())) {
                /* The last one out puts the image together */
                if(--work.active != 0 || work.assembled) return;
                work.assembled = true;
                break;
            }
            if(check) {
                const std::size_t end = std::min(work.distinct.size(), work.nextChecked + chunk);
                for(; work.nextChecked != end; ++work.nextChecked) batch.push_back(&work.distinct[work.nextChecked]);
            } else {
                /* What is left to encode: the misses nobody took */
                const std::size_t end = std::min(work.misses.size(),
                    work.nextMiss + batchSize(work.misses.size() - work.nextMiss, jobs.workerCount()));
                for(; work.nextMiss != end; ++work.nextMiss) batch.push_back(work.misses[work.nextMiss]);
            }
        }
        /* Tiles taken are this worker's alone until it is done with them */
        std::vector<Tile*> misses;
        try {
            const RunSpanScope span{&record, RunSpanKind::Tiles, job->name};
            if(check) misses = lookUpTiles(batch, *job, *plugins.importer);
            else {
                for(Tile* tile: batch)
                    tile->image = ImageTools::tile(job->levels[tile->level], tile->x, tile->y, TileSize, TileBorder);
                encodeTiles(batch, *job, *plugins.encoder, *plugins.importer);
            }
        } catch(const std::exception& e) {
            /* These tiles become placeholders; the others go on */
            Error{} << "Image compression failed:" << e.what() << "for image" << job->key;
            misses.clear();
        }
        std::uint32_t done = 0;
        for(Tile* tile: batch) if(!check || tile->opened) {
            tile->image = {};
            tile->done = true;
            ++done;
        }
        job->step(done);
        if(!misses.empty()) {
            std::lock_guard<std::mutex> lock{work.mutex};
            work.misses.insert(work.misses.end(), misses.begin(), misses.end());
        }
    }
    assembleImage(jobs, job);
}

void AssetCompiler::assembleImage(JobSystem& jobs, const std::shared_ptr<ImageJob>& job) {
    TileWork& work = *job->tiles;
    RunRecord& record = *editor().runRecord;
    const std::optional<Trade::CompressedPixelFormat> target = compressedTarget();

    /* Lines of the tiles whose batch ran, in tile order */
    for(std::size_t i = 0; i != work.order.size(); ++i) {
        const Tile& tile = work.distinct[work.order[i]];
        if(!tile.done) continue;
        const bool repeated = tile.index != i;
        if(tile.cacheRejected && !repeated)
            Warning{} << "Failed loading image cache file:" << tile.path << Debug::nospace << ", re-compressing tile"
                << tile.index << "of image" << job->key;
        if(tile.failure)
            Error{} << "Image compression failed: could not transcode basis image for tile" << i << "of image"
                << job->key << Debug::nospace << (tile.failure->empty() ? std::string{} : " - " + *tile.failure);
        else if(tile.writeFailed && !repeated)
            Error{} << "Failed writing cache file:" << tile.path << "for tile" << tile.index << "of image" << job->key;
    }

    std::vector<std::string> names;
    std::vector<std::vector<char>> basisTiles;
    std::vector<Trade::CompressedImageData> compressedTiles;
    if(!work.cancelled) {
        ImageTiles recorded{job->key, job->name, work.levels, {}, ImageTiles::reduce(job->levels.front())};
        for(std::size_t i = 0; i != work.order.size(); ++i) {
            const Tile& tile = work.distinct[work.order[i]];
            /* A tile equal to one before it is taken from that one, as the
               cache would have given it */
            const bool repeated = tile.index != i;
            if(repeated && tile.opened) {
                ++tilesFromCache;
                record.count(RunRecord::CacheKind::Tiles, RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Hit);
            }
            recorded.fates.push_back(repeated && tile.opened ? TileFate::LocalCache : tile.fate);
            names.push_back(tile.cached ? tile.name : std::string{});
            basisTiles.push_back(tile.bytes ? *tile.bytes : std::vector<char>{});
            if(tile.transcoded) compressedTiles.push_back(*tile.transcoded);
            else if(target) compressedTiles.push_back(placeholderTile(*target, tile.size));
        }
        job->step(std::uint32_t(work.order.size() - work.distinct.size()));
        record.addImage(std::move(recorded));
    }

    std::vector<char> imageData;
    {
        EditorSceneData& scene = data().scene();
        std::lock_guard<std::mutex> lock{scene.imagesMutex};
        EditorSceneData::CompiledImage& slot = scene.images[job->id];
        const bool current = slot.revision == job->revision;
        if(!work.cancelled && current) {
            slot.basisTiles = std::move(basisTiles);
            slot.compressedTiles = std::move(compressedTiles);
            const Vector3i size = Data::readImageData(slot.imageData).value_or(Data::ImageDataView{Vector3i{job->levels.front().size, 1}, false, {}}).size;
            imageData = Data::createImageData(size, names);
        }
    }
    /* Workers that join late find the work assembled and leave without
       looking at the tiles */
    job->levels.clear();
    work.distinct = {};
    work.order = {};
    finishImageJob(jobs, job, std::move(imageData));
}

std::vector<AssetCompiler::Tile*> AssetCompiler::lookUpTiles(std::span<Tile* const> tiles, const ImageJob& job,
    BasisImporter& importer)
{
    /* The cached tiles checked by one importer run per cache level */
    std::vector<CacheEntry> entries(tiles.size());
    for(std::size_t i = 0; i != tiles.size(); ++i) entries[i].name = tiles[i]->name;
    const std::optional<Trade::CompressedPixelFormat> target = compressedTarget();
    compileCache.get(CacheKind::Tile, job.cacheDirectory, entries, [&](const std::vector<std::size_t>& indices) {
        std::vector<bool> good(indices.size());
        /* The same bytes as the image's previous compile had under this
           name: the importer accepted them then, and its blocks for the
           same target are still good */
        std::vector<std::size_t> opening;
        std::vector<std::span<const char>> bytes;
        for(std::size_t k = 0; k != indices.size(); ++k) {
            const std::vector<char>& entry = *entries[indices[k]].bytes;
            const PreviousTiles::Tile* previous = nullptr;
            if(job.previous) if(auto found = job.previous->tiles.find(entries[indices[k]].name); found != job.previous->tiles.end())
                previous = &found->second;
            if(previous && previous->bytes == entry &&
               (target ? previous->transcoded && previous->transcoded->format == *target : true)) {
                good[k] = true;
                if(target) tiles[indices[k]]->transcoded = previous->transcoded;
                continue;
            }
            opening.push_back(k);
            bytes.emplace_back(entry);
        }
        if(opening.empty()) return good;
        std::vector<BasisImporter::Opened> opened = importer.openAll(bytes);
        for(std::size_t o = 0; o != opening.size(); ++o) if((good[opening[o]] = opened[o].valid))
            tiles[indices[opening[o]]]->transcoded = std::move(opened[o].image);
        return good;
    });
    RunRecord& record = *editor().runRecord;
    std::vector<Tile*> misses;
    for(std::size_t i = 0; i != tiles.size(); ++i) {
        Tile& tile = *tiles[i];
        if(entries[i].bytes) {
            tile.bytes = std::move(entries[i].bytes);
            tile.opened = tile.cached = true;
            tile.fate = entries[i].fromShared ? TileFate::SharedCache : TileFate::LocalCache;
            ++tilesFromCache;
            record.count(RunRecord::CacheKind::Tiles,
                entries[i].fromShared ? RunRecord::CacheLevel::Shared : RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Hit);
            continue;
        }
        tile.cacheRejected = entries[i].localRejected;
        tile.sharedRejected = entries[i].sharedRejected;
        misses.push_back(&tile);
    }
    return misses;
}

void AssetCompiler::encodeTiles(std::span<Tile* const> tiles, const ImageJob& job, BasisImageConverter& converter,
    BasisImporter& importer)
{
    /* Encode, then check that each encoded tile transcodes before it goes
       into the cache */
    if(tiles.empty()) return;
    std::vector<const Trade::ImageData*> images;
    for(const Tile* tile: tiles) images.push_back(&tile->image);
    converter.setValue("uastc", job.uastc ? "true" : "false");
    std::vector<std::string> reasons;
    std::vector<std::optional<std::vector<char>>> encoded = converter.convertToData(images, &reasons);
    tilesEncoded += std::uint32_t(tiles.size());
    RunRecord& record = *editor().runRecord;
    record.count(RunRecord::CacheKind::Tiles, RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Miss, std::uint32_t(tiles.size()));
    std::vector<std::span<const char>> encodedBytes;
    for(const std::optional<std::vector<char>>& bytes: encoded) if(bytes) encodedBytes.push_back(*bytes);
    std::vector<BasisImporter::Opened> opened = importer.openAll(encodedBytes);
    for(std::size_t k = 0, o = 0; k != tiles.size(); ++k) {
        Tile& tile = *tiles[k];
        if(!encoded[k] || !opened[o++].valid) {
            tile.failure = std::move(reasons[k]);
            continue;
        }
        tile.bytes = std::move(encoded[k]);
        tile.opened = true;
        tile.fate = TileFate::Encoded;
        tile.transcoded = std::move(opened[o - 1].image);
        CacheEntry entry;
        entry.name = tile.name;
        entry.sharedRejected = tile.sharedRejected;
        tile.cached = compileCache.put(CacheKind::Tile, job.cacheDirectory, entry, *tile.bytes);
        if(!tile.cached) tile.writeFailed = true;
        else record.count(RunRecord::CacheKind::Tiles, RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Write);
    }
}

std::optional<Trade::CompressedPixelFormat> AssetCompiler::compressedTarget() {
    const std::string name = BasisImporter::globalValue("format");
    if(name == "Bc3RGBA") return Trade::CompressedPixelFormat::Bc3RGBAUnorm;
    if(name == "Bc7RGBA") return Trade::CompressedPixelFormat::Bc7RGBAUnorm;
    if(name == "Etc2RGBA") return Trade::CompressedPixelFormat::Etc2RGBA8Unorm;
    if(name == "Astc4x4RGBA") return Trade::CompressedPixelFormat::Astc4x4RGBAUnorm;
    return {};
}

void AssetCompiler::finishImageJob(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, std::vector<char> imageData) {
    job->finished = true;
    auto data = std::make_shared<std::vector<char>>(std::move(imageData));
    jobs.dispatchFunc([this, job, data](JobSystem&, int) {
        EditorSceneData& scene = this->data().scene();
        /* A recompile or removal of the record moved the revision on */
        if(!data->empty()) {
            std::lock_guard<std::mutex> lock{scene.imagesMutex};
            EditorSceneData::CompiledImage& slot = scene.images[job->id];
            if(slot.revision == job->revision) {
                slot.imageData = std::move(*data);
                ++imagesCompressed;
            }
        }
        /* The chain's share of the progress total is used up */
        if(job->progressCounted < job->progressShare) job->step(job->progressShare - job->progressCounted);
        job->reference.reset();
        if(--pendingImageJobs == 0) scene.setAssetTypeDirty(AssetType::Images);
        return JobResult::Success;
    }, {}, JobFlagHighPriority);
}

}
