#pragma once
// New projects from scratch or from a template, and the npm package template.

#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** Copies the package template under @p templateRoot "templates/package" into
    @p projectRoot without overwriting package.json or js/index.js, then puts
    @p name into package.json; true when package.json was rewritten */
ZANDELLE_EXPORT bool copyPackageTemplate(std::string_view name, std::string_view templateRoot,
    std::string_view projectRoot, bool copyNodeModules);

/** Adds the six primitive meshes p0 to p5 of a new project */
void addPrimitiveMeshes(ZandelleEditor& editor);

}
