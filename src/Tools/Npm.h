#pragma once
// npm integration: installing the project's dependencies in a job and
// keeping the engine's API package current.

#include <optional>

#include "Base/Export.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** Starts "npm install" for the project as a job; its id, or empty when the
    project has no package.json */
ZANDELLE_EXPORT std::optional<int> npmInstall(ZandelleEditor& editor, bool preferOffline);

/** Upgrades @zandelleengine/api in the project when it is older than the
    editor's; true when it did */
ZANDELLE_EXPORT bool upgradeApiPackage(ZandelleEditor& editor);

}
