#pragma once
// The project operations of the editor: loading, saving, creating and
// initialising projects, plug-in trust, and the steps project loading runs at
// fixed points. Every operation receives the editor's main object and runs on
// the editor's main thread; long work is dispatched to its job system.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Tools/Version.h"

namespace ZandelleEngine {

class ZandelleEditor;

/** Asks for a project file with the open dialog and loads it. Empty when
    nothing was chosen or loading failed. */
ZANDELLE_EXPORT std::optional<int> loadProject(ZandelleEditor& editor);

/** Loads the project file at @p path, migrating it in memory. Empty when
    loading failed; otherwise the id of the finishing job, which reloads the
    shaders, runs the late migration and activates the project (scripting,
    watches, a full compile). */
ZANDELLE_EXPORT std::optional<int> loadProject(std::string_view path, ZandelleEditor& editor);

/** Makes the loaded project the active one: scripting entry point and source
    paths, watches, the editor service, remote devices, a full compile and
    the project-loaded listeners. */
ZANDELLE_EXPORT void activateProject(ZandelleEditor& editor, bool restartWatching, bool restartService);

/** Saves to the project's own file, or asks for a path with the save dialog
    when @p saveAs is set or the project was never saved. */
ZANDELLE_EXPORT bool saveProject(ZandelleEditor& editor, bool saveAs);

/** Saves to @p path (".zdp" is appended when missing), stamping the current
    version; writes ".editor/state.json" beside it. False, with the old file
    untouched, when the project file could not be written. */
ZANDELLE_EXPORT bool saveProject(std::string_view path, ZandelleEditor& editor);

/** Resets the editor to an empty project with the built-in resources. A
    non-empty @p name becomes the project name; a non-empty @p path saves
    the new project there. */
ZANDELLE_EXPORT bool initProject(ZandelleEditor& editor, std::string_view name, std::string_view path);

/** The path of a project setting: one starting with "/" lies in the editor's
    resources directory, any other relative path in the project root.
    Backslashes of a project written on Windows are read as "/". */
ZANDELLE_EXPORT std::string resolveProjectPath(ZandelleEditor& editor, std::string_view path);

/* Per-user project lists, in the folder APPDATA/ZandelleEngine */

/** The per-user folder, forward slashes */
ZANDELLE_EXPORT std::string userSettingsDirectory();
/** Moves @p path (made absolute) to the head of the recent-projects list.
    False, with the list untouched, when the list exists but cannot be read,
    when the path holds a line break (one Error line) or when the write
    failed (silently). */
ZANDELLE_EXPORT bool addRecentProject(std::string_view path);
/** The recent-projects list, most recent first */
ZANDELLE_EXPORT std::vector<std::string> readRecentProjects();
/** Appends the trusted project files that still exist to @p out. False only
    when the list exists but cannot be read. */
ZANDELLE_EXPORT bool readPluginEnabledProjects(std::vector<std::string>& out);
/** Trusts (@p enable) or distrusts the project file at @p path. False, with
    one Error line and the list untouched, when the list cannot be read or
    written or the path holds a line break. */
ZANDELLE_EXPORT bool setPluginsEnabledForProject(std::string_view path, bool enable);

}
