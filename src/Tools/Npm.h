#pragma once
// npm integration: installing the project's dependencies in a job and
// keeping the engine's API package current.

#include <optional>
#include <string>
#include <string_view>

#include "Base/Export.h"
#include "Devices/Command.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** Runs the editor's npm executable (`ZandelleEditor::npmExecutable`) with
    @p arguments in the project root and waits for it; its output, or a
    `CommandError` with everything it printed. */
CommandResult npm(ZandelleEditor& editor, std::string_view arguments);

/** Starts "npm install" for the project as a job with a progress record
    ("Npm install") in the editor's task list; with @p preferOffline npm
    uses its cache first. The job id, or empty when the project has no
    package.json or the editor has no npm executable set (npm must not
    run). */
ZANDELLE_EXPORT std::optional<int> npmInstall(ZandelleEditor& editor, bool preferOffline);

/** The version of @p packageName that package-lock.json in @p projectRoot
    records as installed; empty when the file is missing, unreadable or not
    JSON, or does not name the package */
std::string readInstalledPackageVersion(std::string_view projectRoot, std::string_view packageName);

/** Whether the @zandelleengine/api that package-lock.json in @p projectRoot
    records is older than 1.1.0, so that upgradeApiPackage() would run npm */
ZANDELLE_EXPORT bool isApiPackageOutdated(std::string_view projectRoot);

/** Upgrades @zandelleengine/api in the project when the installed one is
    older than 1.1.0, and tells the user with a message; true when it did.
    Runs nothing when the editor has no npm executable set (npm must not
    run). */
ZANDELLE_EXPORT bool upgradeApiPackage(ZandelleEditor& editor);

}
