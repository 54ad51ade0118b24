#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* Materials: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compileMaterials(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Materials);
    return true;
}

}
