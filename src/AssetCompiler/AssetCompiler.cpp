#include "AssetCompiler/AssetCompiler.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

void AssetCompiler::initialize(ZandelleEditor& editor) {
    _editor = &editor;
    _data = &editor.data();
}

void AssetCompiler::compileAll() {
    /* The compile steps are not there yet */
}

}
