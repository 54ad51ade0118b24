#pragma once
// Pieces of project loading that the command line uses on their own.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Tools/ProjectMigrations.h"
#include "Tools/Version.h"

namespace ZandelleEngine {

class ProjectFile;
class ZandelleEditor;

/** settings/project/version of @p file; empty, after one Error line, when it
    is absent or not three or four integers */
ZANDELLE_EXPORT std::optional<ProjectVersion> readProjectVersion(ProjectFile& file);

/** The migration sequence as loading runs it, with the loader's work at its
    fixed points. With @p dryRun nothing outside the editor is touched: no
    npm set-up copy, no npm install, and notes go to @p projectRoot, which
    the caller makes a scratch directory. */
ZANDELLE_EXPORT bool runLoadMigrations(ZandelleEditor& editor, const ProjectVersion& version,
    std::string_view projectRoot, bool dryRun, std::vector<MigrationStep>* report);

/** Parses the project at @p path into a fresh project of @p editor and
    migrates it in memory only. @p report gets the migrations that ran,
    @p notes the files the migrations would write into the project root. */
ZANDELLE_EXPORT bool dryRunMigrations(std::string_view path, ZandelleEditor& editor,
    std::vector<MigrationStep>& report, std::vector<std::string>& notes);

}
