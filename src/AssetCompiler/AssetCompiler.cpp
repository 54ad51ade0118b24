#include "AssetCompiler/AssetCompiler.h"

#include <chrono>

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
}

ProjectFile& AssetCompiler::projectFile() const { return data().projectFile(); }

/* The steps in dependency order: pipelines need their shaders, materials
   their pipelines, textures their images, objects their meshes, skins
   their joint objects, components everything else */
const std::vector<CompileStep>& AssetCompiler::compileSteps() {
    using R = const ValueAccessRange&;
    static const std::vector<CompileStep> steps{
        {"settings", "settings", AssetType::Settings, [](AssetCompiler& c, R) { return c.compileSettings(); }, false, true},
        {"shaders", "shaders", AssetType::Shaders, [](AssetCompiler& c, R r) { return c.compileShaders(r); }, false, true},
        {"pipelines", "pipelines", AssetType::Pipelines, [](AssetCompiler& c, R r) { return c.compilePipelines(r); }, false, true},
        {"fonts", "fonts", AssetType::Fonts, [](AssetCompiler& c, R r) { return c.compileFonts(r); }, true, true},
        {"images", "images", AssetType::Images, [](AssetCompiler& c, R r) { return c.compileImages(r); }, true, true},
        {"textures", "textures", AssetType::Textures, [](AssetCompiler& c, R r) { return c.compileTextures(r); }, false, true},
        {"materials", "materials", AssetType::Materials, [](AssetCompiler& c, R r) { return c.compileMaterials(r); }, false, true},
        {"meshes", "meshes", AssetType::Meshes, [](AssetCompiler& c, R r) { return c.compileMeshes(r); }, false, true},
        {"objects", "objects", AssetType::Objects, [](AssetCompiler& c, R r) { return c.compileObjects(r, false); }, false, true},
        {"animations", "animations", AssetType::Animations, [](AssetCompiler& c, R r) { return c.compileAnimations(r); }, false, true},
        {"skins", "skins", AssetType::Skins, [](AssetCompiler& c, R r) { return c.compileSkins(r); }, false, true},
        {"components", "objects", AssetType::Components, [](AssetCompiler& c, R r) { return c.compileObjects(r, true); }, false, true},
        {"languages", "languages", AssetType::Languages, [](AssetCompiler& c, R r) { return c.compileLanguages(r); }, false, false},
    };
    return steps;
}

const CompileStep* AssetCompiler::findCompileStep(std::string_view section) {
    const CompileStep* found = nullptr;
    /* The last row of a section wins: for objects, the one with components */
    for(const CompileStep& step: compileSteps()) if(section == step.section) found = &step;
    return found;
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

bool AssetCompiler::compileStep(const CompileStep& step) {
    StepScope scope{*this};
    ProjectSection* section = projectFile().section(step.section);
    return step.compile(*this, counted(step.assetType, section ? section->range() : ValueAccessRange{}));
}

bool AssetCompiler::compileRecord(std::string_view section, std::string_view key) {
    StepScope scope{*this};
    const CompileStep& step = *findCompileStep(section);
    return step.compile(*this, counted(step.assetType, projectFile().section(section)->rangeForKey(key)));
}

void AssetCompiler::compileAll() {
    StepScope scope{*this};
    lastCompileTimes.clear();
    for(const CompileStep& step: compileSteps()) {
        if(!step.inCompileAll) continue;
        const auto start = std::chrono::steady_clock::now();
        const RunSpanScope span{editor().runRecord.get(), RunSpanKind::Step, step.name};
        compileStep(step);
        lastCompileTimes.push_back({&step, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    }
}

/* Whole sections and single records */

bool AssetCompiler::compileShaders() { return compileStep(*findCompileStep("shaders")); }
bool AssetCompiler::compileShader(std::string_view key) { return compileRecord("shaders", key); }
bool AssetCompiler::compilePipelines() { return compileStep(*findCompileStep("pipelines")); }
bool AssetCompiler::compilePipeline(std::string_view key) { return compileRecord("pipelines", key); }
bool AssetCompiler::compileFonts() { return compileStep(*findCompileStep("fonts")); }
bool AssetCompiler::compileFont(std::string_view key) {
    /* A removed record is no longer built by a font job that has it queued */
    if(!projectFile().fonts()[key].isSetInProject()) withdrawFontClaim(key);
    return compileRecord("fonts", key);
}
bool AssetCompiler::compileImages() { return compileStep(*findCompileStep("images")); }
bool AssetCompiler::compileImage(std::string_view key) {
    /* A removed record takes no result of a compression job still running */
    if(const Data::Id id = ResourceIndex::lookup(resourceIndex.images, key); id && !projectFile().images()[key].isSetInProject()) {
        EditorSceneData& scene = data().scene();
        std::lock_guard<std::mutex> lock{scene.imagesMutex};
        if(id < scene.images.size()) ++scene.images[id].revision;
    }
    return compileRecord("images", key);
}
bool AssetCompiler::compileTextures() { return compileStep(*findCompileStep("textures")); }
bool AssetCompiler::compileTexture(std::string_view key) { return compileRecord("textures", key); }
bool AssetCompiler::compileMaterials() { return compileStep(*findCompileStep("materials")); }
bool AssetCompiler::compileMaterial(std::string_view key) { return compileRecord("materials", key); }
bool AssetCompiler::compileMeshes() { return compileStep(*findCompileStep("meshes")); }
bool AssetCompiler::compileMesh(std::string_view key) { return compileRecord("meshes", key); }
bool AssetCompiler::compileObjects(bool withComponents) {
    StepScope scope{*this};
    return compileObjects(counted(AssetType::Objects, projectFile().objects().range()), withComponents);
}
bool AssetCompiler::compileObject(std::string_view key, bool withComponents) {
    StepScope scope{*this};
    return compileObjects(counted(AssetType::Objects, projectFile().objects().rangeForKey(key)), withComponents);
}

bool AssetCompiler::compileAnimations() { return compileStep(*findCompileStep("animations")); }
bool AssetCompiler::compileAnimation(std::string_view key) { return compileRecord("animations", key); }
bool AssetCompiler::compileSkins() { return compileStep(*findCompileStep("skins")); }
bool AssetCompiler::compileSkin(std::string_view key) { return compileRecord("skins", key); }
bool AssetCompiler::compileLanguages() { return compileStep(*findCompileStep("languages")); }
/* The record of the key even when it was deleted: compiling a deleted
   language frees its slot */
bool AssetCompiler::compileLanguage(std::string_view key) {
    StepScope scope{*this};
    return compileLanguages(counted(AssetType::Languages, ValueAccessRange{projectFile().languages().member(key)}));
}

}
