#pragma once
// Shader loading: gathers the compiled-in, editor and project shader sources
// into the project's shaders section and the editor's shader source manager.

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

ZANDELLE_EXPORT void loadShaders(ZandelleEditor& editor);

}
