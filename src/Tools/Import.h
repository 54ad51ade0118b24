#pragma once
// Importing scene, image and font files into the project.

#include <string_view>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

enum class LoadMode: int {
    Default = 0,
    /** Re-import of a file the project already lists */
    Reimport = 1
};

/** Imports the file at @p path; @p wait defers compiling what it added */
ZANDELLE_EXPORT bool loadFile(std::string_view path, ZandelleEditor& editor, LoadMode mode, bool wait);

}
