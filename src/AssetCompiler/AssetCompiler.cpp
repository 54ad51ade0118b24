#include "AssetCompiler/AssetCompiler.h"

#include <chrono>

#include <fmt/format.h>

#include "Base/Assert.h"

#include "Editor/ZandelleEditor.h"
#include "Engine/Basis.h"
#include "Engine/ImageTools.h"
#include "Engine/MeshOptimizer.h"

namespace ZandelleEngine {

Data::Id ResourceIndex::lookup(const Map& map, std::string_view key) {
    if(key.empty()) return 0;
    auto found = map.find(key);
    return found == map.end() ? Data::Id(0) : found->second;
}

void ResourceIndex::clear() {
    for(Map* map: {&animations, &objects, &meshes, &images, &textures, &shaders, &includeShaders,
                   &materials, &skins, &pipelines, &pipelineUpdates, &fonts, &languages})
        map->clear();
}

AssetCompiler::AssetCompiler() = default;
AssetCompiler::~AssetCompiler() = default;

void AssetCompiler::initialize(ZandelleEditor& editor) {
    _editor = &editor;
    _data = &editor.data();
    resourceIndex.clear();
    scriptComponentOrigins.clear();
    while(!_fontClaims.empty()) withdrawFontClaim(std::string{_fontClaims.begin()->first});
    /* Pipeline id 0 is "none": its placeholder has no parameters */
    pipelineMaterialDefinitions.assign(1, std::make_shared<const MaterialDefinition>());
    meshOptimizer = std::make_unique<MeshOptimizerSceneConverter>();
    initializeImageCompression();
    compileCache.configureShared(editor.sharedCacheUrl, editor.jobSystem ? editor.jobSystem->workerCount() : 0);
}

ProjectFile& AssetCompiler::projectFile() const { return data().projectFile(); }

/* The steps in dependency order: pipelines need their shaders, materials
   their pipelines, textures their images, objects their meshes, skins
   their joint objects, components everything else */
const std::vector<CompileStep>& AssetCompiler::compileSteps() {
    using R = const ValueAccessRange&;
    using C = AssetCompiler&;
    /* A removed font is no longer built by a font job that has it queued */
    const auto forgetFont = [](C c, std::string_view key) { c.withdrawFontClaim(key); };
    /* A removed image takes no result of a compression job still running */
    const auto forgetImage = [](C c, std::string_view key) {
        const Data::Id id = ResourceIndex::lookup(c.resourceIndex.images, key);
        if(!id) return;
        EditorSceneData& scene = c.data().scene();
        std::lock_guard<std::mutex> lock{scene.imagesMutex};
        if(id < scene.images.size()) ++scene.images[id].revision;
    };
    static const std::vector<CompileStep> steps{
        {"settings", "settings", AssetType::Settings, [](C c, R) { return c.compileSettings(); }, false, true, nullptr, false},
        {"shaders", "shaders", AssetType::Shaders, [](C c, R r) { return c.compileShaders(r); }, false, true, nullptr, false},
        {"pipelines", "pipelines", AssetType::Pipelines, [](C c, R r) { return c.compilePipelines(r); }, false, true, nullptr, false},
        {"fonts", "fonts", AssetType::Fonts, [](C c, R r) { return c.compileFonts(r); }, true, true, forgetFont, false},
        {"images", "images", AssetType::Images, [](C c, R r) { return c.compileImages(r); }, true, true, forgetImage, false},
        {"textures", "textures", AssetType::Textures, [](C c, R r) { return c.compileTextures(r); }, false, true, nullptr, false},
        {"materials", "materials", AssetType::Materials, [](C c, R r) { return c.compileMaterials(r); }, false, true, nullptr, false},
        {"meshes", "meshes", AssetType::Meshes, [](C c, R r) { return c.compileMeshes(r); }, false, true, nullptr, false},
        {"objects", "objects", AssetType::Objects, [](C c, R r) { return c.compileObjects(r, false); }, false, true, nullptr, false},
        {"animations", "animations", AssetType::Animations, [](C c, R r) { return c.compileAnimations(r); }, false, true, nullptr, false},
        {"skins", "skins", AssetType::Skins, [](C c, R r) { return c.compileSkins(r); }, false, true, nullptr, false},
        {"components", "objects", AssetType::Components, [](C c, R r) { return c.compileObjects(r, true); }, false, true, nullptr, false},
        /* Compiling a deleted language frees its slot */
        {"languages", "languages", AssetType::Languages, [](C c, R r) { return c.compileLanguages(r); }, false, false, nullptr, true},
    };
    return steps;
}

/* Marks the calling thread as the one inside a compile step; nested steps
   of the same thread are fine, a second thread is a broken contract */
class AssetCompiler::StepScope {
    public:
        explicit StepScope(AssetCompiler& compiler): _compiler{compiler} {
            const std::thread::id self = std::this_thread::get_id();
            std::thread::id none{};
            if(_compiler._stepThread.load() != self && !_compiler._stepThread.compare_exchange_strong(none, self))
                fatal("AssetCompiler: a compile step was entered while another thread runs one");
            ++_compiler._stepDepth;
        }
        ~StepScope() {
            if(--_compiler._stepDepth == 0) _compiler._stepThread.store(std::thread::id{});
        }
    private:
        AssetCompiler& _compiler;
};

bool AssetCompiler::compileStep(const CompileStep& step, const std::vector<std::string>* keys) {
    StepScope scope{*this};
    ValueAccessRange range;
    if(ProjectSection* section = projectFile().section(step.section)) {
        if(!keys) range = section->range();
        else for(const std::string& key: *keys) {
            ValueAccess record = section->member(key);
            if(step.forget && !record.isSetInProject()) step.forget(*this, key);
            if(step.seesRemoved || record.hasValue()) range.push_back(std::move(record));
        }
    }
    StepCount& count = stepCounts[std::size_t(step.assetType)];
    ++count.calls;
    count.records += range.size();
    return step.compile(*this, range);
}

namespace {

const CompileStep& stepNamed(std::string_view name) {
    for(const CompileStep& step: AssetCompiler::compileSteps()) if(name == step.name) return step;
    fatal(fmt::format("AssetCompiler::compile(): no step named {}", name));
}

}

bool AssetCompiler::compile(std::string_view step) { return compileStep(stepNamed(step), nullptr); }

bool AssetCompiler::compile(std::string_view step, const std::vector<std::string>& keys) {
    return compileStep(stepNamed(step), &keys);
}

void AssetCompiler::compileAll() {
    StepScope scope{*this};
    lastCompileTimes.clear();
    for(const CompileStep& step: compileSteps()) {
        if(!step.inCompileAll) continue;
        const auto start = std::chrono::steady_clock::now();
        const RunSpanScope span{editor().runRecord.get(), RunSpanKind::Step, step.name};
        compileStep(step, nullptr);
        lastCompileTimes.push_back({&step, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    }
    lastCompileEnd = std::chrono::steady_clock::now();
}

}
