#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

/* The font build job and its cache: not compiled yet, the step reports an
   empty run. The finished font job bumps the fonts counter; an empty run bumps
   it at once. */
bool AssetCompiler::compileFonts(const ValueAccessRange&) {
    data().scene().setAssetTypeDirty(AssetType::Fonts);
    return true;
}

}
