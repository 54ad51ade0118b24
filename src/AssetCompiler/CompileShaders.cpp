#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* Shader compilation and its include stage: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compileShaders(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Shaders);
    return true;
}

}
