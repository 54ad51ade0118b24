#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* Animation packing and target binding: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compileAnimations(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Animations);
    return true;
}

}
