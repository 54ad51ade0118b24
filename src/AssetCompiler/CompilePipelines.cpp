#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* Pipelines: not compiled yet, the step reports an
   empty run. */
bool AssetCompiler::compilePipelines(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Pipelines);
    return true;
}

}
