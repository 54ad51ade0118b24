#pragma once
// New projects from scratch or from a template, and the npm package template.

#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** Resets the editor to an empty project named @p name, saved to @p path
    when that is not empty (see initProject()). With @p withPackage the npm
    package template goes into the project root, node_modules included.
    Then activates the project. False when initialisation failed. */
ZANDELLE_EXPORT bool newProject(ZandelleEditor& editor, std::string_view name, std::string_view path, bool withPackage);

/** Copies the directory of @p templatePath and the npm package template
    into the directory of @p projectPath, renames the copied project file to
    @p projectPath, loads it, names it @p name and saves it. True when the
    load started; the load's finishing job has run when this returns. */
ZANDELLE_EXPORT bool newTemplateProject(ZandelleEditor& editor, std::string_view name,
    std::string_view projectPath, std::string_view templatePath);

/** Copies the package template under @p templateRoot "templates/package" into
    @p projectRoot without overwriting package.json or js/index.js, then puts
    @p name into package.json; true when package.json was rewritten */
ZANDELLE_EXPORT bool copyPackageTemplate(std::string_view name, std::string_view templateRoot,
    std::string_view projectRoot, bool copyNodeModules);

/** Copies @p source into @p destination breadth first, creating the
    directories; false at the first file that cannot be copied. A source
    that is no directory is copied as a single file. Refuses (false, with an
    error) to copy a directory into itself. */
ZANDELLE_EXPORT bool copyDirectory(std::string_view source, std::string_view destination);

/** Adds the six primitive meshes p0 to p5 of a new project */
void addPrimitiveMeshes(ZandelleEditor& editor);

}
