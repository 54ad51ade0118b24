#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <tuple>

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

const std::string Installing = "[npm] Installing dependencies...\n";
const std::string Installed = Installing + "[npm] Dependencies installed successfully!\n";

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
           @p exitCode; forgets the calls noted so far */
        void scriptNpm(std::string_view output, int exitCode) {
            const std::string script = tools.write("npm", fmt::format(
                "#!/bin/sh\necho \"$PWD|$*\" >> '{}'\nprintf '%s' '{}'\nexit {}\n",
                tools / "calls.txt", output, exitCode));
            std::filesystem::permissions(script, std::filesystem::perms::owner_exec,
                std::filesystem::perm_options::add);
            std::filesystem::remove(tools / "calls.txt");
            editor.npmExecutable = script;
        }

        /* The stand-in's calls, one "directory|arguments" line each */
        std::string calls() const { return Path::readString(tools / "calls.txt").value_or(""); }

        Testing::TempDirectory tools;
        std::string root;
};

}

TEST_F(Npm, NothingToInstallWithoutPackageJsonOrNpm) {
    scriptNpm("", 0);
    EXPECT_FALSE(npmInstall(editor, false));
    dir.write("p/package.json", "{}");
    editor.npmExecutable.clear();
    EXPECT_FALSE(npmInstall(editor, true));
    EXPECT_FALSE(editor.npmInstallRunning);
    EXPECT_TRUE(editor.tasks().empty());
    EXPECT_EQ(calls(), "");
}

TEST_F(Npm, InstallJob) {
    dir.write("p/package.json", "{}");
    const struct { const char* output; int exitCode; std::string log; } cases[]{
        {"added 0 packages", 0, Installed},
        {"npm ERR! code E404", 1, Installing + "\n[npm] Failed to install dependencies!\nnpm ERR! code E404\n"},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.output);
        scriptNpm(c.output, c.exitCode);
        editor.dependenciesInstalled = false;
        Testing::LogCapture log;
        const std::optional<int> job = npmInstall(editor, false);
        ASSERT_TRUE(job);
        EXPECT_EQ(editor.jobSystem->wait(*job), c.exitCode ? JobResult::Failure : JobResult::Success);
        EXPECT_EQ(log.all(), c.log);
        EXPECT_EQ(log.error(), c.exitCode ? "npm ERR! code E404\n" : "");
        EXPECT_EQ(calls(), root + "|i --no-audit\n");
        EXPECT_FALSE(editor.npmInstallRunning);
        EXPECT_EQ(editor.dependenciesInstalled, c.exitCode == 0);

        ASSERT_FALSE(editor.tasks().empty());
        const Progress& task = *editor.tasks().back();
        EXPECT_EQ(std::make_tuple(task.title(), task.total.load(), task.done.load(), task.references.load()),
            std::make_tuple(std::string{"Npm install"}, 2u, 2u, 0));
    }
    editor.pruneTasks();
    EXPECT_TRUE(editor.tasks().empty());
}

/* A job dropped before it ran must not leave its progress record
   referenced nor the editor believing npm runs */
TEST_F(Npm, CancelledInstallReleasesItsRecord) {
    dir.write("p/package.json", "{}");
    scriptNpm("", 0);
    /* Every worker busy keeps the install queued */
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
    EXPECT_FALSE(editor.npmInstallRunning);
}

/* A load installs, preferring offline when node_modules exist, and
   upgrades an old API package */
TEST_F(Npm, LoadInstallsAndUpgrades) {
    editor.installDependenciesOnLoad = true;
    const std::vector<std::pair<std::string, std::string>> upgraded{{"Package Upgrade", UpgradeMessage}};
    const struct { bool nodeModules; std::string file, calls; decltype(upgraded) messages = {}; } cases[]{
        {true, "package.json", "|i --no-audit --prefer-offline\n"},
        {false, "package.json", "|i --no-audit\n"},
        {false, "package-lock.json", "|update @zandelleengine/api\n", upgraded},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.calls);
        Testing::TempDirectory project;
        const std::string path = project.write("Game.zdp", minimalProject("[1, 1, 6, 1]"));
        project.write(c.file, c.file == "package.json" ? "{}" : packageLock("1.0.12"));
        if(c.nodeModules) Path::make(project / "node_modules");
        scriptNpm("", 0);
        editor.userMessages.clear();
        Testing::LogCapture log;
        ASSERT_TRUE(loadAndWait(path));
        EXPECT_EQ(calls(), project.path() + c.calls);
        EXPECT_EQ(editor.userMessages, c.messages);
        EXPECT_EQ(log.debug().find("\nUpgraded npm package @zandelleengine/api to version 1.1\n") != std::string::npos,
            !c.messages.empty());
    }
}

/* The installed version read from package-lock.json, and what upgrading
   the API package makes of it */
TEST_F(Npm, ApiPackageVersionAndUpgrade) {
    const std::string unknown = "Could not determine @zandelleengine/api version\n";
    const std::string failed = "[npm] Failed to update @zandelleengine/api to latest compatible version:\n"
        "npm ERR! network\n";
    const std::string api = R"({"packages": {"node_modules/@zandelleengine/api": )";
    const struct {
        std::string lock;  /* empty: no file */
        std::string version;
        bool upgraded = false;
        std::string warning = {}, error = {};
        int npmExitCode = 0;
    } cases[]{
        {{}, ""},
        {packageLock("1.0.12"), "1.0.12", true}, {packageLock("1.-1.0"), "1.-1.0", true},
        {packageLock("1.1.0"), "1.1.0"}, {packageLock("2.0.0"), "2.0.0"},
        {packageLock("1.1.0-rc.1"), "1.1.0-rc.1", false, unknown}, {packageLock("1.0"), "1.0", false, unknown},
        {packageLock("1..0"), "1..0", false, unknown},
        {packageLock("1.99999999999.0"), "1.99999999999.0", false, unknown},
        /* npm fails: no message for the user */
        {packageLock("1.0.12"), "1.0.12", false, "", failed, 1},
        {"\xEF\xBB\xBF" + api + R"({"version": "1.0.12"}}})", "1.0.12", true},
        {"{\"packages\": ", ""}, {"[]", ""}, {R"({"dependencies": {}})", ""}, {R"({"packages": []})", ""},
        {R"({"packages": {"node_modules/other": {"version": "1.0.0"}}})", ""},
        {api + "{}}}", ""}, {api + R"({"version": 1}}})", ""}, {api + R"("1.0.0"}})", ""},
    };
    for(const auto& c: cases) {
        SCOPED_TRACE(c.lock);
        std::filesystem::remove(root + "/package-lock.json");
        if(!c.lock.empty()) dir.write("p/package-lock.json", c.lock);
        scriptNpm(c.npmExitCode ? "npm ERR! network" : "updated 1 package", c.npmExitCode);
        editor.userMessages.clear();
        Testing::LogCapture log;
        EXPECT_EQ(readInstalledPackageVersion(root, "@zandelleengine/api"), c.version);
        EXPECT_EQ(upgradeApiPackage(editor), c.upgraded);
        EXPECT_EQ(log.warning(), c.warning);
        EXPECT_EQ(log.error(), c.error);
        EXPECT_EQ(calls(), c.upgraded || c.npmExitCode ? root + "|update @zandelleengine/api\n" : "");
        EXPECT_EQ(editor.userMessages.size(), c.upgraded ? 1u : 0u);
    }
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
    EXPECT_EQ(log.debug(), Installed);
    EXPECT_TRUE(editor.dependenciesInstalled);
    EXPECT_TRUE(Path::exists(root + "/package-lock.json"));
}
