#pragma once
// The handlers that turn document edits into recompilation, one per top-level
// document path.

#include <cstddef>
#include <string>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** Registers every handler on the editor's change tracker, in the fixed
    order: "animations", "meshes", "objects", "materials", "shaders",
    "images", "textures", "skins", "pipelines", "fonts", "languages",
    "sourcePaths", "settings" */
ZANDELLE_EXPORT void registerChangeHandlers(ZandelleEditor& editor);

/** Hands each path of "settings/scripting/sourcePaths" to the scripting
    component: a path starting with "/" below the editor's resources, any
    other below the project root */
ZANDELLE_EXPORT void addScriptingSourcePaths(ZandelleEditor& editor);
/** The project root joined with "settings/scripting/entryPoint" */
ZANDELLE_EXPORT std::string scriptingEntryPath(ZandelleEditor& editor);

/** What compileListedObjects() did */
struct ListedObjects {
    std::size_t changed = 0, moved = 0;
};

/** The editor's side of the object lists that the handlers fill: recompiles
    each object of changedObjects with its components and the transform of
    each object of transformedObjects that did not change otherwise, once
    per object, and empties both lists. Objects whose record is gone are
    skipped. */
ZANDELLE_EXPORT ListedObjects compileListedObjects(ZandelleEditor& editor);

}
