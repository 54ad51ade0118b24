#pragma once
// The migration sequence: brings a project document written by an older
// editor up to the current layout, in memory. Each migration is an exported
// function of ZandelleEngine::Migration (declared in Tools/Migrations.h).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Base/Export.h"
#include "Tools/Version.h"

namespace ZandelleEngine {

class ProjectFile;

/** Work of the loader that stands at fixed points inside the sequence */
struct MigrationHooks {
    /** Always, after the 0.9.0 shader-link migration and before the 0.8.5
        shaders-to-pipelines one: shader loading and the default text
        material's pipeline */
    std::function<void()> loadShaders;
    /** Inside the 1.0.0 group, after the bundler migration, when
        settings/scripting/bundlingType was not set in the project before the
        group ran; the sequence prints "Copy npm setup files (=> 1.0.0)" first */
    std::function<void()> copyNpmSetupFiles;
    /** Always, after the 1.0.0 group and before the 1.0.4 one (the hook itself
        checks the editor's installDependenciesOnLoad flag) */
    std::function<void()> installDependencies;
};

/** What one migration did, for `zandelle upgrade --dry-run` */
struct MigrationStep {
    std::string name;                       /**< the function's name */
    std::vector<std::string> changedRecords; /**< "section/key" of each top-level record it changed ("settings" for settings) */
};

/** Runs every migration the stored @p version needs, in the fixed order, with
    their Debug announcements. @p projectRoot is where the augmented-reality
    migration writes its note. False when a migration cannot complete (a
    pipeline it needs is missing); the document may then be half migrated.
    When @p report is given, every migration that ran is appended to it. */
ZANDELLE_EXPORT bool runMigrations(ProjectFile& file, const ProjectVersion& version, std::string_view projectRoot,
    const MigrationHooks& hooks, std::vector<MigrationStep>* report = nullptr);

}
