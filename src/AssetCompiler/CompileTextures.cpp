#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* Textures: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compileTextures(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Textures);
    return true;
}

}
