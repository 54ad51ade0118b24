#include "Editor/EditorSceneData.h"

#include "Engine/Components.h"
#include "Engine/PhysXManager.h"

namespace ZandelleEngine {

EditorSceneData::EditorSceneData(): _main{std::make_unique<DynamicSceneGraph>()} {
    for(auto& g: assetTypeGenerations) g.store(0);

    _main->addComponentManager(std::make_unique<CollisionManager>());
    _main->addComponentManager(std::make_unique<PhysXManager>());
    _main->addComponentManager(std::make_unique<InputManager>());
    _main->addComponentManager(std::make_unique<ViewManager>());
    _main->addComponentManager(std::make_unique<AnimationManager>());
    _main->addComponentManager(std::make_unique<TextManager>());
    _main->addComponentManager(std::make_unique<LightManager>());
    _main->addComponentManager(std::make_unique<MeshManager>());
    _main->addComponentManager(std::make_unique<JavaScriptManager>());

    meshes.emplace_back();
    meshBoundingSpheres.emplace_back(0.0f);
    skins.emplace_back();
    animations.emplace_back();
    runtimeAnimations.emplace_back();
    targetedAnimations.emplace_back();
    shaders.emplace_back();
    shaderSources.emplace_back();
    includeShaders.emplace_back();
    pipelines.emplace_back();
    pipelineAttributes.push_back(0);
    pipelineKinds.emplace_back();
    materials.emplace_back();
    materialAlphaMasks.emplace_back();
    images.emplace_back();
    streamedImages.push_back(false);
    textures.emplace_back();
}

EditorSceneData::~EditorSceneData() = default;

void EditorSceneData::setAssetTypeDirty(AssetType type) {
    const std::uint32_t value = ++assetTypeGenerations[std::size_t(type)];
    currentGeneration.store(value);
}

}
