#include "Tools/ChangeHandlers.h"

#include "Editor/ZandelleEditor.h"

namespace ZandelleEngine {

void registerChangeHandlers(ZandelleEditor& editor) {
    /* What each handler recompiles arrives with the compile steps; the
       registry and its order are fixed now */
    for(const char* path: {"animations", "meshes", "objects", "materials", "shaders", "images", "textures",
                           "skins", "pipelines", "fonts", "languages", "sourcePaths", "settings"}) {
        void* userData = std::string_view{path} == "settings" ? static_cast<void*>(&editor.data()) : nullptr;
        editor.changeTracker->registerHandler(path, [](const Change&, void*) {}, userData);
    }
}

}
