#include "AssetCompiler/AssetCompiler.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
/* Tiles per run of the Basis executable: starting it costs about a third of
   encoding one tile, and a cancelled job still finishes its batch */
constexpr std::size_t TileBatch = 8;

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
    /* Progress steps this chain added to the total and counted so far */
    std::uint32_t progressShare = 0, progressCounted = 0;
    bool finished = false;

    void step(std::uint32_t count = 1) {
        progressCounted += count;
        progress->done += count;
    }
};

struct AssetCompiler::Tile {
    Trade::ImageData image;
    /* Its place in the image's tile list, its cache name and cache file */
    std::size_t index;
    std::string name, path;
    /* The Basis file, and its transcoded blocks with a compressed target;
       opened is false when neither cache nor encoder gave a usable file */
    std::optional<std::vector<char>> bytes;
    bool opened = false;
    /* The cache file holds the Basis file */
    bool cached = false;
    std::optional<Trade::CompressedImageData> transcoded;
    TileFate fate = TileFate::Failed;
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

    /* One set per worker and one for the owning thread */
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
    return imagePlugins[worker >= 0 && std::size_t(worker) + 1 < imagePlugins.size() ? std::size_t(worker) : imagePlugins.size() - 1];
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
            if(!job->finished) finishImageJob(jobs, job, {});
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
    EditorSceneData& scene = data().scene();
    ImagePlugins& plugins = threadImagePlugins();
    BasisImageConverter& converter = *plugins.encoder;
    BasisImporter& importer = *plugins.importer;
    const std::string& cache = job->cacheDirectory;

    std::vector<std::string> names;
    std::vector<std::vector<char>> basisTiles;
    std::vector<Trade::CompressedImageData> compressedTiles;
    std::vector<Tile> batch;
    RunRecord& record = *editor().runRecord;
    ImageTiles recorded{job->key, job->name, {}, {}, ImageTiles::reduce(job->levels.front())};
    /* Encodes and transcodes what the batch needs, then appends its tiles
       in order. A tile without a cache file goes by an empty name: it is
       the placeholder. */
    auto flush = [&]() {
        {
            const RunSpanScope span{&record, RunSpanKind::Tiles, job->name};
            compressTiles(batch, *job, converter, importer);
        }
        for(Tile& tile: batch) {
            recorded.fates.push_back(tile.fate);
            names.push_back(tile.cached ? std::move(tile.name) : std::string{});
            basisTiles.push_back(tile.bytes ? std::move(*tile.bytes) : std::vector<char>{});
            if(tile.transcoded) compressedTiles.push_back(std::move(*tile.transcoded));
            else if(const std::optional<Trade::CompressedPixelFormat> target = compressedTarget())
                compressedTiles.push_back(placeholderTile(*target, tile.image.size));
            job->step();
        }
        batch.clear();
    };
    bool cancelled = false;
    std::size_t tileCount = 0;
    for(const Trade::ImageData& level: job->levels) {
        const int tilesX = (level.size.x + TileSize - 1)/TileSize, tilesY = (level.size.y + TileSize - 1)/TileSize;
        recorded.levels.push_back({tilesX, tilesY});
        for(int y = 0; y < tilesY && !cancelled; ++y) for(int x = 0; x < tilesX; ++x) {
            if(jobs.cancelled()) {
                cancelled = true;
                break;
            }
            Tile& tile = batch.emplace_back();
            tile.image = ImageTools::tile(level, x, y, TileSize, TileBorder);
            tile.index = tileCount++;
            tile.name = tileCacheName(tile.image, job->uastc);
            tile.path = CompileCache::localPath(CacheKind::Tile, cache, tile.name);
            if(batch.size() == TileBatch) flush();
        }
    }
    if(!cancelled) {
        flush();
        record.addImage(std::move(recorded));
    }

    std::vector<char> imageData;
    {
        std::lock_guard<std::mutex> lock{scene.imagesMutex};
        EditorSceneData::CompiledImage& slot = scene.images[job->id];
        const bool current = slot.revision == job->revision;
        if(!cancelled && current) {
            slot.basisTiles = std::move(basisTiles);
            slot.compressedTiles = std::move(compressedTiles);
            const Vector3i size = Data::readImageData(slot.imageData).value_or(Data::ImageDataView{Vector3i{job->levels.front().size, 1}, false, {}}).size;
            imageData = Data::createImageData(size, names);
        }
    }
    job->levels.clear();
    finishImageJob(jobs, job, std::move(imageData));
}

void AssetCompiler::compressTiles(std::vector<Tile>& tiles, const ImageJob& job, BasisImageConverter& converter,
    BasisImporter& importer)
{
    /* Cache look-up: the cached tiles of the batch checked by one importer
       run per cache level */
    std::vector<CacheEntry> entries(tiles.size());
    for(std::size_t i = 0; i != tiles.size(); ++i) entries[i].name = tiles[i].name;
    compileCache.get(CacheKind::Tile, job.cacheDirectory, entries, [&](const std::vector<std::size_t>& indices) {
        std::vector<std::span<const char>> bytes;
        for(std::size_t i: indices) bytes.emplace_back(*entries[i].bytes);
        std::vector<BasisImporter::Opened> opened = importer.openAll(bytes);
        std::vector<bool> good(indices.size());
        for(std::size_t k = 0; k != indices.size(); ++k) if((good[k] = opened[k].valid))
            tiles[indices[k]].transcoded = std::move(opened[k].image);
        return good;
    });
    for(std::size_t i = 0; i != tiles.size(); ++i) {
        Tile& tile = tiles[i];
        if(entries[i].bytes) {
            tile.bytes = std::move(entries[i].bytes);
            tile.opened = tile.cached = true;
            tile.fate = entries[i].fromShared ? TileFate::SharedCache : TileFate::LocalCache;
            ++tilesFromCache;
            editor().runRecord->count(RunRecord::CacheKind::Tiles,
                entries[i].fromShared ? RunRecord::CacheLevel::Shared : RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Hit);
        } else if(entries[i].localRejected)
            Warning{} << "Failed loading image cache file:" << tile.path << Debug::nospace << ", re-compressing tile"
                << tile.index << "of image" << job.key;
    }

    /* Encode what the cache did not have, then check that each encoded
       tile transcodes before it goes into the cache. A tile equal to one
       before it in the batch (a plain area) is encoded once and taken from
       the first, as a batch of one tile at a time would find it cached. */
    std::vector<std::size_t> encodedTiles;
    std::vector<const Trade::ImageData*> images;
    std::vector<std::pair<std::size_t, std::size_t>> repeatedTiles;
    for(std::size_t i = 0; i != tiles.size(); ++i) {
        if(tiles[i].opened) continue;
        const auto first = std::find_if(encodedTiles.begin(), encodedTiles.end(),
            [&](std::size_t e) { return tiles[e].path == tiles[i].path; });
        if(first != encodedTiles.end()) {
            repeatedTiles.emplace_back(i, *first);
            continue;
        }
        encodedTiles.push_back(i);
        images.push_back(&tiles[i].image);
    }
    if(encodedTiles.empty()) return;
    converter.setValue("uastc", job.uastc ? "true" : "false");
    std::vector<std::string> reasons;
    std::vector<std::optional<std::vector<char>>> encoded = converter.convertToData(images, &reasons);
    tilesEncoded += std::uint32_t(encodedTiles.size());
    RunRecord& record = *editor().runRecord;
    record.count(RunRecord::CacheKind::Tiles, RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Miss, std::uint32_t(encodedTiles.size()));
    std::vector<std::span<const char>> encodedBytes;
    for(const std::optional<std::vector<char>>& bytes: encoded) if(bytes) encodedBytes.push_back(*bytes);
    std::vector<BasisImporter::Opened> opened = importer.openAll(encodedBytes);
    /* One line per failed tile, with the encoder's reason when it gave one */
    auto failed = [&](const Tile& tile, std::size_t k) {
        Error{} << "Image compression failed: could not transcode basis image for tile" << tile.index << "of image"
            << job.key << Debug::nospace << (reasons[k].empty() ? std::string{} : " - " + reasons[k]);
    };
    for(std::size_t k = 0, o = 0; k != encodedTiles.size(); ++k) {
        Tile& tile = tiles[encodedTiles[k]];
        if(!encoded[k] || !opened[o++].valid) {
            failed(tile, k);
            continue;
        }
        tile.bytes = std::move(encoded[k]);
        tile.opened = true;
        tile.fate = TileFate::Encoded;
        tile.transcoded = std::move(opened[o - 1].image);
        tile.cached = compileCache.put(CacheKind::Tile, job.cacheDirectory, entries[encodedTiles[k]], *tile.bytes);
        if(!tile.cached)
            Error{} << "Failed writing cache file:" << tile.path << "for tile" << tile.index << "of image" << job.key;
        else record.count(RunRecord::CacheKind::Tiles, RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Write);
    }
    for(const auto& [repeated, first]: repeatedTiles) {
        if(!tiles[first].opened) {
            const auto encodedAs = std::find(encodedTiles.begin(), encodedTiles.end(), first);
            failed(tiles[repeated], std::size_t(encodedAs - encodedTiles.begin()));
            continue;
        }
        tiles[repeated].bytes = tiles[first].bytes;
        tiles[repeated].opened = true;
        tiles[repeated].cached = tiles[first].cached;
        tiles[repeated].transcoded = tiles[first].transcoded;
        tiles[repeated].fate = TileFate::LocalCache;
        ++tilesFromCache;
        record.count(RunRecord::CacheKind::Tiles, RunRecord::CacheLevel::Local, RunRecord::CacheEvent::Hit);
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
