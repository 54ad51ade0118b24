// The whole migration sequence: the steps each stored version runs, the report, failure, the frozen
// project of every editor version (its log shows when the npm setup is copied), records of the wrong shape.

#include <algorithm>

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/MigrationTestHelpers.h"

using namespace ZandelleEngine;
using Testing::jsonAt;

namespace {

/* Runs the sequence and lists the steps that ran, hooks in their place */
std::vector<std::string> stepsRun(const ProjectVersion& version) {
    ProjectFile file;
    EXPECT_TRUE(file.parse(R"({"settings": {}})"));
    std::vector<MigrationStep> report;
    /* Each hook call with the length the report had then */
    std::vector<std::pair<std::size_t, std::string>> calls;
    auto hook = [&](const char* name) { return [&, name]{ calls.emplace_back(report.size(), name); }; };
    MigrationHooks hooks{hook("hook loadShaders"), hook("hook copyNpmSetupFiles"), hook("hook installDependencies")};
    hooks.loadShaders = [&, record = hooks.loadShaders]{ record(); Testing::addDefaultPipelines(file); };
    Testing::LogCapture log;
    EXPECT_TRUE(runMigrations(file, version, "", hooks, &report));

    std::vector<std::string> out;
    auto call = calls.begin();
    for(std::size_t i = 0; i <= report.size(); ++i) {
        for(; call != calls.end() && call->first == i; ++call) out.push_back(call->second);
        if(i != report.size() && report[i].name.starts_with("migration_")) out.push_back(report[i].name);
    }
    return out;
}

}

/* Step order and the frozen projects' versions are checked through their expected logs
   (announcements and hooks in order); these are the thresholds no frozen project stands on */
TEST(MigrationSequence, RunsTheStepsOfTheStoredVersion) {
    /* A prerelease of the oldest version runs every step; names come from
       the functions called, but for two that are spelled out */
    const std::vector<std::string> all = stepsRun({0, 6, 0, 1});
    ASSERT_EQ(all.size(), 42u);
    EXPECT_EQ(all[9], "migration_0_8_5_updateShadersToPipelines");
    EXPECT_EQ(all[34], "migration_1_0_0_arFramework");
    /* The steps @p out, then every step from @p first on but @p except, counting from 1 */
    auto steps = [&](std::vector<int> out, int first, std::vector<int> except = {}) {
        for(int i = first; i <= 42; ++i)
            if(std::find(except.begin(), except.end(), i) == except.end()) out.push_back(i);
        std::vector<std::string> names;
        for(int i: out) names.push_back(all[i - 1]);
        return names;
    };
    EXPECT_EQ(stepsRun({0, 7, 3, 0}), steps({}, 3, {11}));
    EXPECT_EQ(stepsRun({0, 8, 6, 0}), steps({7, 8, 9}, 13));
    /* 0.8.10 is newer than 0.8.9 */
    EXPECT_EQ(stepsRun({0, 8, 10, 0}), steps({8, 9}, 14));
}

TEST(MigrationSequence, EmptyHooksAndAnEmptyDocument) {
    /* Not even settings; the pipelines loading shaders would add are there */
    auto file = Testing::project("{}");
    Testing::addDefaultPipelines(*file);
    Testing::LogCapture log;
    EXPECT_TRUE(runMigrations(*file, {0, 6, 0, 1}, "", MigrationHooks{}));
    EXPECT_EQ(log.problems(), "");
    EXPECT_EQ(jsonAt(*file, "settings/scripting/bundlingType"), "\"esbuild\"");
}

TEST(MigrationSequence, MissingDefaultPipelineStopsTheSequence) {
    auto file = Testing::project(R"({"materials": {"1": {"shader": "Phong"}}, "settings": {}})");
    bool installed = false;
    /* Every default pipeline but one */
    const MigrationHooks hooks{[&]{
        Testing::addDefaultPipelines(*file);
        file->pipelines()[file->pipelines().resourceByName("Particle")].remove();
    }, {}, [&]{ installed = true; }};
    Testing::LogCapture log;
    EXPECT_FALSE(runMigrations(*file, {0, 8, 4, 0}, "", hooks));
    EXPECT_EQ(log.error(), "Tools/ProjectMigrations: migration_0_8_5_updateShadersToPipelines(): "
        "missing default pipeline pipelineIdParticle, no pipeline named Particle\n");
    EXPECT_FALSE(installed);
    EXPECT_EQ(jsonAt(*file, "materials"), R"({"1":{"shader":"Phong"}})");
}

TEST(MigrationSequence, ReportNamesTheChangedRecords) {
    auto file = Testing::project(R"({"objects": {"1": {"skin": "1", "components": [
            {"type": "mesh", "mesh": {"skin": "2"}}]}, "2": {"name": "untouched"}},
        "skins": {"1": {"joints": ["2"]}, "2": {"joints": ["2"]}},
        "settings": {"rendering": {"fontCharacters": "abc"}}})");
    std::vector<MigrationStep> report;
    Testing::LogCapture log;
    ASSERT_TRUE(runMigrations(*file, {0, 9, 3, 0}, "", Testing::loggingHooks(*file), &report));
    auto changes = [&](std::string_view name) {
        for(const MigrationStep& step: report) if(step.name == name) return step.changedRecords;
        ADD_FAILURE() << name << " did not run";
        return std::vector<std::string>{};
    };
    /* Records, settings as a whole, a section that appears, nothing; a whole
       array ("files") is in the command-line test of upgrade --dry-run */
    EXPECT_EQ(changes("migration_0_9_4_mergeDuplicateSkins"), (std::vector<std::string>{"objects/1", "skins/2"}));
    EXPECT_EQ(changes("migration_0_9_4_moveFontToResource"), (std::vector<std::string>{"settings", "fonts/1"}));
    EXPECT_EQ(changes("migration_0_9_4_removeAlphaFeature"), std::vector<std::string>{});
    /* Hooks appear only when they changed the document */
    EXPECT_EQ(report.front().name, "loadShaders");
    EXPECT_EQ(std::count_if(report.begin(), report.end(),
        [](const MigrationStep& s) { return s.name == "installDependencies"; }), 0);
}

TEST(MigrationProjectFiles, MigrateToExpectedDocumentAndLog) {
    for(const char* version: {"0.6.0", "0.7.2", "0.7.5", "0.8.2", "0.8.5", "0.8.6-rc1", "0.8.9", "0.9.0", "0.9.4",
                              "0.9.5", "1.0.0-rc1", "1.0.0", "1.0.4", "1.1.0", "1.1.6"}) {
        SCOPED_TRACE(version);
        auto read = [&](const char* suffix) {
            return Path::readString(Path::join(ZANDELLE_TEST_DATA_DIR, std::string{"project-"} + version + suffix));
        };
        const std::optional<std::string> input = read(".zdp"), expected = read(".expected.json"),
            expectedLog = read(".expected.log");
        ASSERT_TRUE(input && expected && expectedLog);

        auto file = Testing::project(*input);
        const std::vector<std::int32_t> v = (*file)["settings/project/version"].asIntArray();
        Testing::TempDirectory root;
        Testing::LogCapture log;
        ASSERT_TRUE(runMigrations(*file, {v.at(0), v.at(1), v.at(2), v.size() > 3 ? v[3] : 0}, root.path(),
            Testing::loggingHooks(*file)));
        /* Lines as the .expected.log files hold them: "Debug: text" */
        std::string lines;
        for(const auto& [level, line]: log.lines())
            lines += (level == LogLevel::Debug ? "Debug: " : level == LogLevel::Warning ? "Warning: " : "Error: ") +
                String::replaceAll(line, root.path(), "{root}") + "\n";
        EXPECT_EQ(lines, *expectedLog);
        ZE_EXPECT_JSON(file->projectFile(), *expected);
        /* The note of the augmented-reality migration, and nothing else, lands in the project root */
        const bool noted = expectedLog->find("Please see") != std::string::npos;
        EXPECT_EQ(Path::list(root.path()).value_or(std::vector<std::string>{}),
            noted ? std::vector<std::string>{"8thwall_migrate_to_1.0.0.txt"} : std::vector<std::string>{});
    }
}

TEST(MigrationRobustness, WrongShapesSurviveTheWholeSequence) {
    const char* const WrongShapes = R"({"objects": {
        "1": {"name": "Odd", "components": "not an array", "link": 42, "transformation": [1, 2, 3, 4, 5],
              "scale": "big", "deleted": "yes", "parent": 7, "skin": 5},
        "2": {"components": [1, "x", null, {"type": 5}, {"type": "light", "light": "bright"},
            {"type": "text", "text": {"material": 3}}, {"type": "text", "text": "hello"},
            {"type": "collision", "collision": {"groups": "all"}}, {"type": "mesh", "mesh": {"skin": ["a"]}},
            {"type": "animation", "animation": "x"}]},
        "3": "not a record", "4": {"components": {"0": "weird", "x": 1}},
        "5": {"link": {"file": [1], "name": {"n": 1}}},
        "": {"deleted": true}, "a/b": {"parent": "1"}},
      "skins": {"1": {"joints": {"a": 1}}, "2": {"joints": {"a": 1}}, "3": [1, 2]},
      "materials": {"1": {"shader": 5, "Phong": "red"}, "2": {"pipeline": "missing", "DistanceFieldVector": 3},
        "3": {"shader": "Phong", "Phong": {"diffuseColor": "grey"}}},
      "pipelines": {"p": {"features": [1, 2], "blendSrc": 3, "blendEqRgb": null,
        "link": {"file": "default", "name": "X Opaque Textured"}}},
      "images": {"1": {"link": {"file": 3.5, "name": 7}, "compress": "maybe"}, "2": 5},
      "textures": {"1": {"link": "DefaultFont"}}, "shaders": {"1": {"link": "Phong"}}, "fonts": {"1": 17},
      "files": [1, {"x": 2}, "ok.fbx", null],
      "settings": {"project": {"version": "new"}, "rendering": "fast", "ar": {"framework": 1, "8thwall": "token"},
        "scripting": {"sourcePaths": "js/", "useInternalBundler": "no", "esbuildFlags": 5, "libraryPaths": 1}}})";
    auto file = Testing::project(WrongShapes);
    Testing::TempDirectory root;
    Testing::LogCapture log;
    ASSERT_TRUE(runMigrations(*file, {0, 6, 0, 0}, root.path(), Testing::loggingHooks(*file)));
    EXPECT_EQ(log.problems(),
        "Transform migration skipped for object 'Odd' (1): 'transformation' is not a 4x4 matrix\n");

    /* What the migrations cannot read stays, and so does the record whose key holds a slash;
       only 0.8.6 release candidates wrote components as objects, so objects/4 stays too */
    auto original = Testing::project(WrongShapes);
    for(const char* path: {"objects/1", "objects/2", "objects/3", "objects/4", "objects/5", "objects/a~1b", "skins",
                           "materials/1/Phong", "materials/3/Phong", "pipelines/p/features", "images/2", "fonts/1",
                           "settings/rendering", "settings/scripting/sourcePaths", "settings/scripting/esbuildFlags"})
        EXPECT_EQ(jsonAt(*file, path), jsonAt(*original, path)) << path;
    /* The files array became records, its odd entries with it */
    EXPECT_EQ(jsonAt(*file, "files"),
        R"({"1":1,"2":{"x":2},"3":{"fileName":"ok.fbx","importerName":"AssimpImporter"},"4":null})");

    auto candidate = Testing::project(WrongShapes);
    ASSERT_TRUE(runMigrations(*candidate, {0, 8, 6, 1}, root.path(), Testing::loggingHooks(*candidate)));
    EXPECT_EQ(jsonAt(*candidate, "objects/4/components"), R"(["weird",null])");
    EXPECT_EQ(jsonAt(*candidate, "objects/1/components"), "\"not an array\"");
}
