#pragma once
// Importing scene, image and font files into the project.

#include <string_view>

#include "Base/Export.h"
#include "Editor/SceneLoader.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** The path ends in a scene, image or font extension; case-sensitive */
ZANDELLE_EXPORT bool isScenePath(std::string_view path);
ZANDELLE_EXPORT bool isImagePath(std::string_view path);
ZANDELLE_EXPORT bool isFontPath(std::string_view path);

/** The editor scene's list of imported images holds @p path */
ZANDELLE_EXPORT bool isImageLoaded(std::string_view path, ZandelleEditor& editor);

/** Asks for files with the editor's open dialog and imports each; true when
    at least one was chosen and all imported */
ZANDELLE_EXPORT bool loadFile(ZandelleEditor& editor);

/** Imports the file at @p path, by its lower-cased extension an image, a font
    or else a scene; @p wait defers compiling what it added */
ZANDELLE_EXPORT bool loadFile(std::string_view path, ZandelleEditor& editor, LoadMode mode, bool wait);

ZANDELLE_EXPORT bool loadScene(std::string_view path, ZandelleEditor& editor, LoadMode mode,
    std::string_view importerName, bool wait);
ZANDELLE_EXPORT bool loadImage(std::string_view path, ZandelleEditor& editor, bool wait);
ZANDELLE_EXPORT bool loadFont(std::string_view path, ZandelleEditor& editor, bool wait);

}
