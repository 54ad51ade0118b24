#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <fmt/format.h>

#include "Base/Path.h"
#include "Editor/ZandelleEditor.h"
#include "Support/EditorFixture.h"
#include "Support/LogCapture.h"
#include "Tools/Npm.h"
#include "Tools/ProjectFiles.h"

using namespace ZandelleEngine;
using Testing::minimalProject;

namespace {

const char* const UpgradeMessage =
    "We updated @zandelleengine/api npm package to 1.1 for you, which\n"
    "is required for the project to run on this version of the editor.\n\n"
    "If you use new API in your code, make sure to set it as minimum\n"
    "required version in your package.json by editing it manually or\n"
    "running:\n"
    "npm i --save @zandelleengine/api@^1.1.0\n\n"
    "To revert the update, run the following command:\n"
    "npm i @zandelleengine/api@1.0.12\n";

std::string packageLock(std::string_view version) {
    return fmt::format(R"({{"name": "p", "lockfileVersion": 3, "packages": {{"": {{"name": "p"}},
        "node_modules/@zandelleengine/api": {{"version": "{}"}}}}}})", version);
}

class Npm: public Testing::EditorTest {
    protected:
        Npm() {
            root = dir / "p";
            Path::make(root);
            editor.data().project().setRoot(root + "/P.zdp");
            editor.data().project().setFilename(root + "/P.zdp");
        }

        /* Points the editor at a stand-in for npm that notes its working
           directory and arguments, prints @p output and exits with
           @p exitCode */
        void scriptNpm(std::string_view output, int exitCode) {
            const std::string script = tools.write("npm", fmt::format(
                "#!/bin/sh\necho \"$PWD|$*\" >> '{}'\nprintf '%s' '{}'\nexit {}\n",
                tools / "calls.txt", output, exitCode));
            std::filesystem::permissions(script, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
            editor.npmExecutable = script;
        }

        /* The stand-in's calls, one "directory|arguments" line each */
        std::string calls() const { return Path::readString(tools / "calls.txt").value_or(""); }

        Testing::TempDirectory tools;
        std::string root;
};

}

TEST_F(Npm, NothingToInstall) {
    scriptNpm("", 0);
    /* No package.json */
    EXPECT_FALSE(npmInstall(editor, false));
    /* npm turned off */
    dir.write("p/package.json", "{}");
    editor.npmExecutable.clear();
    EXPECT_FALSE(npmInstall(editor, true));

    EXPECT_FALSE(editor.npmInstallRunning);
    EXPECT_TRUE(editor.tasks().empty());
    EXPECT_EQ(calls(), "");
}

TEST_F(Npm, InstallJob) {
    dir.write("p/package.json", "{}");
    for(const bool preferOffline: {false, true}) {
        SCOPED_TRACE(preferOffline);
        scriptNpm("added 0 packages", 0);
        std::filesystem::remove(tools / "calls.txt");
        editor.dependenciesInstalled = false;

        Testing::LogCapture log;
        const std::optional<int> job = npmInstall(editor, preferOffline);
        ASSERT_TRUE(job);
        EXPECT_EQ(editor.jobSystem->wait(*job), JobResult::Success);
        EXPECT_EQ(log.all(), "[npm] Installing dependencies...\n[npm] Dependencies installed successfully!\n");
        EXPECT_EQ(calls(), root + (preferOffline ? "|i --no-audit --prefer-offline\n" : "|i --no-audit\n"));
        EXPECT_FALSE(editor.npmInstallRunning);
        EXPECT_TRUE(editor.dependenciesInstalled);

        const std::vector<std::shared_ptr<Progress>> tasks = editor.tasks();
        ASSERT_FALSE(tasks.empty());
        const Progress& task = *tasks.back();
        EXPECT_EQ(task.title(), "Npm install");
        EXPECT_EQ(task.total, 2u);
        EXPECT_EQ(task.done, 2u);
        EXPECT_EQ(task.references, 0);
    }
    /* Records whose job ended can go */
    editor.pruneTasks();
    EXPECT_TRUE(editor.tasks().empty());
}

TEST_F(Npm, InstallFailure) {
    dir.write("p/package.json", "{}");
    scriptNpm("npm ERR! code E404", 1);
    Testing::LogCapture log;
    const std::optional<int> job = npmInstall(editor, false);
    ASSERT_TRUE(job);
    EXPECT_EQ(editor.jobSystem->wait(*job), JobResult::Failure);
    EXPECT_EQ(log.all(),
        "[npm] Installing dependencies...\n"
        "\n[npm] Failed to install dependencies!\n"
        "npm ERR! code E404\n");
    EXPECT_EQ(log.error(), "npm ERR! code E404\n");
    EXPECT_FALSE(editor.npmInstallRunning);
    EXPECT_FALSE(editor.dependenciesInstalled);
}

/* A job dropped before it ran must not leave its progress record
   referenced nor the editor believing npm runs */
TEST_F(Npm, CancelledInstallReleasesItsRecord) {
    dir.write("p/package.json", "{}");
    scriptNpm("", 0);
    /* Keep every worker busy so the install stays queued */
    std::atomic<bool> release{false};
    for(int i = 0; i != editor.jobSystem->workerCount(); ++i)
        editor.jobSystem->dispatchFunc([&release](JobSystem&, int) {
            while(!release) std::this_thread::yield();
            return JobResult::Success;
        });
    ASSERT_TRUE(npmInstall(editor, false));
    editor.jobSystem->cancelAll();
    release = true;
    editor.jobSystem->waitForIdle();
    ASSERT_EQ(editor.tasks().size(), 1u);
    EXPECT_EQ(editor.tasks().front()->references, 0);
    EXPECT_EQ(calls(), "");
    /* Nothing runs any more, so activation must not wait for it */
    EXPECT_FALSE(editor.npmInstallRunning);
}

TEST_F(Npm, LoadInstallsPreferringOfflineWhenNodeModulesExist) {
    editor.installDependenciesOnLoad = true;
    for(const bool nodeModules: {true, false}) {
        SCOPED_TRACE(nodeModules);
        Testing::TempDirectory project;
        const std::string path = project.write("Game.zdp", minimalProject("[1, 1, 6, 1]"));
        project.write("package.json", "{}");
        if(nodeModules) Path::make(project / "node_modules");
        scriptNpm("", 0);
        std::filesystem::remove(tools / "calls.txt");

        ASSERT_TRUE(loadAndWait(path));
        EXPECT_EQ(calls(), project.path() + (nodeModules ? "|i --no-audit --prefer-offline\n" : "|i --no-audit\n"));
    }
}

TEST_F(Npm, InstalledPackageVersion) {
    const struct {
        const char* name;
        const char* lock;   /* null: no file */
        const char* version;
    } cases[]{
        {"no package-lock.json", nullptr, ""},
        {"plain", R"({"packages": {"node_modules/@zandelleengine/api": {"version": "1.0.12"}}})", "1.0.12"},
        {"byte-order mark", "\xEF\xBB\xBF{\"packages\": {\"node_modules/@zandelleengine/api\": {\"version\": \"2.0.0\"}}}", "2.0.0"},
        {"not JSON", "{\"packages\": ", ""},
        {"an array", "[]", ""},
        {"no packages", R"({"dependencies": {}})", ""},
        {"packages not an object", R"({"packages": []})", ""},
        {"package not installed", R"({"packages": {"node_modules/other": {"version": "1.0.0"}}})", ""},
        {"no version", R"({"packages": {"node_modules/@zandelleengine/api": {}}})", ""},
        {"version not a string", R"({"packages": {"node_modules/@zandelleengine/api": {"version": 1}}})", ""},
        {"package entry not an object", R"({"packages": {"node_modules/@zandelleengine/api": "1.0.0"}})", ""},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(root + "/package-lock.json");
        if(c.lock) dir.write("p/package-lock.json", c.lock);
        Testing::LogCapture log;
        EXPECT_EQ(readInstalledPackageVersion(root, "@zandelleengine/api"), c.version);
        EXPECT_EQ(log.all(), "");
    }
}

TEST_F(Npm, ApiPackageUpgrade) {
    const struct {
        const char* name;
        const char* version;    /* null: no package-lock.json */
        bool upgraded;
        const char* warning;
    } cases[]{
        {"older", "1.0.12", true, ""},
        {"older major", "0.9.3", true, ""},
        {"current", "1.1.0", false, ""},
        {"newer major", "2.0.0", false, ""},
        {"newer patch", "1.1.7", false, ""},
        {"prerelease", "1.1.0-rc.1", false, "Could not determine @zandelleengine/api version\n"},
        {"two fields", "1.0", false, "Could not determine @zandelleengine/api version\n"},
        {"empty field", "1..0", false, "Could not determine @zandelleengine/api version\n"},
        {"too large", "1.99999999999.0", false, "Could not determine @zandelleengine/api version\n"},
        {"negative field", "1.-1.0", true, ""},
        {"no lock file", nullptr, false, ""},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(root + "/package-lock.json");
        if(c.version) dir.write("p/package-lock.json", packageLock(c.version));
        scriptNpm("updated 1 package", 0);
        std::filesystem::remove(tools / "calls.txt");
        editor.userMessages.clear();

        Testing::LogCapture log;
        EXPECT_EQ(upgradeApiPackage(editor), c.upgraded);
        EXPECT_EQ(log.warning(), c.warning);
        EXPECT_EQ(log.error(), "");
        EXPECT_EQ(calls(), c.upgraded ? root + "|update @zandelleengine/api\n" : "");
        EXPECT_EQ(editor.userMessages.size(), c.upgraded ? 1u : 0u);
    }
}

TEST_F(Npm, ApiPackageUpgradeFailure) {
    dir.write("p/package-lock.json", packageLock("1.0.12"));
    scriptNpm("npm ERR! network", 1);
    Testing::LogCapture log;
    EXPECT_FALSE(upgradeApiPackage(editor));
    EXPECT_EQ(log.error(),
        "[npm] Failed to update @zandelleengine/api to latest compatible version:\n"
        "npm ERR! network\n");
    EXPECT_TRUE(editor.userMessages.empty());
}

TEST_F(Npm, LoadUpgradesTheApiPackage) {
    Testing::TempDirectory project;
    const std::string path = project.write("Game.zdp", minimalProject("[1, 1, 6, 1]"));
    project.write("package-lock.json", packageLock("1.0.12"));
    scriptNpm("", 0);
    Testing::LogCapture log;
    ASSERT_TRUE(loadAndWait(path));
    EXPECT_NE(log.debug().find("\nUpgraded npm package @zandelleengine/api to version 1.1\n"), std::string::npos) << log.all();
    EXPECT_EQ(calls(), project.path() + "|update @zandelleengine/api\n");
    ASSERT_EQ(editor.userMessages.size(), 1u);
    EXPECT_EQ(editor.userMessages[0].first, "Package Upgrade");
    EXPECT_EQ(editor.userMessages[0].second, UpgradeMessage);
}

/* The real npm on a package without dependencies: nothing is fetched */
TEST_F(Npm, RealInstall) {
    if(std::system("command -v npm > /dev/null 2>&1") != 0) GTEST_SKIP() << "npm is not installed";
    dir.write("p/package.json", R"({"name": "empty-project", "version": "1.0.0", "private": true})");
    editor.npmExecutable = "npm";
    Testing::LogCapture log;
    const std::optional<int> job = npmInstall(editor, true);
    ASSERT_TRUE(job);
    EXPECT_EQ(editor.jobSystem->wait(*job), JobResult::Success) << log.all();
    EXPECT_EQ(log.debug(), "[npm] Installing dependencies...\n[npm] Dependencies installed successfully!\n");
    EXPECT_TRUE(editor.dependenciesInstalled);
    EXPECT_TRUE(Path::exists(root + "/package-lock.json"));
    EXPECT_EQ(readInstalledPackageVersion(root, "@zandelleengine/api"), "");
}
