#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* Languages: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compileLanguages(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Languages);
    return true;
}

}
