// One frozen project file per editor version the sequence tells apart, each
// migrated and compared with its expected document and log.

#include <gtest/gtest.h>

#include "Base/Path.h"
#include "Base/String.h"
#include "Support/LogCapture.h"
#include "Support/TempDirectory.h"
#include "Tools/MigrationTestHelpers.h"

using namespace ZandelleEngine;

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
