#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* Images, their compression jobs and cache: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compileImages(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Images);
    return true;
}

}
