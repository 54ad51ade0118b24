// One frozen project file per editor version the sequence tells apart, each
// migrated and compared with its expected document and log.

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Editor/ProjectFile.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/MigrationTestHelpers.h"
#include "Tools/ProjectMigrations.h"

using namespace ZandelleEngine;

namespace {

const char* const Versions[]{
    "0.6.0", "0.7.2", "0.7.5", "0.8.2", "0.8.5", "0.8.6-rc1", "0.8.9", "0.9.0", "0.9.4", "0.9.5",
    "1.0.0-rc1", "1.0.0", "1.0.4", "1.1.0", "1.1.6"};

std::string dataPath(std::string_view name) {
    return Path::join(ZANDELLE_TEST_DATA_DIR, name);
}

ProjectVersion storedVersion(ProjectFile& file) {
    const std::vector<std::int32_t> v = file["settings/project/version"].asIntArray();
    return ProjectVersion{v.at(0), v.at(1), v.at(2), v.size() > 3 ? v[3] : 0};
}

/* Log lines as the .expected.log files hold them: "Debug: text" */
std::string levelledLog(const Testing::LogCapture& log, const std::string& root) {
    std::string out;
    for(const auto& [level, line]: log.lines()) {
        out += level == LogLevel::Debug ? "Debug: " : level == LogLevel::Warning ? "Warning: " : "Error: ";
        out += String::replaceAll(line, root, "{root}");
        out += "\n";
    }
    return out;
}

class MigrationProjectFiles: public testing::TestWithParam<const char*> {};

}

TEST_P(MigrationProjectFiles, MigratesToExpectedDocumentAndLog) {
    const std::string base = std::string{"project-"} + GetParam();
    const std::optional<std::string> input = Path::readString(dataPath(base + ".zdp"));
    const std::optional<std::string> expected = Path::readString(dataPath(base + ".expected.json"));
    const std::optional<std::string> expectedLog = Path::readString(dataPath(base + ".expected.log"));
    ASSERT_TRUE(input && expected && expectedLog) << base;

    ProjectFile file;
    ASSERT_TRUE(file.parse(*input));
    Testing::TempDirectory root;
    Testing::RecordingHooks hooks;
    {
        Testing::LogCapture log;
        ASSERT_TRUE(runMigrations(file, storedVersion(file), root.path(), hooks.hooks(file)));
        EXPECT_EQ(levelledLog(log, root.path()), *expectedLog);
    }
    ZE_EXPECT_JSON(file.projectFile(), *expected);

    /* The note of the augmented-reality migration, and nothing else, lands
       in the project root */
    const bool noted = expectedLog->find("Please see") != std::string::npos;
    EXPECT_EQ(Path::list(root.path()).value_or(std::vector<std::string>{}),
        noted ? std::vector<std::string>{"8thwall_migrate_to_1.0.0.txt"} : std::vector<std::string>{});

    /* The migrated document runs nothing at the current version */
    JsonDocument migrated;
    migrated.CopyFrom(file.projectFile(), migrated.GetAllocator());
    std::vector<MigrationStep> report;
    Testing::LogCapture log;
    ASSERT_TRUE(runMigrations(file, CurrentProjectVersion, root.path(), hooks.hooks(file), &report));
    EXPECT_EQ(log.debug(), "[hook] loadShaders\n[hook] installDependencies\n");
    EXPECT_TRUE(report.empty());
    EXPECT_EQ(Testing::jsonDifference(file.projectFile(), migrated), "");
}

INSTANTIATE_TEST_SUITE_P(Versions, MigrationProjectFiles, testing::ValuesIn(Versions),
    [](const testing::TestParamInfo<const char*>& info) {
        return String::replaceAll(String::replaceAll(info.param, ".", "_"), "-", "_");
    });
