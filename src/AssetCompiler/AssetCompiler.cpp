#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"
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
    meshOptimizer = std::make_unique<MeshOptimizerSceneConverter>();
}

ProjectFile& AssetCompiler::projectFile() const { return data().projectFile(); }

void AssetCompiler::compileAll() {
    compileSettings();
    compileShaders();
    compilePipelines();
    compileFonts();
    compileImages();
    compileTextures();
    compileMaterials();
    compileMeshes();
    compileObjects(false);
    compileAnimations();
    compileSkins();
    compileObjects(true);
}

/* Whole sections and single records */

bool AssetCompiler::compileShaders() { return compileShaders(projectFile().shaders().range()); }
bool AssetCompiler::compileShader(std::string_view key) { return compileShaders(projectFile().shaders().rangeForKey(key)); }
bool AssetCompiler::compilePipelines() { return compilePipelines(projectFile().pipelines().range()); }
bool AssetCompiler::compilePipeline(std::string_view key) { return compilePipelines(projectFile().pipelines().rangeForKey(key)); }
bool AssetCompiler::compileFonts() { return compileFonts(projectFile().fonts().range()); }
bool AssetCompiler::compileFont(std::string_view key) { return compileFonts(projectFile().fonts().rangeForKey(key)); }
bool AssetCompiler::compileImages() { return compileImages(projectFile().images().range()); }
bool AssetCompiler::compileImage(std::string_view key) { return compileImages(projectFile().images().rangeForKey(key)); }
bool AssetCompiler::compileTextures() { return compileTextures(projectFile().textures().range()); }
bool AssetCompiler::compileTexture(std::string_view key) { return compileTextures(projectFile().textures().rangeForKey(key)); }
bool AssetCompiler::compileMaterials() { return compileMaterials(projectFile().materials().range()); }
bool AssetCompiler::compileMaterial(std::string_view key) { return compileMaterials(projectFile().materials().rangeForKey(key)); }
bool AssetCompiler::compileMeshes() { return compileMeshes(projectFile().meshes().range()); }
bool AssetCompiler::compileMesh(std::string_view key) { return compileMeshes(projectFile().meshes().rangeForKey(key)); }
bool AssetCompiler::compileObjects(bool withComponents) { return compileObjects(projectFile().objects().range(), withComponents); }
bool AssetCompiler::compileObject(std::string_view key, bool withComponents) { return compileObjects(projectFile().objects().rangeForKey(key), withComponents); }
bool AssetCompiler::compileAnimations() { return compileAnimations(projectFile().animations().range()); }
bool AssetCompiler::compileAnimation(std::string_view key) { return compileAnimations(projectFile().animations().rangeForKey(key)); }
bool AssetCompiler::compileSkins() { return compileSkins(projectFile().skins().range()); }
bool AssetCompiler::compileSkin(std::string_view key) { return compileSkins(projectFile().skins().rangeForKey(key)); }
bool AssetCompiler::compileLanguages() { return compileLanguages(projectFile().languages().range()); }
/* The record of the key even when it was deleted: compiling a deleted
   language frees its slot */
bool AssetCompiler::compileLanguage(std::string_view key) { return compileLanguages(ValueAccessRange{projectFile().languages()[key]}); }

}
