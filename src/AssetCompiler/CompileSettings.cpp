#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* The physics world, app icons and id scheme: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compileSettings() {
    data().scene().setAssetTypeDirty(AssetType::Settings);
    return true;
}

}
