#include "AssetCompiler/AssetCompiler.h"

#include <chrono>

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

bool AssetCompiler::compileStep(const CompileStep& step) {
    ProjectSection* section = projectFile().section(step.section);
    return step.compile(*this, counted(step.assetType, section ? section->range() : ValueAccessRange{}));
}

void AssetCompiler::compileAll() {
    lastCompileTimes.clear();
    for(const CompileStep& step: compileSteps()) {
        if(!step.inCompileAll) continue;
        const auto start = std::chrono::steady_clock::now();
        compileStep(step);
        lastCompileTimes.push_back({&step, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    }
}

/* Whole sections and single records */

namespace {

bool wholeSection(AssetCompiler& compiler, std::string_view section) {
    return compiler.compileStep(*AssetCompiler::findCompileStep(section));
}

}

bool AssetCompiler::compileShaders() { return wholeSection(*this, "shaders"); }
bool AssetCompiler::compileShader(std::string_view key) { return compileShaders(counted(AssetType::Shaders, projectFile().shaders().rangeForKey(key))); }
bool AssetCompiler::compilePipelines() { return wholeSection(*this, "pipelines"); }
bool AssetCompiler::compilePipeline(std::string_view key) { return compilePipelines(counted(AssetType::Pipelines, projectFile().pipelines().rangeForKey(key))); }
bool AssetCompiler::compileFonts() { return wholeSection(*this, "fonts"); }
bool AssetCompiler::compileFont(std::string_view key) { return compileFonts(counted(AssetType::Fonts, projectFile().fonts().rangeForKey(key))); }
bool AssetCompiler::compileImages() { return wholeSection(*this, "images"); }
bool AssetCompiler::compileImage(std::string_view key) { return compileImages(counted(AssetType::Images, projectFile().images().rangeForKey(key))); }
bool AssetCompiler::compileTextures() { return wholeSection(*this, "textures"); }
bool AssetCompiler::compileTexture(std::string_view key) { return compileTextures(counted(AssetType::Textures, projectFile().textures().rangeForKey(key))); }
bool AssetCompiler::compileMaterials() { return wholeSection(*this, "materials"); }
bool AssetCompiler::compileMaterial(std::string_view key) { return compileMaterials(counted(AssetType::Materials, projectFile().materials().rangeForKey(key))); }
bool AssetCompiler::compileMeshes() { return wholeSection(*this, "meshes"); }
bool AssetCompiler::compileMesh(std::string_view key) { return compileMeshes(counted(AssetType::Meshes, projectFile().meshes().rangeForKey(key))); }
bool AssetCompiler::compileObjects(bool withComponents) { return compileObjects(counted(AssetType::Objects, projectFile().objects().range()), withComponents); }
bool AssetCompiler::compileObject(std::string_view key, bool withComponents) { return compileObjects(counted(AssetType::Objects, projectFile().objects().rangeForKey(key)), withComponents); }
bool AssetCompiler::compileAnimations() { return wholeSection(*this, "animations"); }
bool AssetCompiler::compileAnimation(std::string_view key) { return compileAnimations(counted(AssetType::Animations, projectFile().animations().rangeForKey(key))); }
bool AssetCompiler::compileSkins() { return wholeSection(*this, "skins"); }
bool AssetCompiler::compileSkin(std::string_view key) { return compileSkins(counted(AssetType::Skins, projectFile().skins().rangeForKey(key))); }
bool AssetCompiler::compileLanguages() { return wholeSection(*this, "languages"); }
/* The record of the key even when it was deleted: compiling a deleted
   language frees its slot */
bool AssetCompiler::compileLanguage(std::string_view key) { return compileLanguages(counted(AssetType::Languages, ValueAccessRange{projectFile().languages().member(key)})); }

}
