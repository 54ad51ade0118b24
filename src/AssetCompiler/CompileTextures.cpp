#include "AssetCompiler/AssetCompiler.h"

#include "AssetCompiler/CompileHelpers.h"
#include "Base/Log.h"
#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

using namespace CompileHelpers;

bool AssetCompiler::compileTextures(const ValueAccessRange& range) {
    EditorSceneData& scene = data().scene();
    for(const ValueAccess& r: range) {
        const std::string key = r.key();
        const Data::Id image = ResourceIndex::lookup(resourceIndex.images, r["image"].asString());
        if(!image) {
            Warning{} << "Image for texture" << key << "not compiled, skipping.";
            continue;
        }

        Data::TextureInfo info;
        info.type = r["type"].asInt();
        info.minFilter = r["minFilter"].asInt();
        info.magFilter = r["magFilter"].asInt();
        info.mipFilter = r["mipFilter"].asInt();
        const std::vector<std::int32_t> wrapping = r["wrapping"].asIntArray();
        for(std::size_t i = 0; i != 3 && i < wrapping.size(); ++i) info.wrapping[i] = wrapping[i];
        info.image = image;
        Data::ByteArray texture = Data::createTextureData(info);

        Data::Id& id = resourceIndex.textures[key];
        if(!storeInSlot(id, {"compileTextures", "texture", key}, std::tie(scene.textures), std::move(texture))) continue;
        Data::setTextureDataId(scene.textures[id], id);
    }

    scene.setAssetTypeDirty(AssetType::Textures);
    return true;
}

}
