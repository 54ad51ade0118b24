#pragma once
// The handlers that turn document edits into recompilation, one per top-level
// document path.

namespace ZandelleEngine {

class ZandelleEditor;

/** Registers every handler on the editor's change tracker, in the fixed
    order: "animations", "meshes", "objects", "materials", "shaders",
    "images", "textures", "skins", "pipelines", "fonts", "languages",
    "sourcePaths", "settings" */
void registerChangeHandlers(ZandelleEditor& editor);

}
