#pragma once
// Turns the resource sections of the project document into the engine's
// runtime data: objects and components of the main scene, meshes, skins and
// the other compiled resources of EditorSceneData. Each compile step lives in
// its own source beside this one.
//
// The steps are rows of one table (compileSteps()), and compile() and
// compileAll() are the only ways in: loads, imports, the change handlers and
// the command line all go through the table, so a new step is one new row.
// Every step takes a range of records of its section (the whole section or
// the records of some keys), handles them in order, gives each new
// key the next runtime id and keeps that id for the key while the project
// stays open, then bumps the step's AssetType counter once. Bad input is one
// warning or error line and the record (or component) is skipped or left
// inactive; nothing in the document can stop the process.
//
// Threads: a step reads the project document and writes the compiled data
// and the indices, so it runs on the data's owner (see JobSystem.h): the
// main thread for edits and imports, the worker of a load's finishing job or
// of a shader reload. One thread at a time: compileAll() and compile() end
// the process when entered while another thread is inside one. Work a step hands to job-system
// workers (CompileStep::offThread) writes only what that step reserved for
// it and reports through the atomic counters below.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "AssetCompiler/CompileCache.h"
#include "Base/Assert.h"
#include "Base/Export.h"
#include "Base/Math.h"
#include "Editor/EditorSceneData.h"
#include "Editor/ProjectFile.h"
#include "Engine/Id.h"
#include "Engine/Physics.h"
#include "Shaders/MaterialDefinition.h"

namespace ZandelleEngine {

class ZandelleEditor;
class EditorData;
class MeshOptimizerSceneConverter;
class BasisImageConverter;
class BasisImporter;
class JobSystem;
class Progress;
namespace ImageTools { class StbResizeImageConverter; }
namespace Trade { struct ImageData; enum class CompressedPixelFormat: std::uint8_t; }

/** Maps from record key to the runtime id a step gave it; 0 is "not
    compiled" */
struct ZANDELLE_EXPORT ResourceIndex {
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Map = std::unordered_map<std::string, Data::Id, Hash, std::equal_to<>>;

    Map animations, objects, meshes, images, textures, shaders;
    /** Shaders of the include stage */
    Map includeShaders;
    Map materials, skins, pipelines;
    /** Used by the pipeline update routine only */
    Map pipelineUpdates;
    Map fonts, languages;

    /** The id of @p key; 0 for an empty key or one that is not in the map
        (the map is left as it is) */
    static Data::Id lookup(const Map& map, std::string_view key);

    void clear();
};

/** How often one compile step was entered and how many records it was
    given in all */
struct StepCount {
    std::uint64_t calls = 0, records = 0;
};

/** Where a script component's properties live in the document */
struct ScriptComponentOrigin {
    std::string objectKey;
    /** Index of the entry in the object's "components" array */
    std::uint32_t componentIndex = 0;
};

class AssetCompiler;
enum class AssetType: std::uint8_t;

/** One compile step, described once. compileAll() runs the steps of
    compileSteps() in table order (the dependency order) and times each;
    compile() runs one row over its section or some keys of it. */
struct CompileStep {
    /** Name in compile(), timings and summaries: "shaders", "objects", ... */
    const char* name;
    /** Document section the step reads ("settings" for the settings) */
    const char* section;
    /** Counter the step bumps */
    AssetType assetType;
    /** Compiles @p range, records of the step's section */
    bool (*compile)(AssetCompiler& compiler, const ValueAccessRange& range);
    /** Part of the step's work runs on job-system workers after the step
        returns (image compression, font building); the step itself runs on
        the thread that calls it, like every step */
    bool offThread;
    /** Run by compileAll(); the other steps compile on demand only */
    bool inCompileAll;
    /** Compiling some keys: called first for each key whose record is not
        set in the project, so that the step's background jobs let go of it;
        null when they hold nothing */
    void (*forget)(AssetCompiler& compiler, std::string_view key);
    /** Compiling some keys: the step is given a key without a record too,
        and frees what it compiled for it; otherwise such a key is skipped */
    bool seesRemoved;
};

/** Time one step took in the last compileAll() */
struct CompileStepTime {
    const CompileStep* step;
    double seconds;
};

class ZANDELLE_EXPORT AssetCompiler {
    public:
        /** Every compile step, in dependency order */
        static const std::vector<CompileStep>& compileSteps();

        AssetCompiler();
        ~AssetCompiler();
        AssetCompiler(const AssetCompiler&) = delete;
        AssetCompiler& operator=(const AssetCompiler&) = delete;

        /** Binds the compiler to the editor's (new) data and empties every
            index; called by project initialisation */
        void initialize(ZandelleEditor& editor);

        /** Runs every compile step over its whole section, in dependency order:
            settings, shaders, pipelines, fonts, images, textures, materials,
            meshes, objects without components, animations, skins, objects
            with components. Fills lastCompileTimes. */
        void compileAll();
        /** Times of the steps of the last compileAll(), in table order */
        std::vector<CompileStepTime> lastCompileTimes;
        /** When the steps of the last compileAll() ended; the image and font
            jobs they dispatched may still run */
        std::chrono::steady_clock::time_point lastCompileEnd;

        /** Runs the step named @p step (a row of compileSteps(): "objects"
            compiles objects without their components, "components" with
            them) over every record of its section. An unknown name is a
            programming error and ends the process. */
        bool compile(std::string_view step);
        /** The same over the records of @p keys, in that order; a key
            without a record is skipped, except by a step that frees what it
            compiled for it (CompileStep::seesRemoved) */
        bool compile(std::string_view step, const std::vector<std::string>& keys);

        /** Classifies the compiled pipelines for the renderer (regular, text,
            sky or not drawn); run by the pipelines step and after changes of
            the rendering settings */
        void updatePipelineKinds();
        /** Deletes the object of @p key from the scene and forgets its id */
        void deleteObject(std::string_view key);

        /* Ids by record key, 0 for an empty or unknown key */
        Data::Id materialId(std::string_view key) const { return ResourceIndex::lookup(resourceIndex.materials, key); }
        Data::Id meshId(std::string_view key) const { return ResourceIndex::lookup(resourceIndex.meshes, key); }
        Data::Id pipelineId(std::string_view key) const { return ResourceIndex::lookup(resourceIndex.pipelines, key); }
        Data::Id skinId(std::string_view key) const { return ResourceIndex::lookup(resourceIndex.skins, key); }
        Data::Id fontId(std::string_view key) const { return ResourceIndex::lookup(resourceIndex.fonts, key); }
        Data::Id objectId(std::string_view key) const { return ResourceIndex::lookup(resourceIndex.objects, key); }

        ResourceIndex resourceIndex;
        /** Indexed by script component id */
        std::vector<ScriptComponentOrigin> scriptComponentOrigins;
        /** Optimises and simplifies meshes; null when unavailable, and
            meshes are then compiled without it */
        std::unique_ptr<MeshOptimizerSceneConverter> meshOptimizer;

        /** Image jobs dispatched and not yet finished */
        std::atomic<std::uint32_t> pendingImageJobs{0};
        /** Set while the font job runs */
        std::atomic<std::uint8_t> fontJobPending{0};
        /** A font job's claim on one font, withdrawn by a later compile or
            removal of its record */
        struct FontClaim;
        /** Fonts the font jobs built, and those they read from the cache */
        std::atomic<std::uint32_t> fontsBuilt{0}, fontsFromCache{0};

        /** Calls of compile() and of the rows of compileAll(), per step,
            indexed by the step's AssetType */
        std::array<StepCount, AssetTypeCount> stepCounts{};

        /** The material layout of each compiled pipeline, by pipeline id;
            shared with the materials being compiled against it */
        std::vector<std::shared_ptr<const MaterialDefinition>> pipelineMaterialDefinitions;

        /** Cooks collision meshes of physics components */
        Physics::Cooking cookingInterface;

        /* Image compression (CompressImages.cpp) */

        /** Queues background compression of the images of @p keys, already
            compiled into their slots; called by compileImages */
        void compressImages(const std::vector<std::string>& keys);

        /** Cache file name (without extension) of a tile: the XXH3 128-bit
            hash of its pixel bytes as 32 hexadecimal digits, low half first;
            for UASTC the same hash of that text followed by "uastc" */
        static std::string tileCacheName(const Trade::ImageData& tile, bool uastc);
        /** Mip levels below level 0 of an image of @p size: the smallest
            one's larger side lies between 129 and 256 pixels */
        static int extraMipLevels(Vector2i size);
        /** Tiles over level 0 and its extra mip levels */
        static std::uint32_t workUnits(Vector2i size);

        /** The image plug-ins one thread uses: they keep state between
            calls, so no two threads share a set */
        struct ImagePlugins {
            std::unique_ptr<ImageTools::StbResizeImageConverter> resizer;
            std::unique_ptr<BasisImageConverter> encoder;
            std::unique_ptr<BasisImporter> importer;
        };
        /** One set per job-system worker, indexed by JobSystem::workerId(),
            and a last one for the thread that owns the data */
        std::vector<ImagePlugins> imagePlugins;
        /** The set of the calling thread: its worker's, or the last one on
            any thread that is no worker */
        ImagePlugins& threadImagePlugins();

        /** The editor's job system was replaced, with no job running: once
            image compression is set up, every worker gets its plug-ins */
        void workersChanged();

        /** Tiles one run of the encoder takes; 0 (the default) takes large
            batches while many tiles are left and smaller ones towards the
            end, so that all workers finish together */
        std::size_t tileBatchSize = 0;

        /** Finished compression jobs and their tiles, for the summary;
            tilesFromCache counts hits of either cache level */
        std::atomic<std::uint32_t> imagesCompressed{0}, tilesEncoded{0}, tilesFromCache{0};

        /** The tile and font caches: the project's cache directory and the
            shared level of ZandelleEditor::sharedCacheUrl, set up again by
            initialize() */
        CompileCache compileCache;

    private:
        struct ComponentEntry;
        class StepScope;

        /* Runs @p step over its section, or over the records of @p keys */
        bool compileStep(const CompileStep& step, const std::vector<std::string>* keys);

        /* The steps, each over a range of records of its section
           (Compile*.cpp) */
        bool compileSettings();
        bool compileShaders(const ValueAccessRange& range);
        bool compilePipelines(const ValueAccessRange& range);
        bool compileFonts(const ValueAccessRange& range);
        bool compileImages(const ValueAccessRange& range);
        bool compileTextures(const ValueAccessRange& range);
        bool compileMaterials(const ValueAccessRange& range);
        /* Meshes: attribute layout reduced to the project's, import
           scaling, optimisation or simplification, bounding sphere */
        bool compileMeshes(const ValueAccessRange& range);
        /* Objects of the main scene: hierarchy, names and local transforms
           and, with @p withComponents, their components */
        bool compileObjects(const ValueAccessRange& range, bool withComponents);
        bool compileAnimations(const ValueAccessRange& range);
        /* Skins: joint object ids and inverse bind transforms */
        bool compileSkins(const ValueAccessRange& range);
        bool compileLanguages(const ValueAccessRange& range);

        EditorData& data() const {
            ZE_ASSERT(_data != nullptr);
            return *_data;
        }
        ZandelleEditor& editor() const {
            ZE_ASSERT(_editor != nullptr);
            return *_editor;
        }
        ProjectFile& projectFile() const;

        /* Component pass of one object and the rules per type */
        void compileComponents(Data::Id object, std::string_view objectKey, std::string_view objectName, const JsonValue& components);
        void compileCollisionComponent(const ComponentEntry& entry);
        void compilePhysXComponent(const ComponentEntry& entry);
        void compileInputComponent(const ComponentEntry& entry);
        void compileViewComponent(const ComponentEntry& entry);
        void compileAnimationComponent(const ComponentEntry& entry);
        void compileTextComponent(const ComponentEntry& entry);
        void compileLightComponent(const ComponentEntry& entry);
        void compileMeshComponent(const ComponentEntry& entry);
        void compileJavaScriptComponent(const ComponentEntry& entry);
        /* Writes the app icons when the project is a web app; false when the
           icon image is not a square of at least 512 pixels */
        bool compileAppIcons();
        /* Cooks the collision mesh of physics component @p c; false on failure */
        bool cookPhysicsMesh(Data::Id c, std::string_view objectName, std::string_view meshName, bool convex);
        /* Drops the cooked mesh of physics component @p c */
        void releaseCookedMesh(Data::Id c);

        /* The font job's claim on each font it is to build, by record key.
           A recompile or removal of the record withdraws the claim on the
           owning thread, and a job whose claim is withdrawn leaves the
           font's slot alone (CompileFonts.cpp) */
        std::unordered_map<std::string, std::shared_ptr<FontClaim>> _fontClaims;
        void withdrawFontClaim(std::string_view key);

        struct ImageJob;
        /* Target format and per-worker instances, created where missing */
        void initializeImageCompression();
        void addImagePluginSets();
        /* Job bodies of image compression and the end of a job chain */
        void dispatchImageJob(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, void(AssetCompiler::*body)(JobSystem&, const std::shared_ptr<ImageJob>&));
        void generateMipsAndCompress(JobSystem& jobs, const std::shared_ptr<ImageJob>& job);
        void convolveProbeAndCompress(JobSystem& jobs, const std::shared_ptr<ImageJob>& job);
        /* Whether the job's image slot still holds what the chain started
           from, copied into @p copy when given; when not, the image was
           compiled again (that compile's own chain does the work) and the
           chain is finished */
        bool imageStillCurrent(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, Trade::ImageData* copy = nullptr);
        /* Names the tiles of the job's levels, then encodes them in batches
           together with every worker that joins */
        void compressImage(JobSystem& jobs, const std::shared_ptr<ImageJob>& job);
        struct TileWork;
        /* Tiles of the next batch when @p remaining are left */
        std::size_t batchSize(std::size_t remaining, int workers) const;
        /* A worker's part: batches until none is left; @p joined is true for
           the job that named the tiles. The last worker out assembles. */
        void joinTileBatches(JobSystem& jobs, const std::shared_ptr<ImageJob>& job);
        void takeTileBatches(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, bool joined);
        /* The image's tile lists and image data from its finished tiles */
        void assembleImage(JobSystem& jobs, const std::shared_ptr<ImageJob>& job);
        void finishImageJob(JobSystem& jobs, const std::shared_ptr<ImageJob>& job, std::vector<char> imageData);
        /* Tiles of one image: those the cache has, with their transcoded
           blocks, and the others, returned */
        struct Tile;
        std::vector<Tile*> lookUpTiles(std::span<Tile* const> tiles, const ImageJob& job, BasisImporter& importer);
        /* Encodes tiles the cache did not have, checks that they transcode
           and writes them to the cache */
        void encodeTiles(std::span<Tile* const> tiles, const ImageJob& job, BasisImageConverter& converter,
            BasisImporter& importer);
        /* The GPU format tiles are transcoded to; empty for plain pixels */
        static std::optional<Trade::CompressedPixelFormat> compressedTarget();
        /* The tiles an image had before it was compiled again, by cache
           name, kept by compileImages for the image's next job: a tile
           whose cache entry still holds the same bytes is taken with the
           blocks it was transcoded to then, without running the importer */
        struct PreviousTiles;
        std::unordered_map<std::string, std::shared_ptr<const PreviousTiles>> _previousTiles;
        void keepPreviousTiles(const std::string& key, const EditorSceneData::CompiledImage& slot);
        /* Writes the uncompressed image of @p key to the cache */
        void writeUncompressedImage(std::string_view key, const Trade::ImageData& image);

        ZandelleEditor* _editor = nullptr;
        EditorData* _data = nullptr;
        /* The thread inside a compile step, and how deep */
        std::atomic<std::thread::id> _stepThread{};
        int _stepDepth = 0;
};

}
