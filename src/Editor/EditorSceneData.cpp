#include "Editor/EditorSceneData.h"

namespace ZandelleEngine {

EditorSceneData::EditorSceneData() {
    for(auto& g: assetTypeGenerations) g.store(0);
}

void EditorSceneData::setAssetTypeDirty(AssetType type) {
    const std::uint32_t value = ++assetTypeGenerations[std::size_t(type)];
    currentGeneration.store(value);
}

}
